// The /D listing: every module of the compressed area with its kind, sizes
// and stored name, the special areas, the space report, and the sections the
// other parts of the image contribute (hole lines, bootblock lines, the
// bootblock arena, the microcode table). It changes nothing in the image.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/bytes.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::listing {

// The space report's figures, in the listing's unsigned 32-bit arithmetic
// (a crafted layout can make them wrap, as they always have).
struct SpaceFigures {
    std::uint32_t system_bios_at = 0;              // where row 0's header is read
    std::uint32_t system_bios_size = 0;            // its size in the image, at least 64 KiB
    std::uint32_t used = 0;                        // the system BIOS and every listed module
    std::uint32_t total_space = 0;                 // "Total compress code space"
    std::uint32_t compressed_size = 0;             // "Total compressed code size"
    std::uint32_t remain = 0;                      // "Remain compress code space"
    std::optional<std::uint32_t> top_hole_wasted;  // "Top Hole wasted code space", with a top hole
};
SpaceFigures space_figures(base::ByteView image, const image::Layout& layout);

void print_listing(base::ByteView image, const image::Layout& layout, const std::string& image_name,
                   platform::Console& con);

}  // namespace kitra::listing
