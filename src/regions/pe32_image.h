// The PE32 images of position-dependent modules. The firmware runs them in
// place from ROM, laid out flat as the file is, so their base relocations
// are applied at the file offset equal to each target's RVA, and their
// ImageBase is the ROM address of their first byte. The headers are
// declared here once; a file is checked whole (headers, section table,
// every relocation block and target) before anything of it is used, so
// relocating a checked image cannot fail or leave its buffer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/bytes.h"

namespace kitra::regions {

// The headers, as offsets:
//
//   0x3C            e_lfanew (32): where "PE\0\0" starts
//   e_lfanew        "PE\0\0"
//   e_lfanew + 4    COFF file header, 20 bytes; NumberOfSections at +2 (16)
//   e_lfanew + 24   optional header: magic 0x10B (PE32) at +0,
//                   AddressOfEntryPoint +16, BaseOfCode +20, ImageBase +28,
//                   NumberOfRvaAndSizes +92; 96 bytes before the data
//                   directory, which has NumberOfRvaAndSizes entries of 8
//   after those     section headers of 40 bytes: Name (8, NUL-padded),
//                   VirtualSize +8, data pointer (file offset) +20
//
// A ".reloc" section's data is a run of blocks: PageRVA (32), BlockSize
// (32, the block's bytes including these 8), then 16-bit entries whose top
// 4 bits are the type and low 12 bits the offset in the page.
namespace pe {
constexpr std::uint64_t kNewHeaderPointer = 0x3C;
constexpr std::string_view kSignature{"PE\0\0", 4};
constexpr std::uint64_t kFileHeader = 4;
constexpr std::uint64_t kNumberOfSections = 2;
constexpr std::uint64_t kOptionalHeader = 24;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint64_t kAddressOfEntryPoint = 16;
constexpr std::uint64_t kBaseOfCode = 20;
constexpr std::uint64_t kImageBase = 28;
constexpr std::uint64_t kNumberOfRvaAndSizes = 92;
constexpr std::uint64_t kDataDirectory = 96;
constexpr std::uint64_t kDataDirectoryEntry = 8;
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint64_t kSectionNameSize = 8;
constexpr std::uint64_t kVirtualSize = 8;
constexpr std::uint64_t kPointerToRawData = 20;
constexpr std::uint64_t kRelocBlockHeader = 8;
}  // namespace pe

// Base relocation types that change their target; every other type leaves
// it as it is.
enum class FixupType : std::uint8_t {
    kHigh = 1,     // the 16-bit field gets the high half of the delta
    kLow = 2,      // the 16-bit field gets the low half of the delta
    kHighLow = 3,  // the 32-bit field gets the delta
};

struct Fixup {
    std::uint32_t offset = 0;  // file offset of the field (its RVA)
    FixupType type = FixupType::kHighLow;
};

// A checked PE32 image: where its fields are, and its fixups.
struct Pe32Image {
    std::uint64_t optional_header = 0;  // file offset
    std::uint32_t image_base = 0;       // as read, before relocation
    // File offset of the last section header named ".text"; none without one.
    std::optional<std::uint64_t> text_header;
    std::vector<Fixup> fixups;  // in file order; empty without a ".reloc" section
};

// Reads and checks the image in `data` (a module's contents: the file, and
// after it at most the appended checksum byte). Returns the reason it is
// refused when it is no PE32 image or a part of it reaches past the data.
std::variant<Pe32Image, std::string> read_pe32(base::ByteView data);

// How the entry point is counted: from the image base (plain), or from the
// ".text" section's file offset, for code that runs at its file offsets.
enum class EntryForm : std::uint8_t { kPlain, kFileOffset };

// Applies the fixups of `image` for the move from its ImageBase to
// `address` (32-bit arithmetic; types 1 and 2 change only their own 16
// bits), writes `address` into ImageBase, and returns the entry-point
// address as read from the relocated headers. The file-offset form needs a
// ".text" section (read_pe32 has found one: the caller checks).
std::uint32_t relocate(base::MutableByteView data, const Pe32Image& image, std::uint32_t address,
                       EntryForm form);

// Makes the 8-bit sum of `data` 0 through its last byte, the byte appended
// for the purpose when the module was made. The byte's old value does not
// count, so a module rebuilt at a new place sums to 0 as a new one does.
void set_image_checksum(base::MutableByteView data);

}  // namespace kitra::regions
