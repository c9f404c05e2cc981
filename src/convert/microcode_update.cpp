#include "convert/microcode_update.h"

namespace kitra::convert {

using base::ByteView;
using base::read_u32;

namespace {

std::uint32_t sum32(ByteView bytes, std::uint64_t from, std::uint64_t to) {
    std::uint32_t sum = 0;
    for (std::uint64_t off = from; off + 4 <= to; off += 4) sum += read_u32(bytes, off);
    return sum;
}

}  // namespace

bool is_intel_update(ByteView record) {
    namespace f = intel_update;
    if (record.size() < f::kHeaderSize) return false;
    for (std::uint64_t off = f::kHeaderVersion; off <= f::kLoaderRevision; off += 4)
        if (read_u32(record, off) == 0) return false;
    return sum32(record, 0, record.size()) == 0;
}

bool is_amd_patch(ByteView record) {
    namespace f = amd_patch;
    if (record.size() < f::kDataEnd) return false;
    const std::uint32_t checksum = read_u32(record, f::kDataChecksum);
    return checksum != 0 && checksum == sum32(record, f::kDataStart, f::kDataEnd);
}

std::string_view platform_name(std::uint8_t flags, std::uint8_t family) {
    // Family 15 is the Pentium 4 line: the same flag bits name its sockets.
    const int column = family < 15 ? 0 : (family == 15 ? 1 : 2);
    switch (flags) {
        case 1:
        case 2: {
            constexpr std::string_view kNames[] = {"SLOT1 ", "SERVER", "SLOT1 "};
            return kNames[column];
        }
        case 4: {
            constexpr std::string_view kNames[] = {"SLOT2 ", "PGA478", "PGA478"};
            return kNames[column];
        }
        case 8:
            return "MOBILE";
        case 16: {
            constexpr std::string_view kNames[] = {"PPGA  ", "PGA423", "PGA423"};
            return kNames[column];
        }
        default:
            return "SLOT1 ";
    }
}

}  // namespace kitra::convert
