// The constants of the "-lh5-" stream, shared by the encoder and the decoder:
// LZ77 over an 8 KiB window whose literals, match lengths and distances are
// sent with static Huffman codes at the start of every block.
#pragma once

#include <cstdint>

namespace kitra::codec {

constexpr unsigned kWindowBits = 13;
constexpr unsigned kWindowSize = 1u << kWindowBits;  // distances are taken modulo this
constexpr unsigned kWindowMask = kWindowSize - 1;
constexpr unsigned kThreshold = 3;   // the shortest match
constexpr unsigned kMaxMatch = 256;  // the longest match

// Literal/length alphabet: 0-255 are literal bytes, s in 256-509 a match of
// length s - 253 (3 .. 256).
constexpr unsigned kLiteralSymbols = 510;
constexpr unsigned kLengthSymbolBase = 256 - kThreshold;  // length + this = symbol
// Alphabet of the code that sends the literal/length code lengths.
constexpr unsigned kLengthCodeSymbols = 19;
// Position symbol j stands for distance values with j significant bits.
constexpr unsigned kPositionSymbols = 14;

// Widths of the counts that open each code-length list.
constexpr unsigned kLiteralCountBits = 9;
constexpr unsigned kLengthCodeCountBits = 5;
constexpr unsigned kPositionCountBits = 4;
// The length-code lengths carry a 2-bit run of zeros after this many entries
// (the three rarely used run symbols are often absent).
constexpr unsigned kLengthCodeZeroRunAfter = 3;

constexpr unsigned kMaxCodeLength = 16;
constexpr unsigned kLiteralTableBits = 12;
constexpr unsigned kSmallTableBits = 8;

}  // namespace kitra::codec
