#include "codec/module_crc.h"

#include "codec/crc16.h"
#include "codec/module_header.h"

namespace kitra::codec {

std::optional<std::uint16_t> stored_crc(base::ByteView module) {
    if (!base::in_range(module, 0, field::kName)) return std::nullopt;
    // The CRC's two bytes lie after the name, inside the H + 2 header bytes.
    const std::uint64_t at = field::kName + module[field::kNameLength];
    if (at > module[field::kHeaderSize]) return std::nullopt;
    return base::try_read_u16(module, at);
}

std::optional<ContentCheck> check_contents(base::ByteView module, base::ByteView contents) {
    const auto stored = stored_crc(module);
    if (!stored) return std::nullopt;
    return ContentCheck{*stored, crc16(contents)};
}

}  // namespace kitra::codec
