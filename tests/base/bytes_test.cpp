#include "base/bytes.h"

#include <gtest/gtest.h>

#include "base/fatal.h"
#include "support/image_builder.h"

namespace kitra::base {
namespace {

TEST(Bytes, SumsEqualTheirPlainDefinitionAtEverySize) {
    const Bytes data = testing::pseudo_random_bytes(70000, 9);
    for (std::size_t size : {0, 1, 2, 7, 8, 9, 1023, 1024, 1025, 2049, 65535, 70000}) {
        const ByteView b(data.data(), size);
        unsigned bytes = 0, words = 0;
        for (std::size_t i = 0; i < size; ++i) {
            bytes += b[i];
            words += i % 2 == 0 ? b[i] : b[i] << 8;
        }
        EXPECT_EQ(sum8(b), static_cast<std::uint8_t>(bytes)) << size;
        EXPECT_EQ(sum16_le(b), static_cast<std::uint16_t>(words)) << size;
    }
    // Lanes that would overflow if they were not emptied in time.
    const Bytes ff(300000, 0xFF);
    EXPECT_EQ(sum8(ff), static_cast<std::uint8_t>(300000u * 255u));
    EXPECT_EQ(sum16_le(ff), static_cast<std::uint16_t>(150000u * 0xFFFFu));
}

TEST(Bytes, CheckedAccessRefusesRangesOutsideTheBuffer) {
    Bytes b(16, 0);
    EXPECT_THROW(read_u32(b, 13), Fatal);
    EXPECT_THROW(write_u16(b, 15, 1), Fatal);
    EXPECT_THROW(slice(ByteView(b), 8, 9), Fatal);
    EXPECT_THROW(read_u8(b, ~std::uint64_t{0}), Fatal);
    EXPECT_FALSE(matches(b, 14, "abc"));
    EXPECT_EQ(try_read_u16(b, 15), std::nullopt);
    EXPECT_EQ(read_u32(b, 12), 0u);
}

}  // namespace
}  // namespace kitra::base
