// Packing a file into a module and unpacking a module's contents, in memory.
//
// pack() gives one module: header, data ("-lh5-" when that is smaller, else
// the bytes stored as "-lh0-"), and the separator byte 0x00. The mode says
// whether it reports "Adding <name> ", a "." per 8192 input bytes coded and
// the ratio " 12.3%\n", and whether it stores without trying to compress.
// The type ID comes from its text ("4080:0", at most 9 characters), the name
// field is `stored_name` (at most 230 bytes); longer ones are refused.
//
// unpack() reads the module at the start of `module` (which may go on past
// the module) and returns its contents for "-lh0-", "-lh4-" and "-lh5-". A
// bad header sum stops the run ("Header sum error"); an unknown method is
// reported on the error stream and a missing module as text, both giving
// nullopt. Stored data cut short stops the run ("Can't read");
// compressed data cut short still gives original-size bytes. The CRC field is
// not compared: damaged streams are caught by the decoder's table checks.
#pragma once

#include <optional>
#include <string_view>

#include "base/bytes.h"
#include "codec/lzh_encoder.h"
#include "codec/report.h"

namespace kitra::codec {

// Contents larger than this are refused by unpack(): no firmware module comes
// near it, and a crafted original size must not make us allocate gigabytes.
constexpr std::uint32_t kMaxUnpackedSize = 256u << 20;

enum class PackMode {
    kQuiet,     // compressed when that pays, nothing reported (the size-only report)
    kCompress,  // compressed when that pays, with the progress text
    kStore,     // stored as it is, with the progress text
};

base::Bytes pack(base::ByteView input, PackMode mode, std::string_view stored_name,
                 std::string_view type_id_text, Encoder& encoder, const Report& report);

std::optional<base::Bytes> unpack(base::ByteView module, const Report& report);

// Whether the method of the module at the start of `module` is one unpack()
// decodes: "-lh0-", "-lh4-" or "-lh5-".
bool known_method(base::ByteView module);

// The ratio packed / original in tenths of a per cent, rounded, in 32-bit
// arithmetic; 0 for an empty original.
unsigned pack_ratio(std::uint32_t packed, std::uint32_t original);

}  // namespace kitra::codec
