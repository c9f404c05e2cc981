// The manifest and the names of an unpacked image: stored names made safe
// file names, names a person edits checked, the manifest read back as it
// was written, and each field refused with its entry when it is wrong.
#include "folder/manifest.h"

#include <gtest/gtest.h>

#include "folder/file_names.h"
#include "folder/module_bytes.h"
#include "folder/unpack.h"
#include "image/layout.h"
#include "support/crafted_images.h"
#include "support/image_builder.h"
#include "support/sample_image.h"

namespace kitra::folder {
namespace {

TEST(FolderNames, StoredNamesBecomeSafeFileNames) {
    const struct {
        std::string stored;
        std::string file;
    } cases[] = {
        {"raid.rom", "raid.rom"},
        {"i:\\eprom\\vga.rom", "vga.rom"},
        {"../../etc/passwd", "passwd"},
        {"..", "_"},
        {".hidden", "_hidden"},
        {"a b\x1B[2J?*.rom", "a_b__2J__.rom"},
        {std::string("x\0y", 3), "x"},
        {"name..", "name"},
        {"", "module"},
        {std::string(80, 'n'), std::string(64, 'n')},
    };
    for (const auto& c : cases) EXPECT_EQ(cleaned_name(c.stored), c.file) << c.stored;

    UniqueNames names;
    EXPECT_EQ(names.take("modules/a.rom"), "modules/a.rom");
    EXPECT_EQ(names.take("modules/A.ROM"), "modules/A-2.ROM");
    EXPECT_EQ(names.take("modules/a.rom"), "modules/a-3.rom");
    EXPECT_EQ(names.take("modules/.x/noext"), "modules/.x/noext");
    EXPECT_EQ(names.take("modules/.x/noext"), "modules/.x/noext-2");
}

TEST(FolderNames, NamesFromTheManifestStayInsideTheFolder) {
    for (const char* ok : {"body.bin", "modules/pci-B-raid.rom", "a/b/c", "\xC3\xA9.bin"})
        EXPECT_EQ(unsafe_name(ok), std::nullopt) << ok;
    const struct {
        std::string name;
        std::string why;
    } cases[] = {
        {"", "it is empty"},
        {"/etc/passwd", "it is absolute; names are relative to the folder"},
        {"a\\b", "it holds a \"\\\"; components are parted by \"/\""},
        {"c:x", "it holds a \":\" (a drive or a stream)"},
        {"a\nb", "it holds a control byte"},
        {"a/../b", "it has an empty, \".\" or \"..\" component; names stay inside the folder"},
        {"a//b", "it has an empty, \".\" or \"..\" component; names stay inside the folder"},
        {"a/", "it has an empty, \".\" or \"..\" component; names stay inside the folder"},
    };
    for (const auto& c : cases) EXPECT_EQ(unsafe_name(c.name), c.why) << c.name;
}

Manifest sample_manifest() {
    const base::Bytes image = testing::make_sample().image;
    const auto layout = std::get<image::Layout>(image::discover_layout(image, 0, false));
    return unpack_image("sample.bin", image, layout).manifest;
}

TEST(FolderManifest, ReadBackAsWritten) {
    Manifest m = sample_manifest();
    // What the sample lacks: a kept header, a checksum byte, a module
    // without its separator, one not unpacked, and a module to add.
    m.modules[0].header = base::Bytes(m.modules[0].header_size + 2u, 0xA5);
    m.modules[1].checksum_byte = 0x7E;
    m.modules[2].separator.reset();
    m.modules[3].unpacked = false;
    m.modules[3].stream.reset();
    m.modules.push_back({});
    m.modules.back().file = "modules/new.bin";
    m.modules.back().name = "new\x01.bin";
    m.modules.back().type_id = 0x4013;
    const std::string text = manifest_json(m);
    const auto read = read_manifest(text);
    ASSERT_TRUE(std::holds_alternative<Manifest>(read)) << std::get<std::string>(read);
    EXPECT_EQ(manifest_json(std::get<Manifest>(read)), text);
}

TEST(FolderManifest, RefusesEachWrongFieldWithItsEntry) {
    const std::string text = manifest_json(sample_manifest());
    const struct {
        std::string from;
        std::string to;
        std::string reason;
    } cases[] = {
        {"\"length\": 262144", "\"length\": \"262144\"",
         "image: \"length\" must be a number from 0 to 4294967295, not a string"},
        {"\"header_size\": 33", "\"header_size\": 256",
         "modules[0] (modules/pci-B-raid.rom): \"header_size\" must be a number from 0 to 255, not a larger "
         "one"},
        {"\"header_size\": 34", "\"header_size\": 3",
         "modules[1] (modules/pci-A-e1000.rom): \"header_size\" must be at least 20: a module's header holds "
         "its "
         "fields up to the name's length"},
        {"\"method\": \"-lh5-\",\n      \"module_sha256\": \"9688",
         "\"method\": \"-lh5\",\n      \"module_sha256\": \"9688",
         "modules[0] (modules/pci-B-raid.rom): \"method\" must be five bytes, such as \"-lh5-\""},
        {"\"area\": \"arena\"", "\"area\": \"rom\"",
         "modules[7] (modules/btmem-memsize.bin): \"area\" must be \"chain\", \"arena\" or "
         "\"bootblock-vga\", not "
         "\"rom\""},
        {"\"sha256\": \"1845", "\"sha256\": \"x845",
         "modules[0] (modules/pci-B-raid.rom): \"sha256\" must be a SHA-256 digest: 64 hexadecimal digits"},
        {"\"header\": null,\n      \"header_size\": 33", "\"header\": \"00\",\n      \"header_size\": 33",
         "modules[0] (modules/pci-B-raid.rom): \"header\" must be header_size + 2 = 35 bytes"},
        {"\"fill\": 255,\n      \"length\": 44461", "\"fill\": null,\n      \"length\": 44461",
         "regions[0] (after-system-bios): \"file\" a region has either a file or a fill byte"},
        {"\"modules\": [", "\"modules\": [{\"file\": \"x\", \"name\": \"x\"},",
         "modules[0] (x): \"type_id\" is missing"},
        {"\"regions\": [", "\"regions\": 7, \"x\": [", "manifest.json: \"regions\" must be an array"},
        {"\"offset\": 0,\n    \"option\"", "\"offset\": null,\n    \"option\"",
         "body (body.bin): the body is the module that lay first in the chain; it needs its \"offset\" and "
         "the area "
         "\"chain\""},
    };
    for (const auto& c : cases) {
        std::string edited = text;
        const std::size_t at = edited.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        edited.replace(at, c.from.size(), c.to);
        const auto read = read_manifest(edited);
        ASSERT_TRUE(std::holds_alternative<std::string>(read)) << c.from;
        EXPECT_EQ(std::get<std::string>(read), "manifest.json: " + c.reason);
    }
}

// The header a module's fields make is the one the packer wrote; an ISA
// ROM at a segment of its own keeps the sum made before the segment.
TEST(FolderManifest, FieldsMakeTheHeaderAsItLay) {
    ModuleEntry e;
    e.name = "isa.rom";
    e.type_id = 0x40A0;
    e.type_suffix = 0xC800;
    e.method = "-lh0-";
    e.original_size = e.packed_size = 3;
    const base::Bytes contents = {1, 2, 3};
    base::Bytes module = testing::stored_module("isa.rom", "40A0:0", contents);
    module.pop_back();  // the separator
    e.crc16 = base::read_u16(module, module[0] - 3u);
    base::write_u16(module, 15, 0xC800);
    EXPECT_EQ(module_bytes(e, contents, std::nullopt), module);
    e.padding = 2;
    e.checksum_byte = 9;
    const base::Bytes padded = module_bytes(e, contents, std::nullopt);
    EXPECT_EQ(base::Bytes(padded.end() - 6, padded.end()), (base::Bytes{0, 0, 1, 2, 3, 9}));
}

}  // namespace
}  // namespace kitra::folder
