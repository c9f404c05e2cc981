#include "regions/position_dependent.h"

#include <algorithm>

#include "base/text.h"
#include "codec/crc16.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "image/layout.h"
#include "regions/fixup_descriptor.h"
#include "regions/htinit_patcher.h"
#include "regions/memory_init_patcher.h"
#include "regions/pe32_checksum_flag.h"
#include "regions/pe32_image.h"

namespace kitra::regions {

namespace {

using base::ByteView;
using cli::Patcher;

using base::ull;

EntryForm entry_form(const cli::Kind& kind) {
    return kind.entry_from_file_offset ? EntryForm::kFileOffset : EntryForm::kPlain;
}

// Data the checksum byte is computed over belong to the compressed area's
// kinds; the arena's kinds carry none.
bool carries_image_checksum(const cli::Kind& kind) {
    return kind.place == cli::Place::kChain;
}

// The PE32 image in `contents`, when a module of `kind` can be made of it.
std::variant<Pe32Image, std::string> read_placeable(ByteView contents, const cli::Kind& kind) {
    auto pe = read_pe32(contents);
    if (const auto* image = std::get_if<Pe32Image>(&pe);
        image && kind.entry_from_file_offset && !image->text_header)
        return std::string("it has no \".text\" section, which its entry point counts from");
    return pe;
}

// The modules from `pos` that closing up to `limit` moves: where the last
// ends, and whether one of them must be made again.
struct Moving {
    std::uint64_t end = 0;
    bool rebuilds = false;
};

Moving modules_behind(ByteView image, std::uint64_t pos, std::uint64_t limit) {
    Moving r{pos, false};
    while (r.end < limit) {
        const auto m = codec::module_at(image, r.end);
        if (!m || r.end + m->length() > limit) break;
        if (cli::is_position_dependent(m->type_id)) r.rebuilds = true;
        r.end += m->step();
    }
    r.end = std::min(r.end, limit);
    return r;
}

std::string describe(const codec::ModuleInfo& m) {
    return codec::module_description(m);
}

// The modules behind a removed one as they were before any of them moved:
// `bytes` holds the image from file offset `start` on.
struct Behind {
    ByteView bytes;
    std::uint64_t start = 0;

