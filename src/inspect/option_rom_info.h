// What an option ROM says about itself. An expansion ROM is one or more
// images back to back; each starts 55 AA and gives its length in 512-byte
// blocks in its third byte (the size byte), and a legacy x86 image sums to 0
// over that length. The word at 0x18 points to its PCI data structure, the
// word at 0x1A of a legacy image to its PnP expansion header.
//
// PCI data structure:
//    0  "PCIR"            4  vendor ID (16)     6  device ID (16)
//   10  its length (16)  12  its revision      13  class code (24: programming
//   16  image length in 512-byte blocks (16)       interface, subclass, class)
//   18  revision level of the code or data (16)
//   20  code type (0 x86 legacy, 1 Open Firmware, 2 PA-RISC, 3 EFI)
//   21  indicator: bit 7 set on the last image of the ROM
//
// PnP expansion header:
//    0  "$PnP"    4  revision    5  length in 16-byte blocks   6  next (16)
//    9  checksum 10  device ID (32)
//   14  manufacturer string (16) and 16 product name string (16): offsets
//       from the image's start of NUL-terminated texts, 0 for none
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes.h"

namespace kitra::inspect {

namespace rom {
constexpr std::uint64_t kBlock = 512;
constexpr std::uint64_t kSizeByte = 2;
constexpr std::uint64_t kPciDataPointer = 0x18;
constexpr std::uint64_t kPnpPointer = 0x1A;
// Images a ROM is followed through, at most: real ROMs carry two or three.
constexpr std::size_t kMaxImages = 8;
}  // namespace rom

namespace pcir {
constexpr std::string_view kSignature = "PCIR";
constexpr std::uint64_t kVendor = 4;
constexpr std::uint64_t kDevice = 6;
constexpr std::uint64_t kLength = 10;
constexpr std::uint64_t kStructureRevision = 12;
constexpr std::uint64_t kClassCode = 13;
constexpr std::uint64_t kImageLength = 16;
constexpr std::uint64_t kRevision = 18;
constexpr std::uint64_t kCodeType = 20;
constexpr std::uint64_t kIndicator = 21;
constexpr std::uint64_t kSize = 24;
constexpr std::uint8_t kLastImageBit = 0x80;
constexpr std::uint8_t kCodeTypeX86 = 0;
}  // namespace pcir

namespace pnp {
constexpr std::string_view kSignature = "$PnP";
constexpr std::uint64_t kRevision = 4;
constexpr std::uint64_t kLength = 5;
constexpr std::uint64_t kChecksum = 9;
constexpr std::uint64_t kDeviceId = 10;
constexpr std::uint64_t kManufacturer = 14;
constexpr std::uint64_t kProduct = 16;
constexpr std::uint64_t kSize = 32;
// A string is read up to its NUL, at most this far.
constexpr std::uint64_t kMaxString = 128;
}  // namespace pnp

struct PciData {
    std::uint64_t offset = 0;  // in the ROM
    std::uint16_t vendor = 0;
    std::uint16_t device = 0;
    std::uint32_t class_code = 0;  // class, subclass, programming interface: 0x030000 for VGA
    std::uint8_t structure_revision = 0;
    std::uint16_t image_blocks = 0;
    std::uint16_t revision = 0;
    std::uint8_t code_type = 0;
    bool last_image = false;
};

struct PnpHeader {
    std::uint64_t offset = 0;  // in the ROM
    std::uint32_t device_id = 0;
    std::optional<std::string> manufacturer;  // bytes as stored
    std::optional<std::string> product;
};

struct OptionRomImage {
    std::uint64_t offset = 0;  // in the ROM
    std::uint8_t size_byte = 0;
    bool whole = false;    // the size byte's length lies inside the ROM
    std::uint8_t sum = 0;  // 8-bit sum over that length (what lies of it)
    std::optional<PciData> pci;
    std::optional<PnpHeader> pnp;
    // A legacy x86 image (code type 0, or no PCI data structure) must sum
    // to 0; other code types carry no such checksum.
    bool has_checksum() const { return !pci || pci->code_type == pcir::kCodeTypeX86; }
    bool checksum_holds() const { return whole && sum == 0; }
};

struct OptionRom {
    std::vector<OptionRomImage> images;  // the first at offset 0
};

// The ROM in `contents`, when they begin 55 AA. Further images are followed
// while an image's PCI data structure gives its length and does not mark it
// the last, and the next begins 55 AA.
std::optional<OptionRom> read_option_rom(base::ByteView contents);

}  // namespace kitra::inspect
