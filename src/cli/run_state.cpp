#include "cli/run_state.h"

#include "cli/console_report.h"
#include "codec/lzh_encoder.h"

namespace kitra::cli {

Run::Run(Settings s, image::Image img, image::Layout l, platform::Console& c)
    : settings(std::move(s)),
      image(std::move(img)),
      layout(l),
      con(c),
      write_file(platform::atomic_file_writer()),
      read_file(platform::plain_file_reader()),
      report_(console_report(c)) {}

Run::~Run() = default;

codec::Encoder& Run::encoder() {
    if (!encoder_) encoder_ = std::make_unique<codec::Encoder>();
    return *encoder_;
}

void report_refusal(Run& run, const std::string& reason) {
    platform::print(run.con, "%s; the image is left unmodified for it.\n", reason.c_str());
}

ItemUndo::ItemUndo(Run& run) : layout_(run.layout), flags_(run.flags) {
    run.image.keep_changes();
    mark_ = run.image.mark();
}

void ItemUndo::undo(Run& run) const {
    run.image.roll_back(mark_);
    run.layout = layout_;
    const bool not_done = run.flags.ncpucode_not_done;
    run.flags = flags_;
    run.flags.ncpucode_not_done = not_done;
}

}  // namespace kitra::cli
