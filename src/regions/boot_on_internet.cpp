#include "regions/boot_on_internet.h"

#include <optional>
#include <variant>
#include <vector>

#include "image/editable.h"
#include "image/markers.h"
#include "image/records.h"
#include "regions/bootblock_checksum.h"

namespace kitra::regions {

namespace {

using base::ByteView;
using platform::print;

// The bytes a set writes: the given values in the order of the block.
struct FieldWrite {
    std::uint64_t field = 0;
    base::Bytes bytes;
};

std::vector<FieldWrite> field_writes(const cli::BoiValues& v) {
    std::vector<FieldWrite> out;
    const auto byte = [&](std::uint64_t field, const std::optional<std::uint8_t>& value) {
        if (value) out.push_back({field, {*value}});
    };
    const auto address = [&](std::uint64_t field, const std::optional<cli::Address>& value) {
        if (value) out.push_back({field, base::Bytes(value->begin(), value->end())});
    };
    byte(boi::kUseDhcp, v.use_dhcp);
    address(boi::kServerIp, v.server_ip);
    address(boi::kStaticIp, v.static_ip);
    address(boi::kNetMask, v.net_mask);
    address(boi::kGateWay, v.gate_way);
    address(boi::kDns, v.dns);
    byte(boi::kUseProxy, v.use_proxy);
    address(boi::kProxyIp, v.proxy_ip);
    if (v.proxy_port) {
        base::Bytes port(2);
        base::write_u16(port, 0, *v.proxy_port);
        out.push_back({boi::kProxyPort, port});
    }
    return out;
}

}  // namespace

std::optional<std::uint64_t> find_boot_on_internet(ByteView image) {
    const std::uint64_t start =
        image.size() >= image::kRecordSearchFromEnd ? image.size() - image::kRecordSearchFromEnd : 0;
    const auto at = image::find_marker(image, start, boi::kSearchPositions, boi::kMarker);
    if (!at || !base::in_range(image, *at, boi::kSize)) return std::nullopt;
    return at;
}

void show_boot_on_internet(ByteView image, platform::Console& con) {
    platform::write(con, "====================  Boot on internet parameters setting  ====================\n");
    const auto at = find_boot_on_internet(image);
    if (!at) return;
    const auto byte = [&](std::uint64_t field) -> unsigned { return base::read_u8(image, *at + field); };
    const auto address = [&](const char* format, std::uint64_t field) {
        print(con, format, byte(field), byte(field + 1), byte(field + 2), byte(field + 3));
    };
    print(con, "        Use DHCP = %01Xh\n", byte(boi::kUseDhcp));
    address("        Server IP = %u.%u.%u.%u", boi::kServerIp);
    address("        Static IP = %u.%u.%u.%u\n", boi::kStaticIp);
    address("        Net Mask  = %u.%u.%u.%u", boi::kNetMask);
    address("        Gate Way  = %u.%u.%u.%u\n", boi::kGateWay);
    address("        DNS      = %u.%u.%u.%u", boi::kDns);
    print(con, "\n        Use Proxy = %01Xh\n", byte(boi::kUseProxy));
    address("        Proxy IP = %u.%u.%u.%u", boi::kProxyIp);
    print(con, "        Proxy Port = %04Xh\n", base::read_u16(image, *at + boi::kProxyPort));
}

cli::ItemResult set_boot_on_internet(cli::Run& run, const cli::BoiValues& values) {
    const ByteView image = run.image.bytes();
    // An image without the block has nothing to set; the item fails.
    const auto at = find_boot_on_internet(image);
    if (!at) return {.failed = true, .end_loop = false};
    const std::vector<FieldWrite> writes = field_writes(values);

    // Without "*BBSS*" there is no checksum byte to keep right.
    const auto found = locate_bootblock_checksum(image, bootblock_search_start(image));
    std::optional<BootblockChecksum> checksum;
    if (const auto* c = std::get_if<BootblockChecksum>(&found)) {
        checksum = *c;
    } else if (std::get<BootblockChecksumProblem>(found) == BootblockChecksumProblem::Unusable) {
        print(run.con,
              "The bootblock record \"*BBSS*\" names a checksum region outside its window; the Boot On "
              "Internet parameters are not set.\n");
        return {.failed = true, .end_loop = false};
    }
    // A value written over the checksum byte would be changed again by the
    // adjustment, so what the firmware reads would not be what was asked.
    for (const FieldWrite& w : writes) {
        const std::uint64_t from = *at + w.field;
        if (checksum && checksum->checksum_offset >= from &&
            checksum->checksum_offset < from + w.bytes.size()) {
            print(run.con,
                  "The \"$BOI\" block lies over the bootblock checksum byte at %Xh; the Boot On Internet "
                  "parameters are not set.\n",
                  checksum->checksum_offset);
            return {.failed = true, .end_loop = false};
        }
    }

    // The checksum byte follows only the bytes written inside its region.
    std::uint8_t old_sum = 0;
    std::uint8_t new_sum = 0;
    for (const FieldWrite& w : writes) {
        for (std::size_t i = 0; i < w.bytes.size(); ++i) {
            const std::uint64_t p = *at + w.field + i;
            if (checksum && p >= checksum->region_base && p < checksum->checksum_offset) {
                old_sum = static_cast<std::uint8_t>(old_sum + base::read_u8(image, p));
                new_sum = static_cast<std::uint8_t>(new_sum + w.bytes[i]);
            }
            image::write_u8(run.image, p, w.bytes[i]);
        }
    }
    if (checksum)
        adjust_bootblock_checksum(run.image, *checksum, static_cast<std::uint8_t>(new_sum - old_sum));
    if (!writes.empty()) run.flags.areas_written = true;
    return {};
}

cli::ItemResult boot_on_internet(cli::Run& run, int index) {
    cli::BoiRequest request;
    if (index == run.settings.first_option_index) {
        // Read and checked when the run started.
        request.form = run.settings.boi_show ? cli::BoiForm::kShow : cli::BoiForm::kSet;
        request.values = run.settings.boi_values;
    } else {
        request =
            cli::read_boi_request(std::span(run.settings.args).subspan(static_cast<std::size_t>(index) + 1));
    }
    cli::ItemResult result;
    switch (request.form) {
        case cli::BoiForm::kShow:
            show_boot_on_internet(run.image.bytes(), run.con);
            break;
        case cli::BoiForm::kSet:
            result = set_boot_on_internet(run, request.values);
            break;
        case cli::BoiForm::kWrong:
            cli::print_boi_wrong(run.con);
            result.failed = true;
            break;
    }
    // Nothing after /BOI is an item.
    result.end_loop = true;
    return result;
}

}  // namespace kitra::regions
