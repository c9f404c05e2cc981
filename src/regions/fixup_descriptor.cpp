#include "regions/fixup_descriptor.h"

#include <array>
#include <variant>
#include <vector>

#include "base/fatal.h"
#include "base/text.h"
#include "cli/catalogue.h"
#include "image/records.h"
#include "regions/bootblock_arena.h"
#include "regions/bootblock_checksum.h"

namespace kitra::regions {

namespace {

// The main form scans the base window up to this window offset, the
// bootblock form the bootblock up to this offset.
constexpr std::uint64_t kMainScan = 0x1E000;
constexpr std::uint64_t kBootblockScan = 0xE000;
constexpr std::uint64_t kRegionSize = image::kWindow64K;

// A table's region: where its offsets count from and where its writes must
// stay.
struct Region {
    const char* name;     // in messages: "bootext" or "bootblock"
    std::uint64_t start;  // of the region
    std::uint64_t base;   // offsets count from here
    bool all_categories;  // bootext tables; bootblock tables know only 1, 3, 5
};

// What one entry asks for.
struct Entry {
    int category = 0;
    std::uint16_t offset = 0;
    std::uint8_t kind = 0;
};

// How far past its offset an entry of each category writes: category 0 the
// 32-bit word at +2, category 1 that word and the byte at +7, the others a
// 32-bit word (a 16-bit one for category 4) at the offset.
constexpr std::uint64_t kWrittenUpTo[fixup::kCategories] = {6, 8, 4, 4, 2, 4};

bool applies(const Entry& e, std::uint8_t kind, const Region& region) {
    switch (e.category) {
        case 0:
        case 4:
            return region.all_categories;
        case 2:
            return region.all_categories && (e.kind == kind || e.kind == 0);
        default:
            return e.kind == kind;
    }
}

// The table at `at`: its header checked (a wrong one ends the run) and the
// entries its region applies for `kind`, each checked to write inside the
// region.
std::variant<std::vector<Entry>, std::string> read_table(base::ByteView image, std::uint64_t at,
                                                         std::uint8_t kind, const Region& region) {
    if (base::read_u8(image, at + fixup::kVersion) != fixup::kVersionValue ||
        base::read_u8(image, at + fixup::kSubVersion) != fixup::kSubVersionValue)
        throw Fatal(
            base::format("This version of FixupDescriptor table in %s hasn't been supported!", region.name));
    const base::ByteView counts = base::slice(image, at + fixup::kCounts, fixup::kCategories);
    if (base::sum8(counts) != base::read_u8(image, at + fixup::kCheckByte))
        throw Fatal(base::format("FixupDescriptor table define error in %s! Please update it!", region.name));

    std::vector<Entry> entries;
    std::uint64_t pos = at + fixup::kEntries;
    for (int category = 0; category < fixup::kCategories; ++category) {
        for (unsigned i = 0; i < counts[static_cast<std::size_t>(category)]; ++i, pos += fixup::kEntrySize) {
            if (!base::in_range(image, pos, fixup::kEntrySize))
                return base::format(
                    "The FixupDescriptor table at %llXh in %s reaches past the end of the image",
                    static_cast<unsigned long long>(at), region.name);
            const Entry e{category, base::read_u16(image, pos), image[pos + fixup::kEntryKind]};
            if (!applies(e, kind, region)) continue;
            if (region.base + e.offset + kWrittenUpTo[category] > region.start + kRegionSize)
                return base::format(
                    "Entry %04Xh (category %d) of the FixupDescriptor table at %llXh in %s writes past the "
                    "%s",
                    e.offset, category, static_cast<unsigned long long>(at), region.name, region.name);
            entries.push_back(e);
        }
    }
    return entries;
}

void apply(const ChecksummedWrites& writes, const std::vector<Entry>& entries, const Region& region,
           const PlacedModule& m, std::uint16_t segment) {
    const std::uint32_t segment_base = std::uint32_t{segment} * 16;
    constexpr std::uint32_t kTopByte = 0xFF000000;
    for (const Entry& e : entries) {
        const std::uint64_t at = region.base + e.offset;
        const std::uint32_t word = e.category <= 1 ? base::read_u32(writes.image.bytes(), at + 2)
                                                   : base::read_u32(writes.image.bytes(), at);
        switch (e.category) {
            case 0:
                writes.write_u32(at + 2, (word & kTopByte) | (segment_base & ~kTopByte));
                break;
            case 1:
                writes.write_u32(at + 2, (word & kTopByte) | (m.address & ~kTopByte));
                writes.write(at + 7, std::array<std::uint8_t, 1>{static_cast<std::uint8_t>(m.address >> 24)});
                break;
            case 2:
                if ((word & 0x00FF0000) == 0) writes.write_u32(at, word + segment_base);
                break;
            case 3:
                writes.write_u32(at, m.entry_point);
                break;
            case 4:
                writes.write_u16(at, segment);
                break;
            default:
                writes.write_u32(at, m.address);
                break;
        }
    }
}

std::optional<std::string> patch_table(const ChecksummedWrites& writes, std::uint64_t at,
                                       const Region& region, const PlacedModule& m, std::uint16_t segment) {
    auto read = read_table(writes.image.bytes(), at, m.pe32_kind, region);
    if (auto* refused = std::get_if<std::string>(&read)) return *refused;
    apply(writes, std::get<std::vector<Entry>>(read), region, m, segment);
    return std::nullopt;
}

// Scans [start, start + count) for tables, calling `handle` with each; it
// returns false to end the scan, or a refusal.
template <typename Handle>
std::optional<std::string> scan(base::ByteView image, std::uint64_t start, std::uint64_t count,
                                Handle handle) {
    const std::uint64_t end = start + count;
    for (std::uint64_t from = start; from < end;) {
        const auto hit = find_record(image, from, end - from, fixup::kMarker, fixup::kEntries);
        if (!hit) break;
        bool go_on = true;
        if (auto refused = handle(*hit, go_on)) return refused;
        if (!go_on) break;
        from = *hit + 1;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> patch_fixup_descriptors(const image::Editable& target, const PlacedModule& m,
                                                   FixupForm form) {
    const base::ByteView image = target.bytes();
    if (image.size() < image::kBaseWindowSize) return std::nullopt;
    const std::uint64_t window = image::base_window_start(image.size());
    const std::uint64_t bootblock = image::bootblock_start(image.size());
    const Region in_bootblock{"bootblock", bootblock, bootblock, false};
    if (form == FixupForm::kBootblock) {
        // Bootblock tables need nothing of "*BBSS*" and lie outside its
        // checksum region.
        const ChecksummedWrites writes{target, std::nullopt};
        return scan(image, bootblock, kBootblockScan,
                    [&](std::uint64_t at, bool&) { return patch_table(writes, at, in_bootblock, m, 0); });
    }

    const auto record = locate_bootblock_record(image, patcher_search_start(image));
    const ChecksummedWrites writes{target, record ? record->checksum : std::nullopt};
    // With the kind's bootblock variant in the arena, the bootblock's tables
    // are that module's, and only the first bootext table is this one's.
    const bool variant_in_arena =
        arena_holds(image, cli::position_dependent_type(cli::Patcher::kFixupBootblock, m.pe32_kind));
    return scan(image, window, kMainScan, [&](std::uint64_t at, bool& go_on) -> std::optional<std::string> {
        const std::uint64_t offset = at - window;
        if (offset < kRegionSize) {
            std::optional<std::string> refused;
            // Without "*BBSS*" there is neither B nor G: the table is passed over.
            if (record) {
                const Region in_bootext{"bootext", window, record->region_base, true};
                refused = patch_table(writes, at, in_bootext, m, record->segment);
            }
            go_on = !variant_in_arena;
            return refused;
        }
        // A table at exactly 0x10000 is neither the bootext's nor the bootblock's.
        if (offset > kRegionSize && !variant_in_arena) return patch_table(writes, at, in_bootblock, m, 0);
        return std::nullopt;
    });
}

}  // namespace kitra::regions
