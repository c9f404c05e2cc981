// Type selection: the option code of an item becomes the type ID text handed
// to the packer and the numeric type ID that walks compare against, with the
// special rules of /ncr and /aha (they run as /pci), /other (its type word),
// /isa (its segment word), /group (the group number), /btvga (extended
// bootblock layout only) and the options that create no module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/console.h"

namespace kitra::cli {

struct ItemType {
    bool valid = false;              // false: the item is invalid and ends the item loop
    int option_code = 0;             // the code the item runs as (/ncr and /aha run as 13)
    std::string type_id_text;        // the text given to the packer; empty when none
    std::uint16_t type_id = 0xFFFF;  // 0xFFFF: no module of the compressed area
    int type_words = 0;              // words consumed before the argument (1 for /other)
    std::uint32_t isa_segment = 0;   // /isa: the segment word after the RomFile, 0 when absent
    bool isa_segment_bad = false;    // /isa: the segment word was not hexadecimal (message printed)
    // Not valid, and said so (a bad /other type word, a group number out of
    // range): the item fails, so that /err reports it.
    bool refused = false;
};

struct TypeContext {
    const std::vector<std::string>& args;  // the argument vector, args[0] the program path
    int index = 0;                         // index of the option word
    int group_number = 0;
    bool extended_layout = false;  // of the open image
};

// Prints "Input parameter %s error." for a bad /other type word or /isa segment.
ItemType select_type(int option_code, const TypeContext& context, platform::Console& con);

}  // namespace kitra::cli
