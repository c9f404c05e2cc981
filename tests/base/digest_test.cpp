// CRC-32 and SHA-256 against published check values, and the processor's
// SHA instructions against plain code on every tail length.
#include <gtest/gtest.h>

#include "base/crc32.h"
#include "base/sha256.h"
#include "support/image_builder.h"

namespace kitra::base {
namespace {

TEST(Digests, PublishedCheckValues) {
    EXPECT_EQ(crc32(view_of("")), 0u);
    EXPECT_EQ(crc32(view_of("123456789")), 0xCBF43926u);
    EXPECT_EQ(crc32(view_of("6789"), crc32(view_of("12345"))), 0xCBF43926u);
    EXPECT_EQ(crc32(view_of("The quick brown fox jumps over the lazy dog")), 0x414FA339u);
    const struct {
        std::string text;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sha256_text(sha256(view_of(c.text))), c.digest) << c.text.size();
        EXPECT_EQ(sha256_text(sha256(view_of(c.text), false)), c.digest) << c.text.size();
    }
}

TEST(Digests, ShaInstructionsAgreeWithPlainCode) {
    const Bytes data = testing::pseudo_random_bytes(1 << 20, 7);
    for (std::size_t n = 0; n < 200; ++n)
        EXPECT_EQ(sha256(ByteView(data).first(n)), sha256(ByteView(data).first(n), false)) << n;
    EXPECT_EQ(sha256(data), sha256(data, false));
}

}  // namespace
}  // namespace kitra::base
