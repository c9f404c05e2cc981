// The CPU microcode updates of an image, where the /D table finds them: the
// bootblock's microcode area, the CPU microcode modules and the
// non-compressed microcode area, read as that table reads them. The
// inventory and verify know microcode only through this file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "image/layout.h"

namespace kitra::inspect {

enum class MicrocodeSource { kBootblock, kModule, kNcpucode };

enum class MicrocodeForm {
    kIntel,   // an Intel update
    kAmd,     // an AMD patch
    kBridge,  // a record of a bridge-ID board's non-compressed area, shown by its bridge IDs
};

struct MicrocodeUpdate {
    MicrocodeSource source = MicrocodeSource::kBootblock;
    std::uint64_t module_offset = 0;  // kModule: the module's file offset
    std::uint64_t offset = 0;         // file offset; kModule: the offset in the module's contents
    std::uint64_t length = 0;
    MicrocodeForm form = MicrocodeForm::kIntel;
    // The record's own check: an Intel update's words sum to 0, an AMD
    // patch's data matches its checksum. A record that declares itself an
    // Intel update (header version 1, loader revision 1) is listed even when
    // its sum does not hold, which the /D table would pass over.
    bool checksum_holds = true;

    // Intel.
    std::uint32_t revision = 0;
    std::uint32_t date = 0;  // BCD: month, day, year (0x08182008)
    std::uint32_t signature = 0;
    std::uint8_t processor_flags = 0;
    std::uint32_t total_size = 0;
    std::string platform;  // the table's 6-character platform name
    // AMD and bridge records.
    std::uint32_t patch_id = 0;
    std::uint32_t north_bridge = 0;
    std::uint32_t south_bridge = 0;
    std::uint32_t processor_revision = 0;
};

// The contents of a CPU microcode module, unpacked, and where it lies.
struct MicrocodeModule {
    std::uint64_t offset = 0;
    base::ByteView contents;
};

// Every update the table shows, in its order (an AMD patch that also passes
// as an Intel update appears twice, as there), with the damaged Intel
// updates among them.
std::vector<MicrocodeUpdate> microcode_updates(base::ByteView image, const image::Layout& layout,
                                               std::span<const MicrocodeModule> modules);

// "YYYY-MM-DD" of an Intel update's BCD date.
std::string microcode_date_text(std::uint32_t date);

}  // namespace kitra::inspect
