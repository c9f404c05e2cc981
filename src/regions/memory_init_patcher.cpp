#include "regions/memory_init_patcher.h"

#include <optional>
#include <string_view>

#include "cli/catalogue.h"
#include "image/records.h"
#include "regions/bootblock_arena.h"
#include "regions/bootblock_checksum.h"
#include "regions/bootblock_references.h"

namespace kitra::regions {

namespace {

// "BOOTEXTROMENTRYPOINT": the bootext code's segment, 22 bytes from the
// marker's first byte.
constexpr std::string_view kBootextEntry = "BOOTEXTROMENTRYPOINT";
constexpr std::uint64_t kBootextSegment = 22;
constexpr std::uint64_t kBootextRecord = kBootextSegment + 2;

// "BootGDTtable": three 32-bit descriptor base words.
constexpr std::string_view kGdt = "BootGDTtable";
constexpr std::uint64_t kGdtBases[] = {38, 46, 62};
constexpr std::uint64_t kGdtRecord = 66;

// "MEMINITENTRYPOINT": the entry-point address right after the marker, the
// code segment 8 bytes after the marker's end.
constexpr std::string_view kMemInitEntry = "MEMINITENTRYPOINT";
constexpr std::uint64_t kMemInitAddress = kMemInitEntry.size();
constexpr std::uint64_t kMemInitSegment = kMemInitEntry.size() + 8;
constexpr std::uint64_t kMemInitRecord = kMemInitSegment + 2;

// The bootblock runs at segment F000.
constexpr std::uint16_t kBootblockSegment = 0xF000;

// Hits at or above this window offset lie in the bootblock.
constexpr std::uint64_t kBootextSize = image::kWindow64K;

// The descriptor bases were made for `old_segment`; they follow the code to
// `new_base` (a segment times 16).
void rebase_gdt(const ChecksummedWrites& writes, std::uint64_t gdt, std::uint16_t old_segment,
                std::uint32_t new_base) {
    for (const std::uint64_t at : kGdtBases) {
        const std::uint32_t word = base::read_u32(writes.image.bytes(), gdt + at);
        writes.write_u32(gdt + at, word - std::uint32_t{old_segment} * 16 + new_base);
    }
}

struct Common {
    std::optional<BootblockRecord> record;
    ChecksummedWrites writes;
    std::uint64_t window = 0;
    std::optional<std::uint64_t> gdt;  // the first "BootGDTtable" of the main search
};

// Steps shared by both forms: the bootext segment becomes G, and whether
// the image has a "BootGDTtable" at all.
Common common_steps(const image::Editable& target) {
    const base::ByteView image = target.bytes();
    Common c{locate_bootblock_record(image, patcher_search_start(image)),
             {target, std::nullopt},
             image::base_window_start(image.size()),
             std::nullopt};
    if (c.record) c.writes.checksum = c.record->checksum;
    if (c.record) {
        if (const auto at = find_record(image, c.window, kMainSearchPositions, kBootextEntry, kBootextRecord))
            c.writes.write_u16(*at + kBootextSegment, c.record->segment);
    }
    c.gdt = find_record(image, c.window, kMainSearchPositions, kGdt, kGdtRecord);
    return c;
}

void main_form(base::ByteView image, std::uint32_t entry_point, const Common& c) {
    // With a memory-init module of its own in the arena, the bootblock keeps
    // calling that one: only the first record, the bootext's, is this one's.
    const bool bootblock_has_own =
        arena_holds(image, cli::position_dependent_type(cli::Patcher::kMemInitBootblock, 0));
    std::optional<std::uint16_t> old_bootext;
    std::optional<std::uint16_t> old_bootblock;
    const std::uint64_t end = c.window + kMainSearchPositions;
    for (std::uint64_t from = c.window; from < end;) {
        const auto hit = find_record(image, from, end - from, kMemInitEntry, kMemInitRecord);
        if (!hit) break;
        c.writes.write_u32(*hit + kMemInitAddress, entry_point);
        if (c.gdt) {
            const std::uint16_t old = base::read_u16(image, *hit + kMemInitSegment);
            (*hit - c.window < kBootextSize ? old_bootext : old_bootblock) = old;
            if (c.record) c.writes.write_u16(*hit + kMemInitSegment, c.record->segment);
        }
        if (bootblock_has_own) break;
        from = *hit + 1;
    }
    // The bases follow the segment from the old value a record held; where
    // no record held one, there is nothing to follow.
    if (c.gdt && c.record && old_bootext)
        rebase_gdt(c.writes, *c.gdt, *old_bootext, std::uint32_t{c.record->segment} * 16);
    if (!c.gdt || bootblock_has_own || !old_bootblock) return;
    const std::uint64_t bootblock = image::bootblock_start(image.size());
    const auto gdt = find_record(image, bootblock, kBootblockFormPositions, kGdt, kGdtRecord);
    if (!gdt) return;
    rebase_gdt(c.writes, *gdt, *old_bootblock, std::uint32_t{kBootblockSegment} * 16);
    // The bootblock's own record right behind its table runs at F000.
    const std::uint64_t next = *gdt + kGdtRecord;
    if (base::matches(image, next, kMemInitEntry) && base::in_range(image, next + kMemInitSegment, 2))
        c.writes.write_u16(next + kMemInitSegment, kBootblockSegment);
}

void bootblock_form(base::ByteView image, std::uint32_t entry_point, const Common& c) {
    const std::uint64_t bootblock = image::bootblock_start(image.size());
    const auto hit = find_record(image, bootblock, kBootblockFormPositions, kMemInitEntry, kMemInitRecord);
    if (!hit) return;
    c.writes.write_u32(*hit + kMemInitAddress, entry_point);
    if (!c.gdt) return;
    const std::uint16_t old = base::read_u16(image, *hit + kMemInitSegment);
    c.writes.write_u16(*hit + kMemInitSegment, kBootblockSegment);
    if (const auto gdt = find_record(image, bootblock, kBootblockFormPositions, kGdt, kGdtRecord))
        rebase_gdt(c.writes, *gdt, old, std::uint32_t{kBootblockSegment} * 16);
}

}  // namespace

void patch_memory_init(const image::Editable& target, std::uint32_t entry_point, MemoryInitForm form) {
    const base::ByteView image = target.bytes();
    if (image.size() < image::kBaseWindowSize) return;
    const Common c = common_steps(target);
    if (form == MemoryInitForm::kMain)
        main_form(image, entry_point, c);
    else
        bootblock_form(image, entry_point, c);
}

}  // namespace kitra::regions
