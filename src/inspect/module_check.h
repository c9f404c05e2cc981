// A module read for inspection: its header sum, its contents and their
// CRC-16. The codec's unpack does the reading. A header sum that does not
// hold is told apart, and the contents are read all the same (as if it
// held); what would stop a run (a malformed stream, stored data cut short)
// or what the codec reports (an unknown method) becomes the module's
// problem, so one damaged module does not hide the others.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/bytes.h"
#include "codec/module_header.h"

namespace kitra::inspect {

struct ModuleCheck {
    std::uint8_t header_sum = 0;                  // as stored
    std::uint8_t computed_header_sum = 0;         // over the header as its readers take it
    std::uint16_t crc16 = 0;                      // as stored
    std::uint16_t extension = 0;                  // the last two header bytes: padding before the data
    std::string method;                           // the five bytes as stored
    std::optional<base::Bytes> contents;          // none when they cannot be read
    std::string problem;                          // why not, one line without its line end
    std::optional<std::uint16_t> computed_crc16;  // of the contents

    bool header_sum_holds() const { return header_sum == computed_header_sum; }
    bool crc16_holds() const { return computed_crc16 && *computed_crc16 == crc16; }
};

// `m` as module_at found it in `image` (so its header and data lie inside).
// An ISA ROM placed at a segment of its own carries the segment over the
// type ID suffix, which its header sum does not count: that field is read
// as 0 for the sum and the unpacking, as every reader does.
ModuleCheck check_module(base::ByteView image, const codec::ModuleInfo& m, bool want_contents = true);

}  // namespace kitra::inspect
