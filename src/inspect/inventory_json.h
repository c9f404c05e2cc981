// The inventory as one JSON document ("kitra-inventory/2", described by
// schema/inventory.schema.json), and the pieces of it that the verify and
// diff documents share.
#pragma once

#include <string>

#include "base/json.h"
#include "inspect/inventory.h"

namespace kitra::inspect {

constexpr const char* kInventorySchema = "kitra-inventory/2";

std::string inventory_json(const Inventory& inventory);

// `name` and `name`_hex: a number engineers read in hexadecimal (type IDs,
// CRCs, sums, IDs), with `digits` digits at least.
void member_hex(base::JsonWriter& w, std::string_view name, std::uint64_t value, int digits);

// {"name": ..., "option": ..., "slot": ...}: empty texts are null.
void write_kind(base::JsonWriter& w, const ModuleKind& kind);

// The option ROM object (images with their PCI and PnP data), or null.
void write_option_rom(base::JsonWriter& w, const std::optional<OptionRom>& rom);

}  // namespace kitra::inspect
