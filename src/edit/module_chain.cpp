#include "edit/module_chain.h"

#include <algorithm>

#include "codec/module_header.h"
#include "image/bytes.h"

namespace kitra::edit {

std::uint32_t module_limit(const image::Layout& l) {
    std::uint32_t limit = l.compressed_limit;
    bool any = false;
    if (l.ncpucode_present && l.ncpucode_size != 0) {
        limit = l.ncpucode_offset;
        any = true;
    }
    if (l.top_hole_size != 0) limit = any ? std::min(limit, l.top_hole_start) : l.top_hole_start;
    return limit;
}

std::uint32_t walk_end(const image::Layout& l) {
    return l.top_hole_size != 0 ? l.top_hole_start : l.compressed_limit - 64;
}

void remove_module(cli::Run& run, std::uint64_t pos, std::uint64_t length, std::uint64_t limit) {
    image::Bytes& bytes = run.image.bytes;
    limit = std::min<std::uint64_t>(limit, bytes.size());
    std::uint64_t src = pos + length;
    std::uint64_t dst = pos;
    std::uint64_t moved_end = dst;
    while (src < limit) {
        const auto m = codec::module_at(bytes, src);
        if (!m || src + m->length() > limit) break;
        // A stored module may end right at the limit: its separator byte,
        // which is not part of it, then lies beyond.
        const std::uint64_t n = std::min<std::uint64_t>(m->step(), limit - src);
        image::move_within(bytes, dst, src, n);
        moved_end = dst + n;
        src += m->step();
        dst += m->step();
    }
    if (moved_end < limit) image::fill(bytes, moved_end, limit - moved_end, 0xFF);
    run.flags.modules_moved = true;
}

}  // namespace kitra::edit
