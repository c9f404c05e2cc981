// Option ROM contents: the signature and sum checks an option ROM must pass
// before it is added, and the content keys that tell whether a module of the
// same family holds the same ROM (then it is replaced) or another one (then
// the new ROM takes another slot).
#pragma once

#include <optional>

#include "base/bytes.h"

namespace kitra::edit {

// Begins 55 AA.
bool has_rom_signature(base::ByteView rom);
// The 8-bit sum of its first (byte 2 x 512) bytes is 0.
bool isa_rom_sum_ok(base::ByteView rom);

// VGA and PCI ROMs: vendor ID, device ID and the two upper class-code bytes
// of the PCI data structure (found through the word at offset 0x18).
std::optional<base::Bytes> pci_key(base::ByteView rom);
// ACPI tables: signature, OEM ID and OEM table ID.
std::optional<base::Bytes> acpi_key(base::ByteView table);

}  // namespace kitra::edit