    std::optional<codec::ModuleInfo> module_at(std::uint64_t offset) const {
        auto m = codec::module_at(bytes, offset - start);
        if (m) m->offset = offset;
        return m;
    }
    ByteView slice(std::uint64_t offset, std::uint64_t length) const {
        return base::slice(bytes, offset - start, length);
    }
};

// The module `m` of `source` made again at `d` in `work`, its references
// patched there. Returns its new length, or why not.
std::variant<std::uint64_t, std::string> rebuild(const Behind& source, const codec::ModuleInfo& m,
                                                 const image::Editable& work, std::uint64_t d,
                                                 std::uint64_t limit, bool checksum_flag,
                                                 const codec::Report& report) {
    const cli::Kind& kind = *cli::position_dependent_kind(m.type_id);
    const auto contents = codec::unpack(source.slice(m.offset, m.length()), report);
    if (!contents) return describe(m) + " cannot be unpacked to be moved";
    if (m.name.size() > codec::kMaxStoredName)
        return describe(m) + base::format(" has a stored name of %zu bytes, over %zu", m.name.size(),
                                          codec::kMaxStoredName);
    // Made again as the add makes it: stored, under its own name and type.
    codec::HeaderFields fields;
    fields.name = m.name;
    fields.stored = true;
    fields.packed_size = fields.original_size = static_cast<std::uint32_t>(contents->size());
    fields.type = {m.type_id, m.type_suffix};
    fields.crc = codec::crc16(*contents);
    const base::Bytes header = codec::build_header(fields);
    auto made = rebase_module(header, *contents, d, static_cast<std::uint32_t>(work.size()), kind,
                              carries_image_checksum(kind) && checksum_flag);
    if (auto* refused = std::get_if<std::string>(&made)) return describe(m) + " cannot be moved: " + *refused;
    const Rebased& r = std::get<Rebased>(made);
    if (d + r.module.size() > limit)
        return describe(m) +
               base::format(" does not fit below %08llXh once moved to %08llXh", ull(limit), ull(d));
    image::copy_into(work, d, r.module);
    if (auto refused = patch_references(work, kind, r.placed)) return *refused;
    return static_cast<std::uint64_t>(r.module.size());
}

}  // namespace

std::optional<std::string> pe32_refusal(ByteView contents, const cli::Kind& kind, const std::string& name) {
    const auto pe = read_placeable(contents, kind);
    if (const auto* refused = std::get_if<std::string>(&pe))
        return base::format("%s is not a usable PE32 image: %s", name.c_str(), refused->c_str());
    return std::nullopt;
}

std::uint64_t alignment_pad(std::uint64_t position, std::uint8_t header_size, std::uint8_t alignment) {
    return alignment - (position + header_size + 2) % alignment;
}

std::variant<Rebased, std::string> rebase_module(ByteView header, ByteView contents, std::uint64_t position,
                                                 std::uint32_t image_length, const cli::Kind& kind,
                                                 bool image_checksum) {
    const auto pe = read_placeable(contents, kind);
    if (const auto* refused = std::get_if<std::string>(&pe)) return *refused;
    const std::uint8_t h = base::read_u8(header, codec::field::kHeaderSize);
    const std::uint64_t pad = alignment_pad(position, h, kind.alignment);
    const std::uint64_t data_start = position + h + 2 + pad;

    Rebased r;
    r.module.assign(header.begin(), header.end());
    // The pad lies between header and data, counted by the extension size
    // (the header's last two bytes) and the packed size, so that every
    // reader skips it.
    base::write_u8(r.module, h, static_cast<std::uint8_t>(pad));
    const std::uint32_t packed = base::read_u32(r.module, codec::field::kPackedSize);
    base::write_u32(r.module, codec::field::kPackedSize, packed + static_cast<std::uint32_t>(pad));
    codec::update_header_sum(r.module);
    r.module.resize(r.module.size() + pad, 0x00);
    r.module.insert(r.module.end(), contents.begin(), contents.end());

    const base::MutableByteView data = base::MutableByteView(r.module).subspan(header.size() + pad);
    r.placed.address = image::rom_address_of(static_cast<std::uint32_t>(data_start), image_length);
    r.placed.entry_point = relocate(data, std::get<Pe32Image>(pe), r.placed.address, entry_form(kind));
    r.placed.pe32_kind = kind.pe32_kind;
    if (image_checksum) set_image_checksum(data);
    return r;
}

std::optional<std::string> patch_references(const image::Editable& image, const cli::Kind& kind,
                                            const PlacedModule& placed) {
    switch (kind.patcher) {
        case Patcher::kMemInitMain:
            patch_memory_init(image, placed.entry_point, MemoryInitForm::kMain);
            break;
        case Patcher::kMemInitBootblock:
            patch_memory_init(image, placed.entry_point, MemoryInitForm::kBootblock);
            break;
        case Patcher::kHtInit:
            patch_htinit(image, placed.entry_point);
            break;
        case Patcher::kFixupMain:
            return patch_fixup_descriptors(image, placed, FixupForm::kMain);
        case Patcher::kFixupBootblock:
            return patch_fixup_descriptors(image, placed, FixupForm::kBootblock);
        case Patcher::kNone:
            break;
    }
    return std::nullopt;
}

std::optional<std::string> compact(const image::Editable& image, std::uint64_t pos, std::uint64_t length,
                                   std::uint64_t limit, const codec::Report& report) {
    return move_chain(image, pos + length, pos, limit, report);
}

std::optional<std::string> move_chain(const image::Editable& image, std::uint64_t from, std::uint64_t to,
                                      std::uint64_t limit, const codec::Report& report) {
    limit = std::min<std::uint64_t>(limit, image.size());
    const ByteView now = image.bytes();
    // Modules that only move down go in place: each lands below where it
    // was, so nothing is overwritten before it is read. A module made again
    // can come out longer than it was (a larger pad) and reach over the old
    // place of the next, and a chain moved up lands on itself; then the
    // modules are read from a copy of them taken before anything moves. A
    // refusal halfway undoes what was written.
    const std::uint64_t first = std::min(from, limit);
    const Moving moving = modules_behind(now, first, limit);
    const bool from_copy = moving.rebuilds || to > from;
    base::Bytes kept;
    if (from_copy)
        kept.assign(now.begin() + static_cast<std::ptrdiff_t>(first),
                    now.begin() + static_cast<std::ptrdiff_t>(moving.end));
    const Behind source{from_copy ? ByteView(kept) : now.subspan(first), first};
    const bool checksum_flag = moving.rebuilds && pe32_checksum_flag(now);
    const std::size_t mark = image.mark();

    std::uint64_t s = from;
    std::uint64_t d = to;
    std::uint64_t end = d;  // the first byte of the erased rest
    while (s < limit) {
        const auto m = source.module_at(s);
        if (!m || s + m->length() > limit) break;
        if (cli::is_position_dependent(m->type_id)) {
            auto made = rebuild(source, *m, image, d, limit, checksum_flag, report);
            if (auto* refused = std::get_if<std::string>(&made)) {
                image.roll_back(mark);
                return *refused;
            }
            // The separator byte behind a stored module is not written: it
            // keeps what was there, as behind every stored module.
            d += std::get<std::uint64_t>(made) + 1;
            end = d;
        } else {
            // A stored module may end right at the limit: its separator
            // byte, which is not part of it, then lies beyond.
            const std::uint64_t n = std::min<std::uint64_t>(m->step(), limit - s);
            if (d + m->length() > limit) {
                image.roll_back(mark);
                return describe(*m) +
                       base::format(" does not fit below %08llXh once moved to %08llXh", ull(limit), ull(d));
            }
            image::copy_into(image, d, source.slice(s, std::min(n, limit - d)));
            end = d + std::min(n, limit - d);
            d += m->step();
        }
        s += m->step();
    }
    if (end < limit) image::fill(image, end, limit - end, 0xFF);
    return std::nullopt;
}

std::uint64_t moved_chain_end(ByteView image, std::uint64_t from, std::uint64_t to, std::uint64_t limit) {
    limit = std::min<std::uint64_t>(limit, image.size());
    std::uint64_t s = from;
    std::uint64_t d = to;
    while (s < limit) {
        const auto m = codec::module_at(image, s);
        if (!m || s + m->length() > limit) break;
        if (const cli::Kind* kind = cli::position_dependent_kind(m->type_id)) {
            // Made again as rebuild() makes it: a header of the usual form
            // for its name, the pad of the new place, the contents, and the
            // separator's place.
            const std::uint64_t h = m->name.size() + codec::kFixedHeaderBytes - 2;
            d += h + 2 + alignment_pad(d, static_cast<std::uint8_t>(h), kind->alignment) + m->original_size +
                 1;
        } else {
            d += m->step();
        }
        s += m->step();
    }
    return d;
}

}  // namespace kitra::regions
