#include "regions/pe32_checksum_flag.h"

#include <gtest/gtest.h>

#include "regions/patcher_image.h"

namespace kitra::regions {
namespace {

using namespace testing_support;

TEST(Pe32ChecksumFlag, SetInEveryRecordAtFourByteStepsWithinTheRange) {
    ImageBuilder b = patcher_image();
    b.put_text(kBs1 + 0x20, "*BS1").put_u8(kBs1 + 0x26, 0x01);
    b.put_text(kBs1 + 0x42, "*BS1").put_u8(kBs1 + 0x48, 0x01);      // not at a 4-byte step
    b.put_text(kBs1 + 0x6000, "*BS1").put_u8(kBs1 + 0x6006, 0x01);  // past the range
    seal(b.bytes);
    Bytes image = b.bytes;
    EXPECT_FALSE(pe32_checksum_flag(image));
    set_pe32_checksum_flag(image);
    EXPECT_TRUE(pe32_checksum_flag(image));
    Bytes expected = b.bytes;
    expected[kBs1 + 6] = 0x80;
    expected[kBs1 + 0x26] = 0x81;
    seal(expected);  // both records lie in the checksum region
    EXPECT_EQ(image, expected);

    Bytes unaligned_only = b.bytes;
    unaligned_only[kBs1] = 'x';
    unaligned_only[kBs1 + 0x20] = 'x';
    unaligned_only[kBs1 + 0x48] = 0x80;
    EXPECT_FALSE(pe32_checksum_flag(unaligned_only));
}

}  // namespace
}  // namespace kitra::regions
