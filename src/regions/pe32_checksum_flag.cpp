#include "regions/pe32_checksum_flag.h"

#include <array>

#include "image/markers.h"
#include "image/records.h"
#include "regions/bootblock_checksum.h"

namespace kitra::regions {

namespace {

using image::bs1::kPe32ChecksumBit;
using image::bs1::kPe32Flags;

}  // namespace

bool pe32_checksum_flag(base::ByteView image) {
    for (const std::uint64_t record : image::find_bs1_records(image)) {
        const auto flags = base::in_range(image, record + kPe32Flags, 1) ? image[record + kPe32Flags] : 0;
        if ((flags & kPe32ChecksumBit) != 0) return true;
    }
    return false;
}

void set_pe32_checksum_flag(const image::Editable& target) {
    const base::ByteView image = target.bytes();
    const auto record = locate_bootblock_record(image, bootblock_search_start(image));
    const ChecksummedWrites writes{target, record ? record->checksum : std::nullopt};
    for (const std::uint64_t at : image::find_bs1_records(image)) {
        if (!base::in_range(image, at + kPe32Flags, 1)) continue;
        const std::array<std::uint8_t, 1> flags{
            static_cast<std::uint8_t>(image[at + kPe32Flags] | kPe32ChecksumBit)};
        writes.write(at + kPe32Flags, flags);
    }
}

}  // namespace kitra::regions
