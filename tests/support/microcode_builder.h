// Synthetic CPU microcode for tests: Intel updates with valid checksums (and
// extended signature tables), AMD patches, and the ".dat" text of updates.
// The data words are pseudo-random, so that each update's bytes differ.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/bytes.h"

namespace kitra::testing {

struct IntelUpdateFields {
    std::uint32_t cpuid = 0x00000686;
    std::uint32_t platform_mask = 0x10;
    std::uint32_t revision = 1;
    std::uint32_t date = 0x05122000;  // BCD month, day, year
    std::uint32_t total_size = 2048;  // header, data and extended table
    bool old_form = false;            // data and total size fields 0 (2000 and 2048 bytes)
    struct Extra {
        std::uint32_t cpuid;
        std::uint32_t platform_mask;
    };
    std::vector<Extra> extended{};  // an extended signature table with these entries
    std::uint32_t seed = 1;
};

base::Bytes intel_update(const IntelUpdateFields& fields);

// A 2048-byte AMD patch whose data checksum holds.
base::Bytes amd_patch(std::uint32_t patch_id, std::uint32_t processor_revision, std::uint32_t north = 0,
                      std::uint32_t south = 0);

base::Bytes joined(std::initializer_list<base::Bytes> parts);

// The words of `bytes` as Intel's text form: a comment, then four words a line.
std::string dat_text(base::ByteView bytes);

}  // namespace kitra::testing
