#include "edit/placement.h"

#include "codec/module_header.h"
#include "edit/module_chain.h"

namespace kitra::edit {

void report_no_space(cli::Run& run, std::uint32_t excess) {
    platform::print(run.con, "%s have not enough space for adding ROM. (Over %04Xh bytes)\n\n",
                    run.settings.image_name.c_str(), excess);
}

bool place_module(cli::Run& run, std::uint64_t pos, base::ByteView module) {
    const std::uint64_t limit = image::module_limit(run.layout);
    // The last 64 bytes below the limit never take a module: the walks read
    // 64-byte headers and must find erased space there.
    const bool near_limit = pos + 64 > limit && !codec::module_at(run.image.bytes, pos);
    if (near_limit || pos + module.size() > limit) {
        report_no_space(run, static_cast<std::uint32_t>(pos + module.size() - limit));
        return false;
    }
    base::copy_into(run.image.bytes, pos, module);
    return true;
}

}  // namespace kitra::edit
