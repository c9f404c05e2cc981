// The Boot On Internet block: the network settings the firmware's boot from
// the network reads, a 32-byte record in the bootblock. /BOI shows them or
// sets any of them; a set keeps the bootblock checksum byte right.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/bytes.h"
#include "cli/boi_values.h"
#include "cli/item.h"
#include "cli/run_state.h"
#include "platform/console.h"

namespace kitra::regions {

// The block, found at byte steps over 0x6000 positions from image length -
// 0x16000 (the first hit counts). Addresses hold one byte per dotted part,
// first part first; the port is little-endian.
//
//    0  "$BOI"          4  Use DHCP (0 or 1)    5  Server IP
//    9  Static IP      13  Net Mask            17  Gate Way
//   21  DNS            25  Use Proxy (0 or 1)  26  Proxy IP
//   30  Proxy Port
namespace boi {
constexpr std::string_view kMarker = "$BOI";
constexpr std::uint64_t kSize = 32;
constexpr std::uint64_t kUseDhcp = 4;
constexpr std::uint64_t kServerIp = 5;
constexpr std::uint64_t kStaticIp = 9;
constexpr std::uint64_t kNetMask = 13;
constexpr std::uint64_t kGateWay = 17;
constexpr std::uint64_t kDns = 21;
constexpr std::uint64_t kUseProxy = 25;
constexpr std::uint64_t kProxyIp = 26;
constexpr std::uint64_t kProxyPort = 30;
constexpr std::uint32_t kSearchPositions = 0x6000;
}  // namespace boi

// The file offset of the block, when the image holds it whole.
std::optional<std::uint64_t> find_boot_on_internet(base::ByteView image);

// The heading, then the fields when the image has the block.
void show_boot_on_internet(base::ByteView image, platform::Console& con);

// Writes the given values over their fields and moves the bootblock checksum
// byte by the change of the bytes written inside its region. Fails, writing
// nothing, when the image has no block.
cli::ItemResult set_boot_on_internet(cli::Run& run, const cli::BoiValues& values);

// The /BOI item at argument `index`: shows or sets as its words ask.
cli::ItemResult boot_on_internet(cli::Run& run, int index);

}  // namespace kitra::regions
