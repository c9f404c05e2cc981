// The files `--microcode-add` reads updates from: one binary update, updates
// joined one after another, the ".dat" text form, or a CPU microcode module
// (its unpacked contents). Every update is checked whole before anything is
// written: one that is not is refused with the file and where it starts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/bytes.h"
#include "codec/report.h"
#include "convert/microcode_updates.h"

namespace kitra::microcode {

struct InputUpdate {
    std::string file;
    convert::Update update;  // its offset counts in the file's updates (a module's: unpacked)
    base::Bytes bytes;       // the whole update
};

// The updates of the file named `name` holding `contents`, in order; or the
// message that refuses it (with its line end).
std::variant<std::vector<InputUpdate>, std::string> read_input_updates(const std::string& name,
                                                                       base::ByteView contents,
                                                                       const codec::Report& report);

}  // namespace kitra::microcode
