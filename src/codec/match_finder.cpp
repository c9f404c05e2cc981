#include "codec/match_finder.h"

#include <algorithm>
#include <cstring>

#include "codec/lh5_format.h"

namespace kitra::codec {

static_assert(kFinderTextSize >= 2 * kWindowSize + kMaxMatch + 8, "the window and the compares' slack");

FinderBuffers::FinderBuffers() : text(kFinderTextSize) {}

void Finder::fill(unsigned at, unsigned n) {
    const auto take = static_cast<unsigned>(std::min<std::size_t>(n, input.size() - read_pos));
    if (take != 0) std::memcpy(text + at, input.data() + read_pos, take);
    read_pos += take;
}

void Finder::start(Match& m, std::size_t first) {
    // Bytes past the end of a short input take part in match finding (every
    // match is clipped to the input, but the tree sees them): 0xFF, as in
    // erased flash, so the result never depends on an earlier input.
    std::fill(text, text + kFinderTextSize, std::uint8_t{0xFF});
    reset(*tree);
    read_pos = first;
    fill(kWindowSize, kWindowSize + kMaxMatch);
    pos = kWindowSize;
    m = Match{};
    insert_string(*tree, text, pos, m);
}

// When the coding positions are used up, the window slides by 8 KiB.
void Finder::slide_if_full() {
    if (pos + 1 < 2 * kWindowSize) return;
    std::memmove(text, text + kWindowSize, kWindowSize + kMaxMatch);
    fill(kWindowSize + kMaxMatch, kWindowSize);
    pos = kWindowSize - 1;
}

void Finder::step(Match& m) {
    slide_if_full();
    replace_string(*tree, text, ++pos, m);
}

void Finder::steps(Match& m, MatchEntry* out, std::size_t count) {
    while (count > 0) {
        slide_if_full();
        const auto run = static_cast<unsigned>(std::min<std::size_t>(count, 2 * kWindowSize - 1 - pos));
        replace_strings(*tree, text, pos, run, m, out);
        pos += run;
        out += run;
        count -= run;
    }
}

void Finder::chunk(Match& m, std::size_t first, MatchEntry* out, std::size_t count) {
    if (count == 0) return;
    if (first == 0) {
        start(m);
        out[0] = {static_cast<std::uint16_t>(m.length), static_cast<std::uint16_t>(m.position)};
        steps(m, out + 1, count - 1);
    } else {
        steps(m, out, count);
    }
}

void Finder::copy_from(const Finder& from) {
    std::memcpy(text, from.text, kFinderTextSize);
    *tree = *from.tree;
    input = from.input;
    read_pos = from.read_pos;
    pos = from.pos;
}

}  // namespace kitra::codec
