// A 256 KiB image for the bootblock patchers: "*BS1" at image length -
// 0x16000 (0x2A000), "*BBSS*" right behind it whose word 0x800F gives the
// segment G = F800h and the checksum region base B = 0x28000; the region is
// 0x3000 bytes of random data ending in its checksum byte (0x2AFFF), and
// holds both records.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "codec/module_header.h"
#include "support/image_builder.h"

namespace kitra::regions::testing_support {

using base::Bytes;
using kitra::testing::ImageBuilder;

constexpr std::uint32_t kLength = 0x40000;
constexpr std::uint64_t kWindow = 0x20000;
constexpr std::uint64_t kBootblock = 0x30000;
constexpr std::uint64_t kBs1 = 0x2A000;
constexpr std::uint16_t kWord = 0x800F;
constexpr std::uint16_t kSegment = 0xF800;
constexpr std::uint64_t kRegionBase = 0x28000;
constexpr std::uint16_t kRegionLength = 0x3000;
constexpr std::uint64_t kChecksumByte = kRegionBase + kRegionLength - 1;

inline ImageBuilder patcher_image(bool with_bbss = true) {
    ImageBuilder b(kLength);
    b.put(kRegionBase, kitra::testing::pseudo_random_bytes(kRegionLength, 14));
    b.put_u16(kRegionBase + 10, kRegionLength);
    b.put_bs1_record(kBs1, 0xFFFFFFFF);
    b.put_u8(kBs1 + 6, 0x00);
    if (with_bbss) b.put_text(kBs1 + 0x100, "*BBSS*").put_u16(kBs1 + 0x106, kWord);
    return b;
}

// The checksum byte made right for the region as it is.
inline void seal(Bytes& image) {
    image[kChecksumByte] = base::sum8(base::ByteView(image).subspan(kRegionBase, kRegionLength - 1));
}
inline bool sealed(const Bytes& image) {
    return image[kChecksumByte] == base::sum8(base::ByteView(image).subspan(kRegionBase, kRegionLength - 1));
}

// The bootblock arena in the line at 0x3C000 (0x1000 bytes), holding a
// stored module of each of `types`.
inline void put_arena(ImageBuilder& b, const std::vector<std::string_view>& types) {
    b.put_text(0x3C000, "BTKITRAARENA").put_u16(0x3C00C, 0x1000);
    std::uint64_t slot = 0x3C010;
    for (const std::string_view type : types)
        slot = b.put_module(slot, kitra::testing::stored_module("m.bin", type, "module"));
}

}  // namespace kitra::regions::testing_support
