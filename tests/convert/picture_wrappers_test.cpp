// JPEG and GIF logos through the built tool: the stored module and the
// picture extracted again.
#include "convert/picture_wrappers.h"

#include "convert/tool_fixture.h"

namespace kitra::convert {
namespace {

using base::Bytes;
using testing::Module;
using testing::ToolFixture;

TEST(PictureWrappers, JpegGoesInBehind16ZeroBytesAndComesOutWithout) {
    ToolFixture f;
    const Bytes jpeg = testing::pseudo_random_bytes(1000, 12);
    f.write("pic.jpg", jpeg);
    auto o = f.run({"/JPEG2", "pic.jpg"});
    EXPECT_EQ(o.out, "Adding MRV-JPEG.BIN  100.0%\n");
    Bytes wrapped(16, 0);
    wrapped.insert(wrapped.end(), jpeg.begin(), jpeg.end());
    EXPECT_EQ(f.modules(), (std::vector<Module>{{"MRV-JPEG.BIN", 0x4059, wrapped}}));

    o = f.run({"/JPEG2", "extract", "back.jpg"});
    EXPECT_EQ(o.out, "[Jpeg2] ROM is extracted to back.jpg");
    EXPECT_EQ(f.read("back.jpg"), jpeg);
    // No work file is left behind.
    EXPECT_EQ(f.dir.files(), (std::vector<std::string>{"back.jpg", "bios.bin", "pic.jpg"}));
}

TEST(PictureWrappers, GifGoesInAsItIsAndEmptyJpegIsItsPrefix) {
    ToolFixture f;
    const Bytes gif = testing::code_like(3000, 3);
    f.write("pic.gif", gif);
    f.write("empty.jpg", {});
    EXPECT_EQ(f.run({"/GIF1", "pic.gif", "/JPEG", "empty.jpg"}).status, 0);
    EXPECT_EQ(f.modules(),
              (std::vector<Module>{{"MRV-GIF.BIN", 0x40BD, gif}, {"MRV-JPEG.BIN", 0x4057, Bytes(16, 0)}}));
    EXPECT_EQ(f.run({"/GIF1", "extract", "back.gif", "/JPEG", "extract", "back.jpg"}).status, 0);
    EXPECT_EQ(f.read("back.gif"), gif);
    EXPECT_EQ(f.read("back.jpg"), Bytes{});
    EXPECT_EQ(unwrap_jpeg(Bytes(5, 0)), Bytes{});  // shorter than its prefix
}

}  // namespace
}  // namespace kitra::convert
