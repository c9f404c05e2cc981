// The words of /BOI: none shows the Boot On Internet parameters, nine set
// them. Each of the nine may be left out (an empty word, or one that starts
// with ","), so that a build script can change one setting and keep the rest.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/console.h"

namespace kitra::cli {

// An IPv4 address, first dotted part first, as the firmware stores it.
using Address = std::array<std::uint8_t, 4>;

// The nine values in command-line order; an empty optional keeps its field.
struct BoiValues {
    std::optional<std::uint8_t> use_dhcp;  // 0 or 1
    std::optional<Address> server_ip;
    std::optional<Address> static_ip;
    std::optional<Address> net_mask;
    std::optional<Address> gate_way;
    std::optional<Address> dns;
    std::optional<std::uint8_t> use_proxy;  // 0 or 1
    std::optional<Address> proxy_ip;
    std::optional<std::uint16_t> proxy_port;

    bool operator==(const BoiValues&) const = default;
};

enum class BoiForm : std::uint8_t {
    kShow,   // nothing follows /BOI
    kSet,    // nine values follow it
    kWrong,  // another count, or an address that is not four numbers of 0-255
};

struct BoiRequest {
    BoiForm form = BoiForm::kWrong;
    BoiValues values;  // kSet only
};

// The words after /BOI. "/err" among them is the run's switch, not a value.
// Switches count as 1 when their leading decimal number is not 0; the port
// keeps the low 16 bits of its leading decimal number; an address must be
// four decimal numbers of 0-255 separated by "." or "," (a trailing "," is
// allowed).
BoiRequest read_boi_request(std::span<const std::string> words);

// The answer to words that make no request.
void print_boi_wrong(platform::Console& con);

}  // namespace kitra::cli
