// The choice among the modules of a numbered family (VGA, PCI, ISA ROMs and
// ACPI tables) before one of them is released or extracted: the modules
// present are listed with their slot letters, and when there are several the
// user picks one with a key.
#pragma once

#include <cstdint>
#include <optional>

#include "cli/run_state.h"

namespace kitra::edit {

enum class Family { kVga, kPci, kIsa, kAcpi };

// The family an item chooses its module from, by the option code it runs as.
std::optional<Family> family_of(int option_code);

// The letter a slot is shown with: VGA "1" .. "6"; PCI "A" .. "Z"; ISA "A" ..
// "D" for 0x40A0 .. 0x40A3 and "1" .. "4" for 0x40A4 .. 0x40A7; ACPI "A" ..
// "J". `type_id` must be one of the family's.
char slot_letter(Family family, std::uint16_t type_id);

struct SlotChoice {
    enum class Kind {
        kChosen,     // `type_id` is the module to look for
        kNotFound,   // no module of the family, or a key naming a slot the family does not have
        kCancelled,  // a key that matches no choice, or the end of input: the item ends unchanged
    };
    Kind kind = Kind::kNotFound;
    std::uint16_t type_id = 0;
    char letter = 0;
};

// Lists the family's modules from the walk start and returns the one chosen.
SlotChoice choose_slot(cli::Run& run, Family family);

}  // namespace kitra::edit
