// Writes the bundled sample (tests/support/sample_image.h): a 256 KiB system
// BIOS image ("sample.bin") with a system BIOS module, modules of several
// kinds, a "*BBSS*" bootblock record, a "*BS1" record with a non-compressed
// microcode area and a top hole, a bootblock VGA module, a bootblock arena
// and a checksum block, finished; and a small PCI VGA option ROM
// ("sample_vga.rom") to add to it.
//
//   make_sample [DIRECTORY [SIZE_IN_KIB]]      (default: the current directory, 256 KiB)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "support/sample_image.h"

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? std::string(argv[1]) + "/" : "";
    const std::uint32_t size =
        argc > 2 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 0)) * 1024 : 256 * 1024;
    if (size < 256 * 1024 || size % 0x10000 != 0) {
        std::fprintf(stderr, "make_sample: the size must be a multiple of 64 KiB, at least 256 KiB\n");
        return 2;
    }
    const kitra::testing::Sample sample = kitra::testing::make_sample(size);
    const bool ok = kitra::platform::write_file(dir + "sample.bin", sample.image) &&
                    kitra::platform::write_file(dir + "sample_vga.rom", sample.vga_rom);
    if (!ok) {
        std::fprintf(stderr, "make_sample: cannot write the sample files\n");
        return 1;
    }
    std::printf("Wrote %ssample.bin and %ssample_vga.rom\n", dir.c_str(), dir.c_str());
    return 0;
}
