// Space advice: the smallest set of modules whose release gives an add
// room, on crafted chains, and its line; through the built tool, that it
// comes only when asked, after the legacy message, and that releasing what
// it names does make the add fit, also where a PE32 module behind must move.
#include "regions/space_advice.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "codec/module_header.h"
#include "image/layout.h"
#include "platform/files.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"
#include "support/sample_image.h"
#include "support/test_data.h"

namespace kitra::regions {
namespace {

using base::Bytes;
using testing::ImageBuilder;
using testing::run_kitra;
using testing::TempDir;

// Stored modules "m0", "m1", ... of the given sizes and types from 0x10000;
// the module limit at 0x20000.
struct Chain {
    Bytes image;
    ChainArea area;
    std::uint64_t overhead = 0;  // a module's bytes besides its contents
};

Chain chain_of(const std::vector<std::pair<std::size_t, const char*>>& modules) {
    ImageBuilder b(0x40000);
    std::uint64_t at = 0x10000;
    for (std::size_t i = 0; i < modules.size(); ++i)
        at = b.put_module(at, testing::stored_module("m" + std::to_string(i), modules[i].second,
                                                     Bytes(modules[i].first, static_cast<std::uint8_t>(i))));
    return {b.bytes,
            {0x10000, at, 0x20000, false},
            codec::module_at(b.bytes, 0x10000)->step() - modules[0].first};
}

std::vector<std::string> named(const cli::SpaceAdvice& a) {
    std::vector<std::string> out;
    for (const cli::AdvisedRelease& r : a.release) out.push_back(r.stored_name);
    return out;
}

TEST(SpaceAdvice, FewestModulesFirstThenFewestBytes) {
    const Chain c = chain_of({{0x100, "4012:0"}, {0x200, "4013:0"}, {0x180, "4014:0"}, {0x300, "4015:0"}});
    const std::uint64_t h = c.overhead;
    const std::uint64_t all = 0x780 + 4 * h;
    const struct {
        std::uint64_t shortfall;
        std::vector<std::string> release;
    } cases[] = {
        {0x150 + h, {"m2"}},                  // the smallest that does
        {0x310 + h, {"m0", "m1"}},            // no one does; of the pairs, the one that frees least
        {all - 1, {"m0", "m1", "m2", "m3"}},  // every one
        {all + 1, {}},                        // none does
    };
    for (const auto& t : cases) {
        const cli::SpaceAdvice a = find_release(
            c.image, c.area, t.shortfall, [&](std::uint64_t end) { return end + t.shortfall <= c.area.end; },
            false);
        EXPECT_EQ(named(a), t.release) << std::hex << t.shortfall;
        EXPECT_EQ(a.most, all);
    }
}

TEST(SpaceAdvice, PositionDependentModulesOnlyWhenAsked) {
    const Chain c = chain_of({{0x400, "407B:0"}, {0x100, "4012:0"}});
    const auto fits = [&](std::uint64_t end) { return end + 0x200 <= c.area.end; };
    const cli::SpaceAdvice plain = find_release(c.image, c.area, 0x200, fits, false);
    EXPECT_EQ(named(plain), std::vector<std::string>{});
    EXPECT_EQ(plain.most, 0x100 + c.overhead);
    EXPECT_EQ(named(find_release(c.image, c.area, 0x200, fits, true)), std::vector<std::string>{"m0"});
}

TEST(SpaceAdvice, Lines) {
    const auto release = [](const char* name, const char* stored, std::uint64_t frees) {
        return cli::AdvisedRelease{0, 0, name, stored, frees};
    };
    const auto short_by = [](std::uint64_t bytes, std::vector<cli::AdvisedRelease> set = {}) {
        cli::SpaceAdvice a;
        a.shortfall = bytes;
        a.release = std::move(set);
        return a;
    };
    const cli::SpaceAdvice one = short_by(0x1A2, {release("PCI ROM[A]", "a.rom", 0x3F10)});
    const cli::SpaceAdvice three =
        short_by(0x5000, {release("LOGO BitMap", "l\x1b.bmp", 0x2000), release("PCI ROM[A]", "a.rom", 0x1000),
                          release("OEM0 CODE", "o", 0x2100)});
    cli::SpaceAdvice none = short_by(0x900);
    none.most = 0x800;
    cli::SpaceAdvice none_all = none;
    none_all.all_kinds = true;
    cli::SpaceAdvice arena = short_by(0x40);
    arena.bootblock_arena = true;
    cli::SpaceAdvice fixed = short_by(0x10);
    fixed.releases_help = false;
    fixed.why = "its area is fixed";
    const struct {
        const cli::SpaceAdvice& advice;
        const char* line;
    } cases[] = {
        {one, "Advice: 1A2h bytes short; releasing PCI ROM[A] \"a.rom\" (3F10h bytes) would make room.\n"},
        {three,
         "Advice: 5000h bytes short; releasing LOGO BitMap \"l?.bmp\" (2000h bytes), PCI ROM[A] \"a.rom\" "
         "(1000h "
         "bytes) and OEM0 CODE \"o\" (2100h bytes) would make room.\n"},
        {none,
         "Advice: 900h bytes short; releasing every module kitra may name frees 800h bytes, not enough "
         "(position-dependent modules are named only when asked: /advice:all).\n"},
        {none_all,
         "Advice: 900h bytes short; releasing every module kitra may name frees 800h bytes, not enough.\n"},
        {arena,
         "Advice: 40h bytes short in the bootblock arena; only the arena's own modules could make room, and "
         "they "
         "are named only when asked (/advice:all).\n"},
        {fixed, "Advice: 10h bytes short; its area is fixed.\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(advice_line(c.advice), c.line);
}

// The sample, with a module too large for it.
struct Board {
    TempDir dir;
    Board() {
        EXPECT_TRUE(platform::write_file(dir.file("bios.bin"), testing::make_sample().image));
        EXPECT_TRUE(platform::write_file(dir.file("huge.bin"), testing::pseudo_random_bytes(0x8000, 8)));
    }
    testing::Outcome run(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), "bios.bin");
        return run_kitra(args, dir.path, input);
    }
};

TEST(SpaceAdvice, OnlyWhenAskedAfterTheLegacyMessage) {
    Board b;
    const std::string message = "bios.bin have not enough space for adding ROM. (Over 128Dh bytes)\n\n";
    const std::string advice =
        "Advice: 128Dh bytes short; releasing LOGO BitMap \"oemlogo.bmp\" (A2Bh bytes) and ACPI table "
        "\"acpitbl.bin\" (90Eh bytes) would make room.\n";
    const testing::Outcome plain = b.run({"/oem3", "huge.bin", "/err"});
    ASSERT_NE(plain.out.find(message), std::string::npos) << plain.out;
    std::string expected = plain.out;
    expected.insert(plain.out.find(message) + message.size(), advice);
    for (const char* word : {"/advice", "/ADVICE"}) {
        const testing::Outcome asked = b.run({"/oem3", "huge.bin", word, "/err"});
        EXPECT_EQ(asked.out, expected);
        EXPECT_EQ(asked.status, plain.status);
        EXPECT_EQ(asked.status, 31);
    }
    // The modules it names make room, and no fewer of them do.
    b.run({"/logo", "release"});
    EXPECT_NE(b.run({"/oem3", "huge.bin"}).out.find("not enough space"), std::string::npos);
    b.run({"/acpi", "release"});
    const testing::Outcome after = b.run({"/oem3", "huge.bin", "/err"});
    EXPECT_EQ(after.out.find("not enough space"), std::string::npos) << after.out;
    EXPECT_EQ(after.status, 0);
}

// A PE32 module behind the only module that may go takes the bytes it
// frees as its pad (its data stay on their 128-byte boundary): only the
// PE32 module itself, named when asked, makes room.
TEST(SpaceAdvice, APe32ModuleBehindIsMovedOnACopyFirst) {
    TempDir dir;
    ImageBuilder b(0x40000);
    b.put(0, testing::stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    b.put_bs1_record(0x2A000, 0xFFFFFFFF).put_u8(0x2A006, 0);
    b.put_bootblock_record(0x2A100, 0x800F, 0xF000, 0x0000, 0xE000);
    b.put_module(0x10000, testing::stored_module("vga.rom", "4080:0", Bytes(0x20, 0x56)));
    ASSERT_TRUE(platform::write_file(dir.file("img.bin"), b.bytes));
    ASSERT_TRUE(platform::write_file(dir.file("pe.efi"), testing::test_data("pe32/pe_reloc.efi")));
    ASSERT_EQ(run_kitra({"img.bin", "/1PE32", "pe.efi", "/err"}, dir.path).status, 0);
    // A ready module (stored: written without its separator byte) Fh bytes
    // longer than the free space.
    const Bytes image = *platform::read_file(dir.file("img.bin"));
    const auto layout = std::get<image::Layout>(image::discover_layout(image, 0, false));
    const std::uint64_t free = image::module_limit(layout) - image::chain_end(image, layout.walk_start);
    const Bytes probe = testing::stored_module("more.bin", "4013:0", Bytes(0x100, 1));
    const std::uint64_t overhead = codec::module_at(probe, 0)->step() - 0x100;
    ASSERT_TRUE(
        platform::write_file(dir.file("more.bin"),
                             testing::stored_module("more.bin", "4013:0", Bytes(free + 0x10 - overhead, 1))));

    const auto advice_of = [&](const char* word) {
        const std::string out = run_kitra({"img.bin", "/oem1", "more.bin", word}, dir.path).out;
        return out.substr(std::min(out.find("Advice: "), out.size()));
    };
    EXPECT_EQ(advice_of("/advice"),
              "Advice: Fh bytes short; releasing every module kitra may name frees 0h bytes, not enough "
              "(position-dependent modules are named only when asked: /advice:all).\n");
    EXPECT_EQ(advice_of("/advice:all"),
              "Advice: Fh bytes short; releasing 1 PE32 in MB \"pe.efi\" (E3Fh bytes) would make room.\n");
    run_kitra({"img.bin", "/1PE32", "release"}, dir.path);
    EXPECT_EQ(run_kitra({"img.bin", "/oem1", "more.bin", "/err"}, dir.path).status, 0);
}

}  // namespace
}  // namespace kitra::regions
