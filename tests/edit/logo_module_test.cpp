// Logo pictures through the built tool: a BMP added as a module and
// extracted again, a refused picture, and no work file left behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "codec/lzh_encoder.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "convert/logo_bitmap.h"
#include "convert/tool_fixture.h"
#include "platform/files.h"
#include "support/bmp_writer.h"
#include "support/byte_literals.h"
#include "support/image_builder.h"
#include "support/run_kitra.h"

namespace kitra::edit {
namespace {

using base::Bytes;
using testing::ImageBuilder;
using testing::Picture;
using testing::stored_module;
using testing::write_bmp;

constexpr std::uint64_t kWalkStart = 0x10000;
constexpr std::uint64_t kLogoFlags = 0x40000 - 0x1FA6;
const std::string kBanner = "kitra V1.99 [02/12/2010]\n";

// 256 KiB: a stored system BIOS at 0, the compressed area up to 0x20000, and
// the logo flags byte 0 (every system colour reserved, the strip drawn).
ImageBuilder base_image() {
    ImageBuilder b(std::size_t{256} * 1024);
    b.put(0, stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
    b.put_bootblock_record(0x20100, 0, 0xF000, 0x0000, 0xE000);
    b.put_u8(kLogoFlags, 0);
    return b;
}

struct Fixture {
    testing::TempDir dir;
    Bytes original = base_image().bytes;
    Fixture() { write("bios.bin", original); }
    void write(const std::string& name, const Bytes& bytes) {
        ASSERT_TRUE(platform::write_file(dir.file(name), bytes));
    }
    Bytes read(const std::string& name) { return platform::read_file(dir.file(name)).value_or(Bytes{}); }
    testing::Outcome run(std::vector<std::string> args) {
        args.insert(args.begin(), "bios.bin");
        return testing::run_kitra(args, dir.path);
    }
    std::optional<codec::ModuleInfo> first_module() { return codec::module_at(read("bios.bin"), kWalkStart); }
};

// What packing `contents` under `name` prints, and the module it gives.
std::pair<std::string, Bytes> packed(const Bytes& contents, const std::string& name,
                                     const std::string& type) {
    static codec::Encoder encoder;
    std::string text;
    const codec::Report report{[&](std::string_view s) { text += s; }, {}};
    Bytes module = codec::pack(contents, codec::PackMode::kCompress, name, type, encoder, report);
    return {text, module};
}

// The colour (0xRRGGBB) of pixel x of row y (top row 0) of a bottom-up BMP.
std::uint32_t colour_at(const Bytes& bmp, std::uint32_t x, std::uint32_t y) {
    const std::uint32_t width = base::read_u32(bmp, 18);
    const std::uint32_t height = base::read_u32(bmp, 22);
    const unsigned bits = base::read_u16(bmp, 28);
    const std::uint32_t stride = (width * bits + 31) / 32 * 4;
    const std::uint64_t row = base::read_u32(bmp, 10) + std::uint64_t{height - 1 - y} * stride;
    const std::uint8_t byte = base::read_u8(bmp, row + x * bits / 8);
    const unsigned index = bits == 8 ? byte : (x % 2 == 0 ? byte >> 4 : byte & 0x0F);
    return base::read_u32(bmp, 14 + base::read_u32(bmp, 14) + 4 * index) & 0xFFFFFF;
}

TEST(LogoModule, PictureGoesInAsAFirmwareBitmapAndComesBackAsABmp) {
    struct Case {
        const char* option;
        cli::Bitmap conversion;
        std::uint16_t bits;
        std::int32_t width;
        std::uint32_t header_size;
    };
    // Widths that are no whole group of 8 pixels, with the V5 and V4
    // headers editors write by default.
    for (const Case& c :
         {Case{"/epa", cli::Bitmap::kEpa, 8, 13, 124}, Case{"/logo", cli::Bitmap::kFullScreen, 4, 7, 108}}) {
        SCOPED_TRACE(c.option);
        Picture s;
        s.width = c.width;
        s.height = 3;
        s.bits = c.bits;
        s.header_size = c.header_size;
        s.palette = {0x00FC0000, 0x0000FC00, 0x000000FC, 0x00404040, 0x00000000, 0x00808080};
        s.palette.resize(c.bits == 8 ? 256 : 16, 0x00101010);
        for (std::int32_t i = 0; i < 3 * c.width; ++i)
            s.pixels.push_back(static_cast<std::uint32_t>(i * 7 % 6));
        const Bytes bmp = write_bmp(s);

        Fixture f;
        f.write("pic.bmp", bmp);
        auto o = f.run({c.option, "pic.bmp"});
        convert::BitmapSettings settings;
        const auto [progress, module] =
            packed(std::get<Bytes>(convert::convert_bitmap(c.conversion, bmp, "pic.bmp", settings)),
                   "pic.bmp", c.option[1] == 'e' ? "4002:0" : "4000:0");
        EXPECT_EQ(o.out, kBanner + progress);
        EXPECT_EQ(o.status, 0);
        const Bytes image = f.read("bios.bin");
        EXPECT_EQ(Bytes(image.begin() + kWalkStart, image.begin() + kWalkStart + module.size()), module);

        o = f.run({c.option, "extract", "back.bmp"});
        EXPECT_EQ(o.out,
                  kBanner + "[" + (c.option[1] == 'e' ? "EPA" : "Logo") + "] ROM is extracted to back.bmp");
        const Bytes back = f.read("back.bmp");
        ASSERT_GE(back.size(), 54u);
        const std::uint32_t stride = (static_cast<std::uint32_t>(c.width) * c.bits + 31) / 32 * 4;
        EXPECT_EQ(base::read_u32(back, 18), static_cast<std::uint32_t>(c.width));
        EXPECT_EQ(base::read_u32(back, 34), stride * 3);
        EXPECT_EQ(base::read_u32(back, 2), back.size());
        EXPECT_EQ(base::read_u32(back, 10) + stride * 3, back.size());
        for (std::uint32_t y = 0; y < 3; ++y)
            for (std::uint32_t x = 0; x < static_cast<std::uint32_t>(c.width); ++x)
                ASSERT_EQ(colour_at(back, x, y), colour_at(bmp, x, y)) << x << "," << y;
        // Every work file stays in memory.
        EXPECT_EQ(f.dir.files(), (std::vector<std::string>{"back.bmp", "bios.bin", "pic.bmp"}));
    }
}

TEST(LogoModule, TrueColourGuiPictureIsKeptWhole) {
    Picture s;
    s.width = 2;
    s.height = 2;
    s.bits = 24;
    s.pixels = {0x123456, 0x789ABC, 0xDEF012, 0x345678};
    const Bytes bmp = write_bmp(s);
    Fixture f;
    f.write("true.bmp", bmp);
    EXPECT_EQ(f.run({"/OSB_BMP_GUI", "true.bmp"}).status, 0);
    const auto o = f.run({"/OSB_BMP_GUI", "extract", "back.bmp"});
    EXPECT_EQ(o.out, kBanner + "[OsbBmpGui] ROM is extracted to back.bmp");
    EXPECT_EQ(f.read("back.bmp"), bmp);
}

TEST(LogoModule, RefusedPictureAddsNothingAndFailsItsItemWhileTheRunGoesOn) {
    Picture s;
    s.width = 2;
    s.height = 1;
    s.bits = 24;
    s.pixels = {0x123456, 0x789ABC};
    Fixture f;
    f.write("true.bmp", write_bmp(s));
    s.bits = 8;
    s.height = -1;
    s.palette = {0, 0xFFFFFF};
    s.pixels = {0, 1};
    f.write("topdown.bmp", write_bmp(s));
    f.write("a.bin", Bytes(100, 1));

    auto o = f.run({"/logo", "true.bmp", "/epa", "topdown.bmp", "/err"});
    EXPECT_EQ(o.out, kBanner +
                         " !! BMP colors not support (Only support 16 & 256 colors) !!\n"
                         "Bitmap topdown.bmp is stored top-down; it is not added.\n"
                         "\n!!! Combine EPA have some error.\n");
    EXPECT_EQ(o.status, 9);
    EXPECT_EQ(f.read("bios.bin"), f.original);

    o = f.run({"/logo", "true.bmp", "/oem1", "a.bin", "/err"});
    EXPECT_EQ(o.out, kBanner + " !! BMP colors not support (Only support 16 & 256 colors) !!\n" +
                         "Adding a.bin  9.0%\n\n!!! Combine Logo have some error.\n");
    EXPECT_EQ(o.status, 5);
    ASSERT_TRUE(f.first_module());
    EXPECT_EQ(f.first_module()->type_id, 0x4013);
    EXPECT_EQ(f.dir.files(), (std::vector<std::string>{"a.bin", "bios.bin", "topdown.bmp", "true.bmp"}));
}

TEST(LogoModule, ExtractedLogoThatIsNoBitmapIsWrittenAsStored) {
    Fixture f;
    ImageBuilder b = base_image();
    b.put_module(kWalkStart, stored_module("logo.bin", "4000:0", "not a picture"));
    f.write("bios.bin", b.bytes);
    const auto o = f.run({"/logo", "extract", "out.bin"});
    EXPECT_EQ(o.out, kBanner +
                         "The [Logo] module holds no firmware bitmap; it is extracted as it is stored.\n"
                         "[Logo] ROM is extracted to out.bin");
    EXPECT_EQ(f.read("out.bin"), testing::text("not a picture"));
}

}  // namespace
}  // namespace kitra::edit

namespace kitra::edit {
namespace {

using testing::ToolFixture;

// A small 16-colour picture, and the firmware bitmap of a board whose
// bitmaps carry `signature`, as the module of `type`.
Bytes picture_bmp() {
    Picture s;
    s.width = 12;
    s.height = 3;
    s.bits = 4;
    s.palette = {0x000000, 0xC02010, 0x20C040, 0x3050E0, 0xFFFFFF, 0x808080};
    for (int i = 0; i < 36; ++i) s.pixels.push_back(static_cast<std::uint32_t>(i * 5 % 6));
    return write_bmp(s);
}
Bytes board_bitmap(const char* signature, const char* type, const char* name = "board.bmp") {
    Bytes bitmap = std::get<Bytes>(convert::convert_bitmap(cli::Bitmap::kEpa, picture_bmp(), name, {}));
    base::copy_into(bitmap, 0, base::view_of(signature));
    return packed(bitmap, name, type).second;
}
std::string signature_of(const Bytes& contents) {
    return std::string(contents.begin(), contents.begin() + std::min<std::size_t>(4, contents.size()));
}

// A new bitmap carries the signature of the bitmap it replaces, else of the
// first logo bitmap in the chain (not one whose first bytes may be an OSB
// position), else the default; the built-in EPA input as well.
TEST(LogoModule, NewBitmapTakesTheImagesSignature) {
    Bytes positioned = std::get<Bytes>(
        convert::convert_bitmap(cli::Bitmap::kOsb, picture_bmp(), "o.bmp", {.position = {true, 100, 50}}));
    struct Case {
        const char* what;
        std::vector<Bytes> modules;
        std::vector<std::string> args;
        std::string expected;
    };
    const Case cases[] = {
        {"replaced",
         {board_bitmap("WXYZ", "4000:0"), board_bitmap("ABCD", "4002:0")},
         {"/epa", "pic.bmp"},
         "ABCD"},
        {"another kind", {board_bitmap("WXYZ", "4000:0")}, {"/epa", "pic.bmp"}, "WXYZ"},
        {"another kind, full screen", {board_bitmap("ABCD", "4002:0")}, {"/logo", "pic.bmp"}, "ABCD"},
        {"built-in input", {board_bitmap("WXYZ", "4000:0")}, {"/epa"}, "WXYZ"},
        {"none",
         {stored_module("l.bin", "4000:0", "not a picture"), packed(positioned, "o.bmp", "404E:0").second},
         {"/epa", "pic.bmp"},
         "MVBM"},
    };
    for (const Case& c : cases) {
        ToolFixture f;
        ImageBuilder b = testing::content_image();
        std::uint64_t at = 0x10000;
        for (const Bytes& m : c.modules) at = b.put_module(at, m);
        f.write("bios.bin", b.bytes);
        f.write("pic.bmp", picture_bmp());
        Bytes exe(32, 0);  // "MZ" with a header of 2 paragraphs, the picture behind it
        exe[0] = 'M', exe[1] = 'Z';
        exe[8] = 2;
        const Bytes bmp = picture_bmp();
        exe.insert(exe.end(), bmp.begin(), bmp.end());
        f.write("MORVAEPA.EXE", exe);
        EXPECT_EQ(f.run(c.args).status, 0) << c.what;
        const std::uint16_t type = c.args[0] == "/epa" ? 0x4002 : 0x4000;
        const auto modules = f.modules();
        const auto added = std::find_if(modules.begin(), modules.end(), [&](const testing::Module& m) {
            return m.type_id == type && m.name != "board.bmp" && m.name != "l.bin";
        });
        ASSERT_NE(added, modules.end()) << c.what;
        EXPECT_EQ(signature_of(added->contents), c.expected) << c.what;
    }
}

// A board's logo extracted and put back unchanged comes back with the same
// signature and the same colour at every pixel (entries may change places).
TEST(LogoModule, ExtractedLogoPutBackIsTheBoardsOwn) {
    ToolFixture f;
    ImageBuilder b = testing::content_image();
    b.put_module(0x10000, board_bitmap("ABCD", "4002:0"));
    f.write("bios.bin", b.bytes);
    EXPECT_EQ(f.run({"/epa", "extract", "logo.bmp"}).status, 0);
    const Bytes first = f.read("logo.bmp");
    const Bytes before = f.modules()[0].contents;
    EXPECT_EQ(f.run({"/epa", "logo.bmp"}).status, 0);
    EXPECT_EQ(f.run({"/epa", "extract", "again.bmp"}).status, 0);
    const Bytes again = f.read("again.bmp");
    const Bytes after = f.modules()[0].contents;
    EXPECT_EQ(signature_of(after), "ABCD");
    EXPECT_EQ(Bytes(after.begin() + 4, after.begin() + 8), Bytes(before.begin() + 4, before.begin() + 8));
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 12; ++x) {
            ASSERT_EQ(colour_at(again, x, y), colour_at(first, x, y)) << x << "," << y;
            ASSERT_EQ(colour_at(first, x, y), colour_at(picture_bmp(), x, y) & 0xFCFCFC) << x << "," << y;
        }
}

}  // namespace
}  // namespace kitra::edit
