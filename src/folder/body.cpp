#include "folder/body.h"

#include <algorithm>

#include "base/text.h"
#include "codec/packer.h"
#include "edit/module_chain.h"
#include "image/editable.h"
#include "regions/position_dependent.h"

namespace kitra::folder {

namespace {

using ull = unsigned long long;

// The system BIOS reserves at least this much of the compressed area.
constexpr std::uint64_t kSystemBiosSpan = 0x10000;

}  // namespace

std::optional<codec::ModuleInfo> find_body(base::ByteView image, const image::Layout& layout) {
    if (layout.walk_start == 0) return std::nullopt;
    auto m = codec::module_at(image, layout.system_bios_offset);
    if (!m || chain_start_behind(m->offset, m->header_size, m->packed_size) != layout.walk_start)
        return std::nullopt;
    return m;
}

std::uint64_t chain_start_behind(std::uint64_t offset, std::uint64_t header_size, std::uint64_t packed_size) {
    return offset + std::max(kSystemBiosSpan, header_size + packed_size + 4);
}

std::variant<BodyReplaced, std::string> replace_body(cli::Run& run, base::ByteView contents,
                                                     const std::string& name, const std::string& type_text) {
    const std::string image_name = base::printable(run.settings.image_name);
    const auto old = find_body(run.image.bytes(), run.layout);
    if (!old)
        return base::format("%s has no system BIOS module with a module chain behind it", image_name.c_str());
    const std::uint64_t from = run.layout.walk_start;
    // What lies between the old module's separator (and the byte after it)
    // and the chain is erased flash in every image a build makes; anything
    // else there is not the body's to overwrite.
    const std::uint64_t kept_from = old->offset + old->length() + 2;
    if (kept_from < from) {
        const base::ByteView gap = base::slice(run.image.bytes(), kept_from, from - kept_from);
        const auto used = std::find_if(gap.begin(), gap.end(), [](std::uint8_t b) { return b != 0xFF; });
        if (used != gap.end())
            return base::format(
                "The bytes between the system BIOS module and the module chain of %s are not erased (the "
                "first at %08llXh); they are not the body's, and kitra does not overwrite them",
                image_name.c_str(), static_cast<ull>(kept_from) + static_cast<ull>(used - gap.begin()));
    }

    const base::Bytes module =
        codec::pack(contents, codec::PackMode::kCompress, name, type_text, run.encoder(), run.report());
    const auto made = codec::module_at(module, 0);
    if (!made) return std::string("Internal error: a packed body is not a module");
    const std::uint64_t to = chain_start_behind(old->offset, made->header_size, made->packed_size);
    const std::uint64_t limit = image::module_limit(run.layout);
    if (to != from) {
        if (const auto broken = edit::chain_break(run.image.bytes(), from, limit))
            return base::format(
                "The module chain of %s is broken at offset %08llXh, so it cannot move behind a "
                "new body",
                image_name.c_str(), static_cast<ull>(*broken));
        const std::uint64_t end = regions::moved_chain_end(run.image.bytes(), from, to, limit);
        if (end > limit)
            return base::format(
                "The new body packs to a system BIOS module of %llu bytes; the module chain behind it would "
                "end at %08llXh, %llu (%llXh) bytes past the end of the module area at %08llXh",
                static_cast<ull>(made->length()), static_cast<ull>(end), static_cast<ull>(end - limit),
                static_cast<ull>(end - limit), static_cast<ull>(limit));
        if (auto refused = regions::move_chain(run.image, from, to, limit, run.report())) return *refused;
        run.flags.modules_moved = true;
    }
    image::copy_into(run.image, old->offset, module);
    const std::uint64_t erased_from = old->offset + module.size();
    image::fill(run.image, erased_from, to - erased_from, 0xFF);
    run.layout.walk_start = static_cast<std::uint32_t>(to);
    return BodyReplaced{made->length(), static_cast<std::int64_t>(to) - static_cast<std::int64_t>(from)};
}

}  // namespace kitra::folder
