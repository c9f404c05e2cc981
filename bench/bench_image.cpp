#include "bench_image.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_data.h"
#include "cli/run_state.h"
#include "codec/lzh_encoder.h"
#include "codec/packer.h"
#include "image/listing_format.h"
#include "regions/finishing.h"
#include "support/sample_image.h"

namespace kitra::bench {

namespace {

constexpr std::uint32_t kImageSize = 16u << 20;
constexpr std::size_t kPiece = 1u << 20;

using base::Bytes;

image::Layout layout_of(const Bytes& image) {
    return std::get<image::Layout>(image::discover_layout(image, 0, false));
}

}  // namespace

TestImage make_test_image(std::size_t module_mib) {
    Bytes image = testing::make_sample(kImageSize).image;
    image::Layout layout = layout_of(image);
    std::uint64_t at = image::listed_modules(image, layout).back().offset;
    at += image::listed_modules(image, layout).back().step();
    const Bytes data = bench::firmware_like(3 * (module_mib << 20));
    codec::Encoder encoder;
    TestImage t;
    for (std::size_t from = 0; t.module_bytes < (module_mib << 20) && from + kPiece <= data.size();
         from += kPiece) {
        const Bytes piece(data.begin() + static_cast<std::ptrdiff_t>(from),
                          data.begin() + static_cast<std::ptrdiff_t>(from + kPiece));
        char type[8];
        std::snprintf(type, sizeof type, "%04X:0", 0x4012u + static_cast<unsigned>(t.modules % 8));
        const Bytes module = codec::pack(piece, codec::PackMode::kQuiet, "piece.bin", type, encoder, {});
        std::copy(module.begin(), module.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
        at += module.size();
        t.module_bytes += module.size();
        t.unpacked_bytes += piece.size();
        ++t.modules;
    }
    // Finished, as the run that added them would leave it.
    platform::Console quiet;
    quiet.out = nullptr;
    quiet.err = nullptr;
    layout = layout_of(image);
    cli::Run run({}, image::Image("image.bin", std::move(image)), layout, quiet);
    run.component_mark = true;
    regions::finish_image(run);
    t.bytes = run.image.bytes();
    t.layout = layout;
    return t;
}

ImageBenchOptions image_bench_options(int argc, char** argv) {
    ImageBenchOptions o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::size_t value = std::strtoul(argv[i + 1], nullptr, 10);
        if (name == "--module-mib")
            o.module_mib = value;
        else if (name == "--reps")
            o.reps = static_cast<int>(value);
    }
    return o;
}

}  // namespace kitra::bench
