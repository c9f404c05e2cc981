#include "cli/run_state.h"

#include "codec/lzh_encoder.h"

namespace kitra::cli {

Run::Run(Settings s, image::Image img, image::Layout l, platform::Console& c)
    : settings(std::move(s)), image(std::move(img)), layout(l), con(c) {}

Run::~Run() = default;

codec::Encoder& Run::encoder() {
    if (!encoder_) encoder_ = std::make_unique<codec::Encoder>();
    return *encoder_;
}

}  // namespace kitra::cli
