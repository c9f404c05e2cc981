// The lines the BIOS build leaves in the bootblock to say where its fixed
// component areas and its arena lie. Each begins a 16-byte line of the base
// window (the line search finds it only there); the numbers after the
// marker are little-endian. "Top-64K offsets" count from the start of the
// bootblock, the last 64 KiB of the image.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/bytes.h"
#include "image/markers.h"
#include "image/records.h"

namespace kitra::regions {

namespace bootblock_line {
constexpr std::uint64_t kSize = 16;

// "BtBkVgaRom": the on-board VGA ROM, byte for byte, from the next line up
// to window offset 0x1E000 (8 KiB before the image's end).
constexpr std::string_view kVgaRomMarker = "BtBkVgaRom";
constexpr std::uint32_t kVgaRomAreaEnd = 0x1E000;

// "*BT-VGA*": the on-board VGA ROM as a compressed module.
//    8  area start (top-64K offset)     10  area end (top-64K offset)
constexpr std::string_view kVgaModuleMarker = "*BT-VGA*";
constexpr std::uint64_t kVgaStart = 8;
constexpr std::uint64_t kVgaEnd = 10;
constexpr std::string_view kVgaModuleType = "4000:0";  // the module's type ID

// "*NVDAMM*": the nVidia memory module, byte for byte.
//    8  area start (top-64K offset)     10  area end (top-64K offset)
constexpr std::string_view kNvMemoryMarker = "*NVDAMM*";
constexpr std::uint64_t kNvMemoryStart = 8;
constexpr std::uint64_t kNvMemoryEnd = 10;

// "*NVDPMU*": the PMU ROM, byte for byte, at a real-mode address.
//    8  capacity in KiB     10  segment     12  offset
constexpr std::string_view kPmuMarker = "*NVDPMU*";
constexpr std::uint64_t kPmuCapacity = 8;
constexpr std::uint64_t kPmuSegment = 10;
constexpr std::uint64_t kPmuOffset = 12;

// "BTKITRAARENA": the arena starts at the next line.
//   12  arena length in bytes     14  reserved
constexpr std::string_view kArenaMarker = "BTKITRAARENA";
constexpr std::uint64_t kArenaLength = 12;
}  // namespace bootblock_line

// The nVidia memory module's identification: at the first "NVMM" of its
// area, 52 bytes holding three NUL-terminated texts (the first is the one
// that begins "NVMM"), separated by runs of NUL.
namespace nv_memory_id {
constexpr std::string_view kMarker = "NVMM";
constexpr std::uint64_t kSize = 52;
}  // namespace nv_memory_id

// The PMU ROM's version: in its first 256 bytes, byte 4 is n, and the
// version bytes are n - 6 (year and month, a nibble each) and n - 5 (build).
// A ROM whose byte 0 or 1 is 0xFF is erased: no version.
namespace pmu_version {
constexpr std::uint64_t kRead = 256;
constexpr std::uint64_t kPointer = 4;
constexpr std::uint64_t kHighBack = 6;
constexpr std::uint64_t kLowBack = 5;
}  // namespace pmu_version

// The file offset of the line that begins with `marker`, found by the line
// search from the base window. A hit on the line at 0x1DFF0 counts as none:
// the search gives the same value for it as for a miss.
inline std::optional<std::uint64_t> bootblock_marker_line(base::ByteView image, std::string_view marker) {
    if (image.size() < image::kBaseWindowSize) return std::nullopt;
    const std::uint64_t window = image::base_window_start(image.size());
    const std::uint32_t past = image::line_search(image, window, marker);
    if (past == image::kLineSearchMiss) return std::nullopt;
    return window + past - bootblock_line::kSize;
}

}  // namespace kitra::regions
