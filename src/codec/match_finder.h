// The window over the input and the match tree: the match at each position
// in turn. The window is 16640 bytes (8192 of history, 8192 coding
// positions, 256 of look-ahead) and slides by 8 KiB when its coding
// positions are used up; it is read in the same pieces as the encoder counts
// its input, so a finder started at any multiple of 8192 sees the window
// exactly as one started at the input's first byte does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/bytes.h"
#include "codec/match_tree.h"

namespace kitra::codec {

// A window and a tree of a finder's own (the encoder's main finder uses the
// Encoder's).
struct FinderBuffers {
    FinderBuffers();
    std::vector<std::uint8_t> text;
    MatchTree tree;
};

struct Finder {
    std::uint8_t* text = nullptr;  // kFinderTextSize bytes
    MatchTree* tree = nullptr;
    base::ByteView input;
    std::size_t read_pos = 0;  // input bytes taken into the window
    unsigned pos = 0;          // the window position of the last match found

    // The first position: an empty tree, the window's first piece read from
    // input byte `first` (0 or a multiple of 8192); sets m to its match.
    void start(Match& m, std::size_t first = 0);
    // The next position.
    void step(Match& m);
    // The next `count` positions, their matches kept in `out`.
    void steps(Match& m, MatchEntry* out, std::size_t count);
    // The matches of input positions `first` on, as many as `out` holds,
    // where `first` is 0 or the position after the last one found.
    void chunk(Match& m, std::size_t first, MatchEntry* out, std::size_t count);

    // The state of `from` in this finder's own window and tree.
    void copy_from(const Finder& from);

  private:
    void fill(unsigned at, unsigned n);
    void slide_if_full();
};

// The window with a few bytes of slack for word compares.
constexpr unsigned kFinderTextSize = 2 * 8192 + 256 + 8;

}  // namespace kitra::codec
