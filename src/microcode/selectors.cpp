#include "microcode/selectors.h"

#include <algorithm>
#include <string_view>

#include "base/text.h"

namespace kitra::microcode {

namespace {

constexpr std::size_t kMaxHexDigits = 8;
constexpr std::size_t kMaxIndexDigits = 9;

// One to eight hexadecimal digits, "0x" allowed before them.
std::optional<std::uint32_t> hex_number(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.empty() || text.size() > kMaxHexDigits) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::optional<std::size_t> decimal_index(std::string_view text) {
    if (text.empty() || text.size() > kMaxIndexDigits) return std::nullopt;
    std::size_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    if (value == 0) return std::nullopt;
    return value;
}

}  // namespace

std::variant<Selector, std::string> parse_selector(const std::string& text) {
    Selector s;
    s.text = text;
    const std::string shown = base::printable(text);
    if (text.starts_with("index=")) {
        s.index = decimal_index(std::string_view(text).substr(6));
        if (!s.index) return base::format("\"%s\": an index is a number from 1", shown.c_str());
        return s;
    }
    std::string_view rest = text;
    std::size_t part = 0;
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string_view piece = rest.substr(0, comma);
        if (part == 0) {
            s.cpuid = hex_number(piece);
            if (!s.cpuid)
                return base::format("\"%s\": a selector starts with a CPUID in hexadecimal", shown.c_str());
        } else if (piece.starts_with("pf=") && !s.platform_mask) {
            s.platform_mask = hex_number(piece.substr(3));
            if (!s.platform_mask)
                return base::format("\"%s\": pf= takes a platform-ID mask in hexadecimal", shown.c_str());
        } else if (piece.starts_with("rev=") && !s.revision) {
            s.revision = hex_number(piece.substr(4));
            if (!s.revision)
                return base::format("\"%s\": rev= takes a revision in hexadecimal", shown.c_str());
        } else {
            return base::format("\"%s\": after the CPUID come pf=MASK and rev=REVISION, once each",
                                shown.c_str());
        }
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
        ++part;
    }
    return s;
}

bool selects(const Selector& s, const convert::Update& u, std::size_t index) {
    if (s.index) return *s.index == index;
    if (s.revision && *s.revision != u.revision) return false;
    return std::any_of(u.signatures.begin(), u.signatures.end(), [&](const convert::UpdateSignature& sig) {
        if (sig.cpuid != *s.cpuid) return false;
        return !s.platform_mask ||
               (u.vendor == convert::Vendor::kIntel && sig.platform_mask == *s.platform_mask);
    });
}

}  // namespace kitra::microcode
