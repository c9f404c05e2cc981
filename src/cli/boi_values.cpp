#include "cli/boi_values.h"

#include <string_view>
#include <vector>

#include "cli/catalogue.h"

namespace kitra::cli {

namespace {

constexpr std::size_t kValueCount = 9;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// A word that is empty or starts with "," leaves its field as it is.
bool given(std::string_view word) {
    return !word.empty() && word.front() != ',';
}

// The leading decimal digits, reduced modulo 2^16: the port keeps the low
// 16 bits however long the number is, and a switch only asks whether it is 0.
struct Leading {
    std::uint16_t low16 = 0;
    bool nonzero = false;
};
Leading leading_decimal(std::string_view word) {
    Leading n;
    for (char c : word) {
        if (!is_digit(c)) break;
        n.low16 = static_cast<std::uint16_t>(n.low16 * 10u + static_cast<unsigned>(c - '0'));
        n.nonzero = n.nonzero || c != '0';
    }
    return n;
}

std::uint8_t switch_value(std::string_view word) {
    return leading_decimal(word).nonzero ? 1 : 0;
}

// Four pieces of 0-255, separated by "." or ","; one "," may close the
// last piece. Anything else would leave bytes of the field unset or spill
// past it, so it is refused.
std::optional<Address> address_value(std::string_view word) {
    if (word.back() == ',') word.remove_suffix(1);
    Address address{};
    std::size_t piece = 0;
    std::size_t i = 0;
    while (true) {
        if (piece == address.size()) return std::nullopt;
        unsigned value = 0;
        const std::size_t start = i;
        for (; i < word.size() && is_digit(word[i]); ++i) {
            value = value * 10u + static_cast<unsigned>(word[i] - '0');
            if (value > 255) return std::nullopt;
        }
        if (i == start) return std::nullopt;
        address[piece++] = static_cast<std::uint8_t>(value);
        if (i == word.size()) break;
        if (word[i] != '.' && word[i] != ',') return std::nullopt;
        ++i;
    }
    if (piece != address.size()) return std::nullopt;
    return address;
}

}  // namespace

BoiRequest read_boi_request(std::span<const std::string> words) {
    std::vector<std::string_view> values;
    for (const std::string& w : words)
        if (!equal_ignoring_case(w, "/err")) values.emplace_back(w);
    if (values.empty()) return {.form = BoiForm::kShow, .values = {}};
    if (values.size() != kValueCount) return {};

    BoiRequest request{.form = BoiForm::kSet, .values = {}};
    BoiValues& v = request.values;
    bool addresses_ok = true;
    const auto address = [&](std::string_view word, std::optional<Address>& field) {
        if (!given(word)) return;
        field = address_value(word);
        addresses_ok = addresses_ok && field.has_value();
    };
    if (given(values[0])) v.use_dhcp = switch_value(values[0]);
    address(values[1], v.server_ip);
    address(values[2], v.static_ip);
    address(values[3], v.net_mask);
    address(values[4], v.gate_way);
    address(values[5], v.dns);
    if (given(values[6])) v.use_proxy = switch_value(values[6]);
    address(values[7], v.proxy_ip);
    if (given(values[8])) v.proxy_port = leading_decimal(values[8]).low16;
    if (!addresses_ok) return {};
    return request;
}

void print_boi_wrong(platform::Console& con) {
    platform::write(con, "The input BOI parameters are wrong!\n");
}

}  // namespace kitra::cli
