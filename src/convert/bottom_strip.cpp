#include "convert/bottom_strip.h"

#include <array>

namespace kitra::convert {

namespace {

struct StripRun {
    std::uint8_t value;
    std::uint8_t count;
};

// A one-pixel rule in index 1 along the top row, over index 0: it sets the
// screen's own picture off from the firmware's messages below it. Kept as
// (value, repeat count) pairs.
constexpr StripRun kRuns[] = {
    {1, 255}, {1, 255}, {1, 130},  // row 0: the rule
    {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255},
    {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255},
    {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255},
    {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 255}, {0, 165},  // rows 1-15
};

constexpr std::uint64_t expanded_size() {
    std::uint64_t n = 0;
    for (const StripRun& r : kRuns) n += r.count;
    return n;
}
static_assert(expanded_size() == kStripSize, "the strip's runs must fill exactly 640 x 16 pixels");

constexpr std::array<std::uint8_t, kStripSize> expand() {
    std::array<std::uint8_t, kStripSize> out{};
    std::size_t at = 0;
    for (const StripRun& r : kRuns)
        for (unsigned i = 0; i < r.count; ++i) out[at++] = r.value;
    return out;
}

constexpr std::array<std::uint8_t, kStripSize> kStrip = expand();

}  // namespace

base::ByteView bottom_strip() {
    return kStrip;
}

}  // namespace kitra::convert
