#include "edit/option_rom.h"

#include "convert/acpi_tables.h"

namespace kitra::edit {

using base::Bytes;
using base::ByteView;

bool has_rom_signature(ByteView rom) {
    return rom.size() >= 2 && rom[0] == 0x55 && rom[1] == 0xAA;
}

bool isa_rom_sum_ok(ByteView rom) {
    if (rom.size() < 3) return false;
    const std::uint64_t length = std::uint64_t{rom[2]} * 512;
    return base::in_range(rom, 0, length) && base::sum8(rom.first(length)) == 0;
}

namespace {

std::optional<Bytes> key_of(ByteView data,
                            std::initializer_list<std::pair<std::uint64_t, std::uint64_t>> fields) {
    Bytes key;
    for (auto [offset, length] : fields) {
        if (!base::in_range(data, offset, length)) return std::nullopt;
        key.insert(key.end(), data.begin() + static_cast<std::ptrdiff_t>(offset),
                   data.begin() + static_cast<std::ptrdiff_t>(offset + length));
    }
    return key;
}

}  // namespace

std::optional<Bytes> pci_key(ByteView rom) {
    const auto pointer = base::try_read_u16(rom, 0x18);
    if (!pointer) return std::nullopt;
    return key_of(rom, {{*pointer + 4u, 4}, {*pointer + 14u, 2}});
}

std::optional<Bytes> acpi_key(ByteView table) {
    namespace acpi = convert::acpi;
    return key_of(table, {{acpi::kSignature, acpi::kSignatureSize},
                          {acpi::kOemId, acpi::kOemIdSize},
                          {acpi::kOemTableId, acpi::kOemTableIdSize}});
}

}  // namespace kitra::edit
