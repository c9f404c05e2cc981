#include "inspect/option_rom_info.h"

namespace kitra::inspect {

namespace {

using base::ByteView;

bool begins_rom(ByteView b, std::uint64_t at) {
    return base::in_range(b, at, 2) && b[at] == 0x55 && b[at + 1] == 0xAA;
}

// A NUL-terminated text at `at` of the image, when it starts inside it.
std::optional<std::string> rom_string(ByteView image, std::uint16_t at) {
    if (at == 0 || at >= image.size()) return std::nullopt;
    const ByteView rest = base::clipped(image, at, pnp::kMaxString);
    std::size_t n = 0;
    while (n < rest.size() && rest[n] != 0) ++n;
    return base::text_of(rest.first(n));
}

std::optional<PciData> pci_data(ByteView image) {
    const auto at = base::try_read_u16(image, rom::kPciDataPointer);
    if (!at || !base::in_range(image, *at, pcir::kSize) || !base::matches(image, *at, pcir::kSignature))
        return std::nullopt;
    PciData d;
    d.offset = *at;
    d.vendor = base::read_u16(image, d.offset + pcir::kVendor);
    d.device = base::read_u16(image, d.offset + pcir::kDevice);
    d.structure_revision = image[d.offset + pcir::kStructureRevision];
    d.class_code = std::uint32_t{image[d.offset + pcir::kClassCode + 2]} << 16 |
                   std::uint32_t{image[d.offset + pcir::kClassCode + 1]} << 8 |
                   image[d.offset + pcir::kClassCode];
    d.image_blocks = base::read_u16(image, d.offset + pcir::kImageLength);
    d.revision = base::read_u16(image, d.offset + pcir::kRevision);
    d.code_type = image[d.offset + pcir::kCodeType];
    d.last_image = (image[d.offset + pcir::kIndicator] & pcir::kLastImageBit) != 0;
    return d;
}

std::optional<PnpHeader> pnp_header(ByteView image) {
    const auto at = base::try_read_u16(image, rom::kPnpPointer);
    if (!at || !base::in_range(image, *at, pnp::kSize) || !base::matches(image, *at, pnp::kSignature))
        return std::nullopt;
    PnpHeader h;
    h.offset = *at;
    h.device_id = base::read_u32(image, h.offset + pnp::kDeviceId);
    h.manufacturer = rom_string(image, base::read_u16(image, h.offset + pnp::kManufacturer));
    h.product = rom_string(image, base::read_u16(image, h.offset + pnp::kProduct));
    return h;
}

}  // namespace

std::optional<OptionRom> read_option_rom(ByteView contents) {
    if (!begins_rom(contents, 0)) return std::nullopt;
    OptionRom r;
    std::uint64_t at = 0;
    while (r.images.size() < rom::kMaxImages) {
        OptionRomImage i;
        i.offset = at;
        const ByteView image = contents.subspan(at);
        i.size_byte = image.size() > rom::kSizeByte ? image[rom::kSizeByte] : 0;
        const std::uint64_t length = std::uint64_t{i.size_byte} * rom::kBlock;
        i.whole = length <= image.size();
        i.sum = base::sum8(base::clipped(image, 0, length));
        i.pci = pci_data(image);
        // The PnP header is a legacy image's.
        if (i.has_checksum()) i.pnp = pnp_header(image);
        r.images.push_back(i);
        if (!i.pci || i.pci->last_image || i.pci->image_blocks == 0) break;
        const std::uint64_t next = at + std::uint64_t{i.pci->image_blocks} * rom::kBlock;
        if (!begins_rom(contents, next)) break;
        at = next;
    }
    return r;
}

}  // namespace kitra::inspect
