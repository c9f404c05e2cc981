#include "platform/memory.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kitra::platform {
namespace {

TEST(ResizeLarge, GivesZeroBytesOfEverySize) {
    // Below the large-page size, around it and well above it (whole large
    // pages inside the buffer, and a tail that is not one).
    for (const std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{4} << 20,
                                (std::size_t{9} << 20) + 4095, std::size_t{16} << 20}) {
        std::vector<std::uint8_t> b;
        resize_large(b, n);
        ASSERT_EQ(b.size(), n);
        EXPECT_TRUE(std::all_of(b.begin(), b.end(), [](std::uint8_t x) { return x == 0; })) << n;
        if (n > 1) {
            b.front() = 1;
            b.back() = 2;
            EXPECT_EQ(b[0] + b[n - 1], 3);
        }
    }
}

}  // namespace
}  // namespace kitra::platform
