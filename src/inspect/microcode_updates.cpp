#include "inspect/microcode_updates.h"

#include "base/text.h"
#include "convert/microcode_info.h"
#include "convert/microcode_places.h"
#include "convert/microcode_update.h"

namespace kitra::inspect {

namespace {

using base::ByteView;
using base::read_u32;
namespace intel = convert::intel_update;
namespace amd = convert::amd_patch;

// Every Intel update carries 1 in both fields; data that happens to sum to
// 0 rarely does, so together they say a record means to be an update.
constexpr std::uint32_t kIntelHeaderVersion = 1;
constexpr std::uint32_t kIntelLoaderRevision = 1;

bool declares_intel(ByteView record) {
    return record.size() >= intel::kHeaderSize &&
           base::try_read_u32(record, intel::kHeaderVersion) == kIntelHeaderVersion &&
           base::try_read_u32(record, intel::kLoaderRevision) == kIntelLoaderRevision;
}

struct Where {
    MicrocodeSource source;
    std::uint64_t module_offset;
    std::uint64_t base;  // what the record's offset in its area counts from
    ByteView area;
};

void add_record(std::vector<MicrocodeUpdate>& out, const Where& w, ByteView record, bool bridge) {
    MicrocodeUpdate u;
    u.source = w.source;
    u.module_offset = w.module_offset;
    u.offset = w.base + static_cast<std::uint64_t>(record.data() - w.area.data());
    u.length = record.size();
    const auto amd_fields = [&](MicrocodeForm form) {
        MicrocodeUpdate a = u;
        a.form = form;
        a.patch_id = read_u32(record, amd::kPatchId);
        a.north_bridge = read_u32(record, amd::kNorthBridgeId);
        a.south_bridge = read_u32(record, amd::kSouthBridgeId);
        a.processor_revision = read_u32(record, amd::kProcessorRevision);
        out.push_back(a);
    };
    if (bridge) {
        amd_fields(MicrocodeForm::kBridge);
        return;
    }
    const bool intel_update = convert::is_intel_update(record);
    if (intel_update || declares_intel(record)) {
        MicrocodeUpdate i = u;
        i.form = MicrocodeForm::kIntel;
        i.checksum_holds = intel_update;
        i.revision = read_u32(record, intel::kRevision);
        i.date = read_u32(record, intel::kDate);
        i.signature = read_u32(record, intel::kSignature);
        i.processor_flags = record[intel::kProcessorFlags];
        i.total_size = read_u32(record, intel::kTotalSize);
        i.platform =
            std::string(convert::platform_name(i.processor_flags, record[intel::kSignatureFamilyByte]));
        out.push_back(i);
    }
    if (convert::is_amd_patch(record)) amd_fields(MicrocodeForm::kAmd);
}

}  // namespace

std::vector<MicrocodeUpdate> microcode_updates(ByteView image, const image::Layout& layout,
                                               std::span<const MicrocodeModule> modules) {
    std::vector<MicrocodeUpdate> out;
    const bool bridge = convert::is_bridge_board(image);
    if (!bridge) {
        const ByteView area = convert::bootblock_microcode_area(image, layout).bytes;
        const Where w{MicrocodeSource::kBootblock, 0, static_cast<std::uint64_t>(area.data() - image.data()),
                      area};
        for (ByteView record : convert::fixed_microcode_records(area)) {
            if (record[0] == 0xFF || record[0] == 0x00) break;
            add_record(out, w, record, false);
        }
    }
    for (const MicrocodeModule& m : modules) {
        const Where w{MicrocodeSource::kModule, m.offset, 0, m.contents};
        for (ByteView record : convert::fixed_microcode_records(m.contents))
            add_record(out, w, record, false);
    }
    if (layout.ncpucode_present) {
        const ByteView area = base::clipped(image, layout.ncpucode_offset, layout.ncpucode_size);
        const Where w{MicrocodeSource::kNcpucode, 0, layout.ncpucode_offset, area};
        for (ByteView record :
             bridge ? convert::fixed_microcode_records(area) : convert::sized_microcode_records(area))
            add_record(out, w, record, bridge);
    }
    return out;
}

std::string microcode_date_text(std::uint32_t date) {
    return base::format("%04X-%02X-%02X", date & 0xFFFF, date >> 24, (date >> 16) & 0xFF);
}

}  // namespace kitra::inspect
