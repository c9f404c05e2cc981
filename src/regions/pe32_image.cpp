#include "regions/pe32_image.h"

#include "base/text.h"

namespace kitra::regions {

namespace {

using base::ByteView;

constexpr std::string_view kExecutableMark = "MZ";
constexpr std::string_view kTextName = ".text";
constexpr std::string_view kRelocName = ".reloc";

using base::ull;

// A section name is 8 bytes, padded with NULs when shorter.
bool has_name(ByteView data, std::uint64_t header, std::string_view name) {
    for (std::uint64_t i = 0; i < pe::kSectionNameSize; ++i) {
        const char expected = i < name.size() ? name[i] : '\0';
        if (data[header + i] != static_cast<std::uint8_t>(expected)) return false;
    }
    return true;
}

// The fixups of one ".reloc" section, read block by block as the loader
// reads them: while more than a block header is left of VirtualSize. A
// block of size 0 ends the section.
std::optional<std::string> read_relocations(ByteView data, std::uint64_t header, std::vector<Fixup>& out) {
    const std::uint32_t size = base::read_u32(data, header + pe::kVirtualSize);
    const std::uint32_t pointer = base::read_u32(data, header + pe::kPointerToRawData);
    if (!base::in_range(data, pointer, size))
        return base::format("its .reloc section (%Xh bytes at %Xh) reaches past the end of the file", size,
                            pointer);
    std::uint64_t pos = pointer;
    std::uint64_t remaining = size;
    while (remaining >= pe::kRelocBlockHeader) {
        const std::uint32_t page = base::read_u32(data, pos);
        const std::uint32_t block_size = base::read_u32(data, pos + 4);
        if (block_size == 0) break;
        if (block_size < pe::kRelocBlockHeader)
            return base::format("the relocation block at %llXh has a BlockSize of %u, under 8", ull(pos),
                                block_size);
        if (block_size > remaining)
            return base::format("the relocation block at %llXh (%Xh bytes) reaches past its section",
                                ull(pos), block_size);
        const std::uint64_t entries = (block_size - pe::kRelocBlockHeader) / 2;
        pos += pe::kRelocBlockHeader;
        remaining -= pe::kRelocBlockHeader + 2 * entries;
        for (std::uint64_t i = 0; i < entries; ++i, pos += 2) {
            const std::uint16_t entry = base::read_u16(data, pos);
            const unsigned type = entry >> 12;
            const std::uint64_t target = std::uint64_t{page} + (entry & 0xFFFu);
            if (type < static_cast<unsigned>(FixupType::kHigh) ||
                type > static_cast<unsigned>(FixupType::kHighLow))
                continue;  // written back as it is: nothing to check or change
            const std::uint64_t width = type == static_cast<unsigned>(FixupType::kHighLow) ? 4 : 2;
            if (!base::in_range(data, target, width))
                return base::format("a relocation of type %u for RVA %llXh lies past the end of the image",
                                    type, ull(target));
            out.push_back({static_cast<std::uint32_t>(target), static_cast<FixupType>(type)});
        }
    }
    return std::nullopt;
}

}  // namespace

std::variant<Pe32Image, std::string> read_pe32(ByteView data) {
    if (!base::matches(data, 0, kExecutableMark)) return std::string("it does not begin with \"MZ\"");
    const auto new_header = base::try_read_u32(data, pe::kNewHeaderPointer);
    if (!new_header) return std::string("its \"MZ\" header is cut short");
    const std::uint64_t optional = std::uint64_t{*new_header} + pe::kOptionalHeader;
    if (!base::in_range(data, *new_header, pe::kOptionalHeader + pe::kDataDirectory))
        return base::format("its PE headers at %Xh reach past the end of the file", *new_header);
    if (!base::matches(data, *new_header, pe::kSignature))
        return base::format("there is no \"PE\" signature at %Xh", *new_header);
    const std::uint16_t magic = base::read_u16(data, optional);
    if (magic != pe::kPe32Magic)
        return base::format("its optional header is not a PE32 one (magic %04Xh, not 010Bh)", magic);

    const std::uint32_t directories = base::read_u32(data, optional + pe::kNumberOfRvaAndSizes);
    const std::uint64_t sections_at =
        optional + pe::kDataDirectory + std::uint64_t{directories} * pe::kDataDirectoryEntry;
    if (!base::in_range(data, optional + pe::kDataDirectory, sections_at - optional - pe::kDataDirectory))
        return base::format("its data directory (%u entries) reaches past the end of the file", directories);
    const std::uint16_t sections =
        base::read_u16(data, *new_header + pe::kFileHeader + pe::kNumberOfSections);
    if (!base::in_range(data, sections_at, std::uint64_t{sections} * pe::kSectionHeaderSize))
        return base::format("its section table (%u sections) reaches past the end of the file", sections);

    Pe32Image image;
    image.optional_header = optional;
    image.image_base = base::read_u32(data, optional + pe::kImageBase);
    for (std::uint64_t i = 0; i < sections; ++i) {
        const std::uint64_t header = sections_at + i * pe::kSectionHeaderSize;
        if (has_name(data, header, kTextName)) image.text_header = header;
        if (!has_name(data, header, kRelocName)) continue;
        if (auto refused = read_relocations(data, header, image.fixups)) return *refused;
    }
    return image;
}

std::uint32_t relocate(base::MutableByteView data, const Pe32Image& image, std::uint32_t address,
                       EntryForm form) {
    const std::uint32_t delta = address - image.image_base;
    for (const Fixup& f : image.fixups) {
        switch (f.type) {
            case FixupType::kHigh:
                base::write_u16(data, f.offset,
                                static_cast<std::uint16_t>(base::read_u16(data, f.offset) + (delta >> 16)));
                break;
            case FixupType::kLow:
                base::write_u16(data, f.offset,
                                static_cast<std::uint16_t>(base::read_u16(data, f.offset) + delta));
                break;
            case FixupType::kHighLow:
                base::write_u32(data, f.offset, base::read_u32(data, f.offset) + delta);
                break;
        }
    }
    base::write_u32(data, image.optional_header + pe::kImageBase, address);

    // The entry point is read from the relocated headers, as the firmware
    // will find them.
    const std::uint32_t entry = base::read_u32(data, image.optional_header + pe::kAddressOfEntryPoint);
    if (form == EntryForm::kPlain || !image.text_header) return address + entry;
    const std::uint32_t code = base::read_u32(data, image.optional_header + pe::kBaseOfCode);
    const std::uint32_t text_offset = base::read_u32(data, *image.text_header + pe::kPointerToRawData);
    return address + entry - code + text_offset;
}

void set_image_checksum(base::MutableByteView data) {
    if (data.empty()) return;
    const std::uint8_t rest = base::sum8(base::ByteView(data).first(data.size() - 1));
    data.back() = static_cast<std::uint8_t>(0u - rest);
}

}  // namespace kitra::regions
