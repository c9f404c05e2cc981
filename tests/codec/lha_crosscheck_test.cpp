// Cross-checks with independent LZH programs from Debian: lhasa must test
// (CRC) and extract every module kitra packs, and streams made by jlha's
// encoder must decode with kitra's decoder. A module is a valid level-1 LZH
// archive member and its separator byte 0x00 is the archive's end mark, so a
// packed module written to a file is an archive as it is. Where a program
// is missing these tests skip, unless KITRA_REQUIRE_TOOLS=1 (as in CI).
#include <gtest/gtest.h>

#include "codec/codec_test_support.h"
#include "codec/lzh_decoder.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "support/external_program.h"

namespace kitra::codec {
namespace {

using test::Captured;

struct Input {
    std::string name;
    base::Bytes bytes;
};

std::vector<Input> inputs() {
    std::vector<Input> v;
    v.push_back({"empty.bin", {}});
    v.push_back({"one.bin", {0x42}});
    v.push_back({"equal.bin", base::Bytes(20000, 0xE5)});
    v.push_back({"text.txt", test::text_like(60000, 1)});
    v.push_back({"code.rom", test::code_like(60000, 2)});
    v.push_back({"random.bin", test::random_bytes(20000, 3)});
    v.push_back({"bitmap.bmp", test::bitmap_like(50000, 4)});
    for (std::size_t n : {8191u, 8192u, 8193u, 16383u, 16384u, 16385u})
        v.push_back({"code" + std::to_string(n) + ".rom", test::code_like(n, n)});
    base::Bytes mixed;
    for (int i = 0; mixed.size() < (1u << 20); ++i) {
        const base::Bytes part = i % 4 == 0   ? test::code_like(70000, 10 + i)
                                 : i % 4 == 1 ? test::text_like(50000, 10 + i)
                                 : i % 4 == 2 ? test::bitmap_like(60000, 10 + i)
                                              : test::random_bytes(8000, 10 + i);
        mixed.insert(mixed.end(), part.begin(), part.end());
    }
    mixed.resize(1u << 20);
    v.push_back({"mixed.bin", mixed});
    return v;
}

TEST(LhasaCrossCheck, TestsAndExtractsEveryPackedModule) {
    KITRA_NEEDS_PROGRAM("lhasa", "lhasa");
    test::TempDir dir;
    Encoder enc;
    for (const Input& in : inputs()) {
        SCOPED_TRACE(in.name);
        Captured cap;
        const base::Bytes module = pack(in.bytes, PackMode::kQuiet, in.name, "4080:0", enc, cap.report());
        const auto work = dir.path / in.name;
        std::filesystem::create_directory(work);
        const auto archive = work / "module.lzh";
        test::write_file(archive, module);
        EXPECT_EQ(test::run("cd " + test::quoted(work) + " && lhasa t module.lzh >test.log 2>&1"), 0)
            << test::read_file(work / "test.log").size() << " bytes of lhasa output in " << work;
        ASSERT_EQ(test::run("cd " + test::quoted(work) + " && lhasa xq module.lzh >x.log 2>&1"), 0);
        EXPECT_EQ(test::read_file(work / in.name), in.bytes);
    }
}

// The stream of the first member of a level-2 archive (jlha's default header):
// the 16-bit header size at offset 0 is the data's offset.
struct Member {
    std::string method;
    base::ByteView data;
    std::uint32_t original_size = 0;
};
Member first_member(base::ByteView archive) {
    Member m;
    if (archive.size() < 22 || archive[20] != 2) {
        ADD_FAILURE() << "not a level-2 header";
        return m;
    }
    const std::uint16_t header = base::read_u16(archive, 0);
    m.method = base::text_of(base::slice(archive, 2, 5));
    m.data = base::slice(archive, header, base::read_u32(archive, 7));
    m.original_size = base::read_u32(archive, 11);
    return m;
}

TEST(JlhaCrossCheck, StreamsFromAnotherEncoderDecode) {
    KITRA_NEEDS_PROGRAM("jlha", "jlha-utils");
    test::TempDir dir;
    int compressed = 0;
    for (const Input& in : inputs()) {
        if (in.bytes.empty()) continue;
        SCOPED_TRACE(in.name);
        test::write_file(dir.path / in.name, in.bytes);
        ASSERT_EQ(test::run("cd " + test::quoted(dir.path) + " && jlha co5q " + in.name + ".lzh " + in.name +
                            " >/dev/null 2>&1"),
                  0);
        const base::Bytes archive = test::read_file(dir.path / (in.name + ".lzh"));
        const Member m = first_member(archive);
        ASSERT_EQ(m.original_size, in.bytes.size());
        if (m.method != "-lh5-") {
            EXPECT_EQ(m.method, "-lh0-");
            continue;
        }
        ++compressed;
        EXPECT_EQ(decode_lh5(m.data, m.original_size), in.bytes);
    }
    EXPECT_GE(compressed, 10);
}

}  // namespace
}  // namespace kitra::codec
