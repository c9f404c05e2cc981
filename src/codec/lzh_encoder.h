// The "-lh5-" encoder. It slides a 16640-byte window over the input (8192
// bytes of history, 8192 coding positions, 256 bytes of look-ahead), finds
// matches with the match tree, chooses with one-step lazy matching (a match
// is sent only when the match one byte later is not longer), and collects
// literals and matches as items in a 16 KiB buffer that is sent as one block
// with its own Huffman codes whenever it fills.
//
// Every choice here (window fill, match tie-breaks, block boundaries, heap
// order) decides the bytes of the stream; modules in images are compared
// byte for byte, so none of them may change.
//
// On two cores the match finding, most of the work, runs on two threads of
// its own (codec/match_pieces.h), each finding the matches of every other
// piece of the input with a tree of its own, and this thread makes the lazy
// choice, collects the items and writes the blocks as the matches come. The
// match at a position depends only on the data and the length of the input,
// never on what was sent, except near the end, where the match left by the
// previous position (at most 256 bytes) may be clipped to the bytes remaining
// or not, depending on the choices made; the coding thread finds the last 257
// itself. So the stream is the same bit for bit either way. Small inputs are
// coded on one thread: starting threads costs more than it saves there.
//
// An Encoder holds the tables and buffers for the whole run; each call of
// encode() starts from a clean state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/bytes.h"
#include "codec/huffman_builder.h"
#include "codec/lh5_format.h"
#include "codec/match_pieces.h"
#include "codec/match_tree.h"
#include "codec/report.h"

namespace kitra::codec {

struct Encoder {
    static constexpr unsigned kItemBufferSize = 16384;

    // Inputs of at least this many bytes are coded on two threads, when
    // `threads` is 2 or more (the machine's processor count by default).
    static constexpr std::size_t kTwoThreadsFrom = 64 * 1024;

    Encoder();

    unsigned threads;
    std::size_t two_threads_from = kTwoThreadsFrom;
    // How a long input is cut for the finding threads.
    MatchPieces::Shape pieces;

    std::vector<std::uint8_t> text;   // the window, with a few bytes of slack for word compares
    std::vector<std::uint8_t> items;  // flag bytes, literals, matches
    MatchTree tree;
    HuffmanBuilder builder;
    std::array<std::uint16_t, 2 * kLiteralSymbols - 1> literal_freq{};
    std::array<std::uint16_t, 2 * kLengthCodeSymbols - 1> length_code_freq{};
    std::array<std::uint16_t, 2 * kPositionSymbols - 1> position_freq{};
    std::array<std::uint8_t, kLiteralSymbols> literal_len{};
    std::array<std::uint16_t, kLiteralSymbols> literal_code{};
    std::array<std::uint8_t, kLengthCodeSymbols> length_code_len{};
    std::array<std::uint16_t, kLengthCodeSymbols> length_code_code{};
    std::array<std::uint8_t, kPositionSymbols> position_len{};
    std::array<std::uint16_t, kPositionSymbols> position_code{};
};

struct EncodeResult {
    bool unpackable = false;        // the stream would not be smaller than the input
    std::uint64_t input_count = 0;  // input bytes read
    std::uint16_t crc = 0;          // CRC-16 of the bytes read
};

// Appends the stream for `input` to `out` (nothing useful when unpackable).
// With `progress`, reports "." each time the window slides by 8192 bytes.
EncodeResult encode(Encoder& encoder, base::ByteView input, base::Bytes& out, const Report& report,
                    bool progress);

}  // namespace kitra::codec
