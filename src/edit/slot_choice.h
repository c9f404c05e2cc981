// The choice among the modules of a numbered family (VGA, PCI, ISA ROMs and
// ACPI tables) before one of them is released or extracted: the modules
// present are listed with their slot letters, and when there are several the
// user picks one with a key.
#pragma once

#include <cstdint>
#include <optional>

#include "cli/catalogue.h"
#include "cli/run_state.h"

namespace kitra::edit {

using cli::Family;

// Whether the modules of a family are chosen among by slot (VGA, PCI and ISA
// ROMs, ACPI SDT modules; a group number names its module directly).
bool chooses_slot(Family family);

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
