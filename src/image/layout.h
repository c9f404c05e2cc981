// Image layout discovery: where the compressed area begins and must end, the
// system BIOS module and the start of the walk over the other modules, the
// bootblock record's control words, the non-compressed microcode area and the
// top hole. Found once when the image is opened; every offset is a file
// offset. An image is the content of a flash part ending at 4 GB, so a
// physical address becomes a file offset by adding the image length mod 2^32.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "base/bytes.h"

namespace kitra::image {

struct Layout {
    std::uint32_t image_length = 0;
    std::uint32_t base_window = 0;  // image length - 0x20000: the last 128 KiB
    std::uint8_t logo_flags = 0;    // byte at image length - 0x1FA6

    // The "*BBSS*" bootblock record.
    bool bbss_found = false;
    std::uint32_t bbss_offset = 0;   // file offset of the marker
    std::uint32_t window_start = 0;  // the 64 KiB window it was found in
    bool bootblock_flag = false;     // bit 1 of the byte 26 bytes before the marker
    bool extended_layout = false;
    std::uint32_t compressed_limit = 0;
    std::uint32_t checksum_block = 0;
    std::uint32_t image_checksum_word = 0;

    std::uint32_t system_bios_offset = 0;
    std::uint32_t walk_start = 0;

    bool ncpucode_present = false;
    std::uint32_t ncpucode_offset = 0;
    std::uint32_t ncpucode_size = 0;

    bool top_hole_enabled = false;
    std::uint32_t top_hole_start = 0;
    std::uint32_t top_hole_size = 0;

    std::uint32_t top_hole_address = 0;  // the "/TopHole:" address as a file offset

    bool operator==(const Layout&) const = default;
};

// The file offset of a physical address, and the other way round.
inline std::uint32_t file_offset_of(std::uint32_t address, std::uint32_t image_length) {
    return address + image_length;
}
inline std::uint32_t rom_address_of(std::uint32_t offset, std::uint32_t image_length) {
    return offset - image_length;
}

// The layout of `image`; `top_hole_address` is the "/TopHole:" setting, used
// when `top_hole_option` (the first option is /TOPHOLE). A large image with no
// "-lh5-" module has no system BIOS: the text saying so is returned instead.
std::variant<Layout, std::string> discover_layout(base::ByteView image, std::uint32_t top_hole_address,
                                                  bool top_hole_option);

// The "*BBSS*" marker: positions 0 .. 0xFFF9 of the 64 KiB window at the base
// window, then of the one after it. Returns the marker's file offset.
std::optional<std::uint32_t> find_bootblock_record(base::ByteView image);

// The non-compressed microcode area through "*BS1" (last 128 KiB, byte steps)
// and its "*ALIN16*" size.
struct NcpucodeArea {
    bool present = false;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};
NcpucodeArea locate_ncpucode(base::ByteView image);
// The "*ALIN16*" size found from `offset` (0 when absent).
std::uint32_t ncpucode_size_at(base::ByteView image, std::uint32_t offset);

// The top hole: "*BS1" at 4-byte steps with bit 4 of its flag byte, then the
// first "$TopHole" with a usable size after the module chain.
struct TopHole {
    bool enabled = false;
    std::uint32_t start = 0;
    std::uint32_t size = 0;
};
TopHole locate_top_hole(base::ByteView image, std::uint32_t walk_start, std::uint32_t compressed_limit);

// The "*BS1" address read again as the item loop does before "release", /D
// and items without option; a valid address sets the NCPUCODE offset again.
void reread_ncpucode_pointer(base::ByteView image, Layout& layout);

// The lower of the microcode area's start and the top hole's start, counting
// only those present; the compressed area's end when neither is. Modules end
// below it; releases and compaction close the chain up to here, so a special
// area below the compressed area's end keeps its data.
std::uint32_t module_limit(const Layout& layout);

// Where the walks over the compressed area stop looking: 64 bytes short of
// the compressed area's end, or the top hole's start when there is one.
std::uint32_t walk_end(const Layout& layout);

// The end of the module chain: the first position from `start` that is not a
// module (or holds the erased packed size).
std::uint64_t chain_end(base::ByteView image, std::uint64_t start);

}  // namespace kitra::image
