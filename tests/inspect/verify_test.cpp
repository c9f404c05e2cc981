// Verify on damage planted in a finished image, one kind at a time: each
// case changes the image (and finishes it again, so that only the planted
// damage is left) and compares the whole report.
#include "inspect/verify.h"

#include <gtest/gtest.h>

#include <functional>

#include "cli/run_state.h"
#include "codec/crc16.h"
#include "codec/lzh_encoder.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "image/layout.h"
#include "regions/finishing.h"
#include "support/byte_literals.h"
#include "support/image_builder.h"
#include "support/sample_image.h"
#include "support/test_data.h"

namespace kitra::inspect {
namespace {

using base::Bytes;
using testing::ImageBuilder;
using testing::operator+;

image::Layout layout_of(const Bytes& image) {
    return std::get<image::Layout>(image::discover_layout(image, 0, false));
}

Bytes finished(Bytes image) {
    platform::Console quiet;
    quiet.out = nullptr;
    quiet.err = nullptr;
    const image::Layout layout = layout_of(image);
    cli::Run run({}, image::Image("t.bin", std::move(image)), layout, quiet);
    run.component_mark = true;
    regions::finish_image(run);
    return run.image.bytes();
}

// Where the data of the module at `at` start, after its header and pad.
std::uint64_t data_of(const Bytes& image, std::uint64_t at) {
    const std::uint8_t h = image[at];
    return at + h + 2 + base::read_u16(image, at + h);
}

// The module at `at` with its contents' CRC and its header sum made right
// again after its bytes were changed.
void mend_module(Bytes& image, std::uint64_t at) {
    const auto m = codec::module_at(image, at);
    ASSERT_TRUE(m);
    base::write_u16(image, at + m->header_size - 3,
                    codec::crc16(base::slice(base::ByteView(image), data_of(image, at), m->original_size)));
    codec::update_header_sum(base::slice(base::MutableByteView(image), at, m->length()));
}

// A stored memory-init module for `at`: its data aligned to 16 bytes after
// the pad, rebased there, with the byte that makes its sum 0 behind it.
Bytes pe32_module(std::uint64_t at, std::uint32_t image_length) {
    const std::uint64_t header = 9 + codec::kFixedHeaderBytes;
    const std::uint64_t pad = 16 - (at + header) % 16;
    Bytes pe = testing::pe_reloc_at(static_cast<std::uint32_t>(at + header + pad - image_length)) + Bytes{0};
    pe.back() = static_cast<std::uint8_t>(0x100 - base::sum8(pe));
    Bytes m = testing::stored_module("minit.efi", "4069:0", pe);
    base::write_u16(m, header - 2, static_cast<std::uint16_t>(pad));
    base::write_u32(m, codec::field::kPackedSize, static_cast<std::uint32_t>(pe.size() + pad));
    m.insert(m.begin() + static_cast<std::ptrdiff_t>(header), pad, 0);
    codec::update_header_sum(m);
    return m;
}

// 256 KiB, finished: system BIOS; a VGA ROM, a microcode module, a packed
// OEM module and a memory-init module in the chain; "*BBSS*", a "*BS1"
// with the PE32 checksum flag, a hole directory whose hole 0 holds a file.
struct Base {
    std::uint64_t vga = 0x10000, cpu = 0, oem = 0, minit = 0, end = 0;
    Bytes image;
    Base() {
        codec::Encoder encoder;
        ImageBuilder b(0x40000);
        b.put(0, testing::stored_module("sys.rom", "5000:0", Bytes(0x100, 0x11)));
        cpu = b.put_module(vga,
                           testing::stored_module("vga.rom", "4080:0",
                                                  testing::sample_rom(0x1002, 0x5159, 0x030000, 1, 2, 31)));
        oem = b.put_module(
            cpu, testing::stored_module("cpu.bin", "4001:0",
                                        testing::sample_microcode_update(0x6F6, 1, 0x1012000, 1, 32)));
        minit = b.put_module(oem, codec::pack(testing::code_like(0x800, 33), codec::PackMode::kQuiet,
                                              "oem0.bin", "4012:0", encoder, {}));
        end = b.put_module(minit, pe32_module(minit, 0x40000));
        b.put_bootblock_record(0x2D000, 0x0000, 0xE000, 0x0000, 0xF000, 0x02);
        b.put_bs1_record(0x2A100, 0, 0);
        b.put_text(0x2C000, "*HOLE*").put_u16(0x2C006, 1).put_u16(0x2C008, 0x2B);
        b.put(0x2C00A, testing::bytes({0x90, 0, 0x24, 0, 1, 0, 0xFF, 0xFF}));
        b.fill(0x2B000, 32, 0).put_u16(0x2B000, 0x90).put_u32(0x2B002, 0x800).put_u16(0x2B020, 0xFFFF);
        image = finished(b.bytes);
    }
};

std::string damaged(int findings) {
    return "t.bin is damaged: " + std::to_string(findings) + (findings == 1 ? " finding.\n" : " findings.\n");
}

std::string verified(const Bytes& image) {
    return verification_text(verify_image(image, layout_of(image)), "t.bin");
}

const std::string kSound =
    "t.bin is sound: 5 modules unpacked with their header sums and CRCs, 1 option ROM images, 1 microcode "
    "updates and 1 PE32 images checked; it is finished.\n";

TEST(Verify, FinishedImageIsSound) {
    EXPECT_EQ(verified(Base().image), kSound);
}

TEST(Verify, PlantedDamageOfEachKind) {
    const Base base;
    const std::uint64_t vga_data = data_of(base.image, base.vga);
    const std::uint64_t cpu_data = data_of(base.image, base.cpu);
    const std::uint64_t pe_data = data_of(base.image, base.minit);
    const std::uint64_t pe_last = pe_data + codec::module_at(base.image, base.minit)->original_size - 1;
    const struct {
        const char* what;
        std::function<void(Bytes&)> plant;
        std::string report;
    } cases[] = {
        {"header sum", [&](Bytes& i) { ++i[base.cpu + 1]; },
         "00010424  module 2 (CPU micro code \"cpu.bin\"): header sum 7Eh, expected 7Dh\n" + damaged(1)},
        {"CRC-16",
         [&](Bytes& i) {
             base::write_u16(i, vga_data - 5, 0x1234);
             codec::update_header_sum(base::slice(base::MutableByteView(i), base.vga, 0x400 + 34));
         },
         "0001001D  module 1 (VGA ROM[1] \"vga.rom\"): CRC-16 1234h, expected D8B4h, the CRC-16 of the "
         "unpacked "
         "contents\n" +
             damaged(1)},
        {"stream", [&](Bytes& i) { base::fill(i, base.oem + 36, 4, 0xFF); },
         "00010C46  module 3 (OEM0 CODE \"oem0.bin\"): contents that do not unpack (Bad table), expected "
         "contents that unpack\n" +
             damaged(1)},
        {"option ROM sum",
         [&](Bytes& i) {
             ++i[vga_data + 0x100];
             mend_module(i, base.vga);
         },
         "00010000  module 1 (VGA ROM[1] \"vga.rom\"), option ROM image at 0000: 8-bit sum 01h, expected "
         "00h\n" +
             damaged(1)},
        {"option ROM length",
         [&](Bytes& i) {
             i[vga_data + 2] = 4;
             mend_module(i, base.vga);
         },
         "00010000  module 1 (VGA ROM[1] \"vga.rom\"), option ROM image at 0000: its size byte 04h asks 2048 "
         "bytes, more than are there, expected the whole ROM\n" +
             damaged(1)},
        {"microcode sum",
         [&](Bytes& i) {
             ++i[cpu_data + 0x100];
             mend_module(i, base.cpu);
         },
         "00010423  Intel microcode update at 00000 of the module at 00010423: its checksum does not hold: "
         "its "
         "words sum to 00000001, not 0, expected an update whose checksums hold\n" +
             damaged(1)},
        {"PE32 base",
         [&](Bytes& i) {
             i[pe_data + 0xB4 + 2] += 0x10;
             i[pe_last] -= 0x10;
             mend_module(i, base.minit);
         },
         "0001100B  module 4 (MINIT \"minit.efi\"): ImageBase FF0D1030, expected FFFD1030, the ROM address "
         "its "
         "data lie at\n" +
             damaged(1)},
        {"PE32 sum",
         [&](Bytes& i) {
             ++i[pe_last];
             mend_module(i, base.minit);
         },
         "0001100B  module 4 (MINIT \"minit.efi\"): 8-bit sum 01h of the PE32 image, expected 00h (the "
         "\"*BS1\" "
         "PE32 checksum flag is set)\n" +
             damaged(1)},
        {"after the chain", [&](Bytes& i) { base::copy_into(i, base.end + 0x20, base::view_of("junk")); },
         "00011E52  free space after the chain's end at 11E32h: 4 bytes other than FFh from here, expected "
         "erased "
         "bytes (FFh) up to the module limit 20000h\n" +
             damaged(1)},
        {"module after the chain",
         [&](Bytes& i) { base::copy_into(i, base.end + 0x100, testing::stored_module("x", "4013:0", "y")); },
         "00011F32  free space after the chain's end at 11E32h: 30 bytes other than FFh from here, a module "
         "header among them, expected erased bytes (FFh) up to the module limit 20000h\n" +
             damaged(1)},
        {"past the limit",
         [&](Bytes& i) {
             base::copy_into(i, base.end,
                             testing::stored_module("big", "4013:0", Bytes(0x20000 - base.end, 1)));
         },
         "00011E32  module 5 (OEM1 CODE \"big\"): an end at 2001Eh, expected an end at or below the module "
         "limit "
         "20000h\n" +
             damaged(1)},
        {"hole in the free space",
         [&](Bytes& i) {
             i[0x2C00A + 2] = 0x18;
             base::fill(i, 0x18000, 0x800, 0x42);
         },
         kSound},
        {"hole size", [&](Bytes& i) { base::write_u32(i, 0x2B002, 0x1800); },
         "0002B000  hole ID 0090: a recorded file of 1800h bytes, expected at most its size 1000h\n" +
             damaged(1)},
    };
    for (const auto& c : cases) {
        Bytes image = base.image;
        c.plant(image);
        EXPECT_EQ(verified(finished(image)), c.report) << c.what;
    }
}

TEST(Verify, ImageNotFinishedOrThatFinishingRefuses) {
    Bytes renamed = Base().image;
    ++renamed[0x10000 + 22];
    codec::update_header_sum(base::slice(base::MutableByteView(renamed), 0x10000, 60));
    EXPECT_EQ(verified(renamed),
              "0002EFFE  checksum block sum byte: 0Dh, expected 0Fh\n"
              "0002EFFF  checksum block follower byte: 0Dh, expected 0Fh\n"
              "0002F000  balance word: 5D90h, expected 5A8Dh\n" +
                  damaged(3));

    // Extended layout whose checksum block would lie 1 MiB before the end of
    // a 512 KiB image.
    ImageBuilder wrapped(0x80000);
    codec::Encoder encoder;
    wrapped.put(0,
                codec::pack(Bytes(0x1000, 0x11), codec::PackMode::kQuiet, "sys.rom", "5000:0", encoder, {}));
    wrapped.put_bootblock_record(0x6D000, 0x0000, 0xE001, 0x0000, 0xF000, 0x02);
    EXPECT_EQ(verified(wrapped.bytes),
              "00000000  finishing: a layout it refuses: The checksum block at FFF8F000h (1000h bytes) lies "
              "outside "
              "the image, expected a layout finishing can work on\n" +
                  damaged(1));
}

}  // namespace
}  // namespace kitra::inspect
