// The inventory for people (--info): the same facts as the JSON document,
// in sections and columns that fit an 80-column console. Names and texts
// from the image are shown through base::printable and cut to their column,
// never wrapped.
#pragma once

#include <string>

#include "inspect/inventory.h"

namespace kitra::inspect {

std::string inventory_text(const Inventory& inventory);

// `text` cut to `width` characters.
std::string fit(std::string text, std::size_t width);

// The option ROM's images, one line each, indented by `indent` blanks.
std::string option_rom_lines(const OptionRom& rom, int indent);

}  // namespace kitra::inspect
