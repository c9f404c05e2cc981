#include "convert/microcode_dat.h"

#include <algorithm>

#include "base/text.h"

namespace kitra::convert {

namespace {

constexpr std::uint8_t kDosEndOfFile = 0x1A;
constexpr std::size_t kMaxHexDigits = 8;
constexpr std::size_t kShownTokenLength = 24;  // of a word that is refused

bool is_blank(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v' || c == ',' || c == kDosEndOfFile;
}

bool is_word_char(std::uint8_t c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int hex_value(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "0x" and one to eight hexadecimal digits.
std::optional<std::uint32_t> hex_word(std::string_view token) {
    if (token.size() < 3 || token[0] != '0' || (token[1] != 'x' && token[1] != 'X') ||
        token.size() - 2 > kMaxHexDigits)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : token.substr(2)) {
        const int digit = hex_value(static_cast<std::uint8_t>(c));
        if (digit < 0) return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

}  // namespace

std::uint32_t DatWords::line_at(std::uint64_t offset) const {
    if (lines.empty()) return 0;
    return lines[std::min<std::uint64_t>(offset / 4, lines.size() - 1)];
}

bool is_dat_text(base::ByteView file) {
    return !file.empty() && std::all_of(file.begin(), file.end(), [](std::uint8_t c) {
        return (c >= 0x20 && c < 0x7F) || c == '\n' || is_blank(c);
    });
}

std::variant<DatWords, std::string> read_dat(base::ByteView text) {
    DatWords out;
    std::uint32_t line = 1;
    std::size_t at = 0;
    const auto starts = [&](std::size_t pos, std::string_view s) { return base::matches(text, pos, s); };
    while (at < text.size()) {
        const std::uint8_t c = text[at];
        if (c == '\n') {
            ++line;
            ++at;
        } else if (is_blank(c)) {
            ++at;
        } else if (starts(at, "/*")) {
            const std::uint32_t opened = line;
            std::size_t end = at + 2;
            while (end < text.size() && !starts(end, "*/")) {
                if (text[end] == '\n') ++line;
                ++end;
            }
            if (end >= text.size())
                return base::format("line %u: the comment that starts there is never closed", opened);
            at = end + 2;
        } else if (starts(at, "//")) {
            while (at < text.size() && text[at] != '\n') ++at;
        } else {
            std::size_t end = at;
            while (end < text.size() && is_word_char(text[end])) ++end;
            if (end == at) end = at + 1;  // a lone character that no word begins with
            const std::string token(text.begin() + static_cast<std::ptrdiff_t>(at),
                                    text.begin() + static_cast<std::ptrdiff_t>(end));
            const auto word = hex_word(token);
            if (!word)
                return base::format("line %u: \"%s\" is no 32-bit word in hexadecimal (0x and 1 to 8 digits)",
                                    line, base::printable(token.substr(0, kShownTokenLength)).c_str());
            out.bytes.resize(out.bytes.size() + 4);
            base::write_u32(out.bytes, out.bytes.size() - 4, *word);
            out.lines.push_back(line);
            at = end;
        }
    }
    if (out.bytes.empty()) return std::string("it holds no words");
    return out;
}

}  // namespace kitra::convert
