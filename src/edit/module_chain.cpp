#include "edit/module_chain.h"

#include <algorithm>

#include "base/text.h"
#include "cli/catalogue.h"
#include "codec/module_header.h"

namespace kitra::edit {

namespace {

// The first position-dependent module among those a removal would move.
std::optional<codec::ModuleInfo> position_dependent_behind(base::ByteView bytes, std::uint64_t src,
                                                           std::uint64_t limit) {
    while (src < limit) {
        auto m = codec::module_at(bytes, src);
        if (!m || src + m->length() > limit) break;
        if (cli::is_position_dependent(m->type_id)) return m;
        src += m->step();
    }
    return std::nullopt;
}

}  // namespace

bool remove_module(cli::Run& run, std::uint64_t pos, std::uint64_t length, std::uint64_t limit) {
    base::Bytes& bytes = run.image.bytes;
    limit = std::min<std::uint64_t>(limit, bytes.size());
    // A crafted chain can run on into a special area. A module there lies
    // outside what a removal closes up: removing nothing would leave the walk
    // that asked for it at the same module for ever.
    if (pos >= limit) {
        platform::print(
            run.con,
            "The module at %08llXh lies at or beyond the end of the module area (%08llXh); it is not "
            "removed, and the image is left unmodified for it.\n",
            static_cast<unsigned long long>(pos), static_cast<unsigned long long>(limit));
        return false;
    }
    if (const auto pinned = position_dependent_behind(bytes, pos + length, limit)) {
        platform::print(run.con,
                        "Removing the module at %08llXh would move the position-dependent module %s (type "
                        "%04X) at %08llXh, which this version cannot rebase; the image is left unmodified "
                        "for it.\n",
                        static_cast<unsigned long long>(pos), base::printable(pinned->name).c_str(),
                        pinned->type_id, static_cast<unsigned long long>(pinned->offset));
        return false;
    }
    std::uint64_t src = pos + length;
    std::uint64_t dst = pos;
    std::uint64_t moved_end = dst;
    while (src < limit) {
        const auto m = codec::module_at(bytes, src);
        if (!m || src + m->length() > limit) break;
        // A stored module may end right at the limit: its separator byte,
        // which is not part of it, then lies beyond.
        const std::uint64_t n = std::min<std::uint64_t>(m->step(), limit - src);
        base::move_within(bytes, dst, src, n);
        moved_end = dst + n;
        src += m->step();
        dst += m->step();
    }
    if (moved_end < limit) base::fill(bytes, moved_end, limit - moved_end, 0xFF);
    run.flags.modules_moved = true;
    return true;
}

}  // namespace kitra::edit
