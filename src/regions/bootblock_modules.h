// Components kept in fixed areas of the bootblock: the on-board VGA ROM, the
// nVidia memory module and the PMU ROM. The BIOS build marks each area with a
// line (regions/bootblock_records.h) that gives its place and size; the
// component is written there and nothing else of the image moves. Here:
// placing them, and their lines of the listing.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/bytes.h"
#include "cli/item.h"
#include "cli/run_state.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::regions {

// An area a marker line gives as two top-64K offsets ("*BT-VGA*",
// "*NVDAMM*"): the words as stored, and as file offsets.
struct MarkedArea {
    std::uint16_t start_word = 0;
    std::uint16_t end_word = 0;
    std::uint64_t start = 0;
    std::uint64_t end = 0;
};
// The area of the marker line at `line` (its fields must lie inside the image).
MarkedArea read_marked_area(base::ByteView image, std::uint64_t line, std::uint64_t start_field,
                            std::uint64_t end_field);

// The PMU ROM's place, as the "*NVDPMU*" line at `line` gives it.
struct PmuPlace {
    std::uint16_t capacity_kib = 0;
    std::uint16_t segment = 0;
    std::uint16_t offset = 0;
};
PmuPlace read_pmu_place(base::ByteView image, std::uint64_t line);
// The file offset of the real-mode place segment:offset: in real mode the
// image ends at physical address 0x100000, whatever its size. None when the
// place lies before the image.
std::optional<std::uint64_t> pmu_file_offset(std::uint64_t image_length, std::uint16_t segment,
                                             std::uint16_t offset);

// The nVidia memory module's identification: where its first "NVMM" lies in
// its area, and its three texts as stored (bytes from the image).
struct NvMemoryIdentification {
    MarkedArea area;
    std::uint64_t offset = 0;
    std::array<std::string, 3> texts;
};
std::optional<NvMemoryIdentification> nv_memory_identification(base::ByteView image);

// The PMU ROM's version bytes (year and month a nibble each, then the
// build), when the ROM at its place is not erased; `rom` is its file offset.
struct PmuVersion {
    std::uint64_t rom = 0;
    std::uint8_t high = 0;
    std::uint8_t low = 0;
};
std::optional<PmuVersion> read_pmu_version(base::ByteView image);

// The item's component (read whole) into the bootblock area of its kind.
// A failure leaves the image as it was; a file that is no VGA ROM also ends
// the item loop.
cli::ItemResult add_to_bootblock(cli::Run& run, const cli::Item& item);

// The "(BB) Compress BT-VGA" row of the module list, for a VGA ROM packed
// into the "*BT-VGA*" area.
void print_bootblock_vga_row(base::ByteView image, const image::Layout& layout, platform::Console& con);

// After the totals: the on-board VGA line, then the nVidia memory module
// line and the PMU version line.
void print_bootblock_lines(base::ByteView image, const image::Layout& layout, platform::Console& con);

}  // namespace kitra::regions
