// One item of the command line: an option with its argument, as the item loop
// hands it to the operation that carries it out.
#pragma once

#include <optional>
#include <string>

#include "base/bytes.h"
#include "cli/catalogue.h"
#include "cli/command_line.h"
#include "cli/item_type.h"
#include "platform/console.h"

namespace kitra::cli {

enum class ArgumentKind { None, ComponentFile, Release, Extract };

struct Item {
    int index = 0;        // argument index of the option word
    int option_code = 0;  // the code the item runs as
    ItemType type;
    ArgumentKind kind = ArgumentKind::None;
    std::string argument;                     // the word after the option (and its type word)
    std::optional<std::string> extract_name;  // "extract" followed by a file name
    std::string component_name;               // the RomFile, or a built-in input's name
    base::Bytes component;                    // its contents, read when the item opened it
    // The component is already the module to add, announced by the built-in
    // input that made it: no conversion, no "Combine" line of its own.
    bool built_in_module = false;

    // What kind of component the item's option names.
    const Kind& component_kind() const { return kind_of(option_code); }
};

struct ItemResult {
    bool failed = false;    // the item failed: its changes are undone, the error code records it
    bool end_loop = false;  // the item loop ends after this item
    // With `failed`: the error code records the item, but what it did stays
    // (an arena module that replaced one of its type is the item's error and
    // still the new module).
    bool keep_changes = false;
};

// The item whose option word is at `index`: its type (a bad /other type word
// or /isa segment word is reported on `con`) and its argument. An item whose
// type is not valid ends the item loop. `extended_layout` is the image's.
Item read_item(const Settings& settings, int index, bool extended_layout, platform::Console& con);

// The index of the word after the item: past its option, its type word and
// its argument, and past the segment word of /isa.
int next_item_index(const Item& item);

}  // namespace kitra::cli
