#include "edit/placement.h"

#include <algorithm>

#include "base/fatal.h"
#include "codec/module_header.h"
#include "image/editable.h"
#include "regions/pe32_checksum_flag.h"
#include "regions/position_dependent.h"
#include "regions/space_advice.h"

namespace kitra::edit {

void report_no_space(cli::Run& run, std::uint32_t excess) {
    platform::print(run.con, "%s have not enough space for adding ROM. (Over %04Xh bytes)\n\n",
                    run.settings.image_name.c_str(), excess);
}

namespace {

// Whether a module of `size_at(pos)` bytes fits at `pos` below the module
// limit; reports the excess when it does not.
bool fits(cli::Run& run, std::uint64_t pos, const SizeAt& size_at) {
    const std::uint64_t limit = image::module_limit(run.layout);
    const std::uint64_t size = size_at(pos);
    // The last 64 bytes below the limit never take a module: the walks read
    // 64-byte headers and must find erased space there.
    const bool near_limit = pos + 64 > limit && !codec::module_at(run.image.bytes(), pos);
    if (near_limit || pos + size > limit) {
        report_no_space(run, static_cast<std::uint32_t>(pos + size - limit));
        const auto room = [&](std::uint64_t end) { return end + std::max<std::uint64_t>(size_at(end), 64); };
        regions::advise_release(run, {run.layout.walk_start, pos, limit, false}, room(pos) - limit,
                                [&](std::uint64_t end) { return room(end) <= limit; });
        return false;
    }
    return true;
}

}  // namespace

bool place_module(cli::Run& run, std::uint64_t pos, base::ByteView module, const SizeAt& size_at) {
    const std::uint64_t size = module.size();
    if (!fits(
            run, pos, size_at ? size_at : [size](std::uint64_t) { return size; }))
        return false;
    image::copy_into(run.image, pos, module);
    return true;
}

bool place_position_dependent(cli::Run& run, std::uint64_t pos, base::ByteView module,
                              const cli::Kind& kind) {
    const auto info = codec::module_at(module, 0);
    if (!info) throw Fatal("Internal error: a prepared module is not a module.\n", 1);
    const std::uint64_t header = std::uint64_t{info->header_size} + 2;
    auto made =
        regions::rebase_module(base::slice(module, 0, header), base::slice(module, header, info->packed_size),
                               pos, run.image.length(), kind, true);
    if (const auto* refused = std::get_if<std::string>(&made)) {
        cli::report_refusal(run, *refused);
        return false;
    }
    const regions::Rebased& r = std::get<regions::Rebased>(made);
    // Elsewhere its pad would be another.
    const std::uint8_t h = info->header_size;
    const std::uint64_t data = info->packed_size;
    const auto size_at = [&](std::uint64_t at) {
        return std::uint64_t{h} + 2 + regions::alignment_pad(at, h, kind.alignment) + data;
    };
    if (!place_module(run, pos, r.module, size_at)) return false;
    regions::set_pe32_checksum_flag(run.image);
    if (const auto refused = regions::patch_references(run.image, kind, r.placed)) {
        cli::report_refusal(run, *refused);
        return false;
    }
    return true;
}

}  // namespace kitra::edit
