// The text form CPU vendors have long shipped microcode in (".dat"): the
// update's 32-bit words as hexadecimal numbers ("0x00000001,"), separated by
// commas and white space, among C comments. Reading it gives the bytes of
// the updates, each word little-endian, as a binary update file holds them.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "base/bytes.h"

namespace kitra::convert {

struct DatWords {
    base::Bytes bytes;                 // 4 bytes a word
    std::vector<std::uint32_t> lines;  // the line each word stands on, from 1
    // The line of the word at byte offset `offset` of `bytes`.
    std::uint32_t line_at(std::uint64_t offset) const;
};

// Text only: printable ASCII, tabs, line ends and form feeds, and a DOS
// end-of-file mark. A binary update begins with the byte 0x01 and a module
// with its header size: neither is text.
bool is_dat_text(base::ByteView file);

// The words, or why the text is not the form above ("line 12: ...").
std::variant<DatWords, std::string> read_dat(base::ByteView text);

}  // namespace kitra::convert
