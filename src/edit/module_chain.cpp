#include "edit/module_chain.h"

#include <algorithm>
#include <string>

#include "codec/module_header.h"
#include "edit/placement.h"
#include "platform/console.h"
#include "regions/position_dependent.h"

namespace kitra::edit {

std::optional<std::uint64_t> chain_break(base::ByteView image, std::uint64_t from, std::uint64_t limit) {
    limit = std::min<std::uint64_t>(limit, image.size());
    std::uint64_t pos = from;
    while (pos < limit) {
        const auto m = codec::module_at(image, pos);
        if (!m || pos + m->length() > limit) {
            if (base::try_read_u32(image, pos + codec::field::kPackedSize) == codec::kErased)
                return std::nullopt;
            // Too close to the limit for a header: erased to the limit is the end.
            const base::ByteView rest = base::slice(image, pos, limit - pos);
            if (std::all_of(rest.begin(), rest.end(), [](std::uint8_t b) { return b == 0xFF; }))
                return std::nullopt;
            return pos;
        }
        pos += m->step();
    }
    return std::nullopt;
}

void report_broken_chain(cli::Run& run, std::uint64_t pos, std::string_view consequence) {
    platform::print(run.con, "The module chain of %s is broken at offset %llXh: %s\n",
                    run.settings.image_name.c_str(), static_cast<unsigned long long>(pos),
                    std::string(consequence).c_str());
}

bool remove_module(cli::Run& run, std::uint64_t pos, std::uint64_t length, std::uint64_t limit,
                   std::string_view consequence) {
    limit = std::min<std::uint64_t>(limit, run.image.length());
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
    // Closing up fills everything from the chain's new end to the limit:
    // behind a broken chain that would be data of the firmware's vendor.
    if (const auto broken = chain_break(run.image.bytes(), pos + length, limit)) {
        report_broken_chain(run, *broken, consequence);
        return false;
    }
    if (const auto refused = regions::compact(run.image, pos, length, limit, run.report())) {
        cli::report_refusal(run, *refused);
        return false;
    }
    run.flags.modules_moved = true;
    return true;
}

}  // namespace kitra::edit
