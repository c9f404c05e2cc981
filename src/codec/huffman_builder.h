// Builds the Huffman code of one block from symbol frequencies: the tree from
// a binary min-heap, code lengths limited to 16 bits, canonical codes. The
// decoder needs only the lengths, but every tie-break here (heap order, the
// order in which lengths are handed out) decides the bytes of the stream, so
// the steps are kept exactly as they are.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "codec/report.h"

namespace kitra::codec {

struct HuffmanBuilder {
    static constexpr unsigned kMaxSymbols = 510;
    std::array<std::uint16_t, kMaxSymbols + 1> heap{};  // from index 1
    std::array<std::uint16_t, 2 * kMaxSymbols - 1> left{};
    std::array<std::uint16_t, 2 * kMaxSymbols - 1> right{};
    std::array<std::uint16_t, kMaxSymbols> order{};  // symbols as they leave the heap
    std::array<unsigned, 17> length_count{};
};

// `freq` has 2 * symbols - 1 entries: the symbols' frequencies, then room for
// the tree nodes'. Fills `lengths` and `codes` (symbols entries each) and
// returns the root: a node (>= symbols), or the only used symbol (0 when none)
// whose code is 0 and every length 0. A code that needed more than 16 bits is
// reshaped, reporting "17" on the error stream for each step.
unsigned build_code(HuffmanBuilder& b, unsigned symbols, std::span<std::uint16_t> freq,
                    std::span<std::uint8_t> lengths, std::span<std::uint16_t> codes, const Report& report);

}  // namespace kitra::codec
