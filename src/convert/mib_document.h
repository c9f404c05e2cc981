// Text documents ("-MIB-"). The firmware shows a document line by line from
// a table of line starts, so the text is laid out before it is packed: lines
// of at most 78 characters, tabs expanded to multiples of 8, every line ended
// by a zero byte and started at an even offset, and the table behind the
// text. Offsets are kept in 16 bits: a line start is even, so bit 0 is free
// to carry bit 16 of offsets at or beyond 0x10000 (a document stays below
// 0x20000), and the byte at 0xFFFF is always a zero filler.
//
//   0  "-MIB-"
//   5  13 fixed bytes
//  18  text end T, where the line table starts (encoded offset)
//  20  table end (encoded offset, 16 bits: the text keeps its first two bytes)
//  22  the text, line after line, each ended by a zero byte
//   T  the line table: the encoded start of every line, in order
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "base/bytes.h"

namespace kitra::convert {

namespace mib {
constexpr std::string_view kMark = "-MIB-";
constexpr std::uint64_t kFixedBytes = 5;
constexpr std::array<std::uint8_t, 13> kFixed = {0x0B, 0x0C, 0x01, 0x00, 0x03, 0x01, 0x04,
                                                 0x4E, 0x17, 0x05, 0x01, 0x04, 0x00};
constexpr std::uint64_t kTextEnd = 18;
constexpr std::uint64_t kTableEnd = 20;
constexpr std::uint64_t kText = 22;
constexpr std::uint32_t kLimit = 0x20000;  // every document ends below this offset
constexpr unsigned kLineWidth = 78;
constexpr unsigned kTabWidth = 8;
}  // namespace mib

// An offset as the document stores it, and back.
std::uint16_t encode_mib_offset(std::uint32_t offset);
std::uint32_t decode_mib_offset(std::uint16_t stored);

// The document of a text. The text ends at its first 0xFF byte or at its
// end; what would not fit below 0x20000 is dropped, the last line kept being
// closed as any other.
base::Bytes mib_document(base::ByteView text);

}  // namespace kitra::convert
