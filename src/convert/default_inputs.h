// The built-in inputs of the options that may be given without a component
// file (the catalogue says which, and where each comes from): a ready module
// at a fixed library path, or a fixed file of the current directory turned
// into the form to be packed. An executable's body, the joined ACPI table
// input and the like are left in the current directory under their fixed
// names ("CPUCODE.BIN", "ACPITBL.BIN", ...), where build steps pick them up.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "cli/run_state.h"

namespace kitra::convert {

struct BuiltIn {
    std::string name;    // the input the add names in its messages
    base::Bytes module;  // the module to add, already announced on the console
};

// The module the built-in input of option `code` gives, packed under
// `type_id_text` with the "Adding" and "Combine" lines; std::nullopt, with
// the reason printed, when it gives none.
std::optional<BuiltIn> take_default_input(cli::Run& run, int code, std::string_view type_id_text);

}  // namespace kitra::convert
