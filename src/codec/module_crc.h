// Whether a module's unpacked contents are what it was made from. The header
// carries the CRC-16 of the contents, right after the stored name; the
// decoder does not compare it (a damaged stream can decode to the right
// length and the wrong bytes), so a reader that presents the contents as
// good asks here.
#pragma once

#include <cstdint>
#include <optional>

#include "base/bytes.h"

namespace kitra::codec {

struct ContentCheck {
    std::uint16_t stored = 0;    // the CRC-16 the header records
    std::uint16_t computed = 0;  // the CRC-16 of the contents
    bool matches() const { return stored == computed; }
};

// The CRC-16 the header of the module at the start of `module` records;
// none when the header ends before it (a name length past the header).
std::optional<std::uint16_t> stored_crc(base::ByteView module);

// `contents`, unpacked from `module`, against the CRC-16 its header records;
// none when the header records none.
std::optional<ContentCheck> check_contents(base::ByteView module, base::ByteView contents);

}  // namespace kitra::codec
