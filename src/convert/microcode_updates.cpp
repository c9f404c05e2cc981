#include "convert/microcode_updates.h"

#include "base/text.h"
#include "convert/microcode_update.h"

namespace kitra::convert {

using base::ByteView;
using base::read_u32;

namespace {

namespace iu = intel_update;
namespace ext = extended_signatures;

// Positions an update may start at, from the start of the bytes searched.
constexpr std::uint64_t kSearchStep = 16;

// An Intel update as its header lays it out; `problem` says why it is not a
// whole, valid one (empty when it is). `update` is set when its header and
// sizes are right and only checksums may fail.
struct Examined {
    std::optional<Update> update;
    std::string problem;
};

Examined examine_intel(ByteView bytes, const WordSums& sums, std::uint64_t at) {
    Examined e;
    if (!base::in_range(bytes, at, iu::kHeaderSize)) {
        e.problem = base::format("only %llu bytes are left, fewer than the 48 bytes of an update's header",
                                 static_cast<unsigned long long>(bytes.size() - at));
        return e;
    }
    const std::uint32_t version = read_u32(bytes, at + iu::kHeaderVersion);
    if (version != iu::kKnownHeaderVersion) {
        e.problem = base::format("header version %u: an Intel update has version 1", version);
        return e;
    }
    if (read_u32(bytes, at + iu::kLoaderRevision) == 0) {
        e.problem = "its loader revision is 0";
        return e;
    }
    const std::uint32_t data_field = read_u32(bytes, at + iu::kDataSize);
    const std::uint32_t total_field = read_u32(bytes, at + iu::kTotalSize);
    std::uint64_t data = data_field;
    std::uint64_t total = total_field;
    if (data_field == 0) {
        // The first updates had no size fields: 2000 bytes of data, 2048 in all.
        data = iu::kOldDataSize;
        if (total_field != 0 && total_field != kRecordSize) {
            e.problem =
                base::format("its data size 0 stands for 2000 bytes, but its total size is %u", total_field);
            return e;
        }
        total = kRecordSize;
    } else if (data_field % 4 != 0) {
        e.problem = base::format("its data size %u is no whole number of 32-bit words", data_field);
        return e;
    } else if (total_field == 0 || total_field % iu::kSizeUnit != 0) {
        e.problem = base::format("its total size %u is no multiple of 1024", total_field);
        return e;
    } else if (total < iu::kHeaderSize + data) {
        e.problem = base::format("its total size %u is less than its header and %u bytes of data",
                                 total_field, data_field);
        return e;
    }
    if (!base::in_range(bytes, at, total)) {
        e.problem = base::format("it is %llu bytes long, but only %llu bytes are left",
                                 static_cast<unsigned long long>(total),
                                 static_cast<unsigned long long>(bytes.size() - at));
        return e;
    }
    Update u;
    u.vendor = Vendor::kIntel;
    u.offset = at;
    u.size = static_cast<std::uint32_t>(total);
    u.revision = read_u32(bytes, at + iu::kRevision);
    u.date = read_u32(bytes, at + iu::kDate);
    const std::uint32_t cpuid = read_u32(bytes, at + iu::kSignature);
    const std::uint32_t flags = read_u32(bytes, at + iu::kProcessorFlags);
    const std::uint32_t checksum = read_u32(bytes, at + iu::kChecksum);
    u.signatures.push_back({cpuid, flags});

    const std::uint64_t table = at + iu::kHeaderSize + data;
    const std::uint64_t table_bytes = at + total - table;
    std::uint64_t count = 0;
    if (table_bytes != 0) {
        if (table_bytes < ext::kHeaderSize) {
            e.problem =
                base::format("the %llu bytes after its data are too few for an extended signature table",
                             static_cast<unsigned long long>(table_bytes));
            return e;
        }
        count = read_u32(bytes, table + ext::kCount);
        if (table_bytes != ext::kHeaderSize + count * ext::kEntrySize) {
            e.problem = base::format(
                "its extended signature table of %llu entries does not fill the %llu bytes "
                "after its data",
                static_cast<unsigned long long>(count), static_cast<unsigned long long>(table_bytes));
            return e;
        }
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t entry = table + ext::kHeaderSize + i * ext::kEntrySize;
            u.signatures.push_back(
                {read_u32(bytes, entry + ext::kEntrySignature), read_u32(bytes, entry + ext::kEntryFlags)});
        }
    }
    e.update = u;

    // Every checksum: the header and data, the table, and each entry's
    // stand-in for the header's.
    if (const std::uint32_t sum = sums.sum(at, table); sum != 0) {
        e.problem = base::format("its checksum does not hold: its words sum to %08X, not 0", sum);
    } else if (table_bytes != 0 && sums.sum(table, at + total) != 0) {
        e.problem = "the checksum of its extended signature table does not hold";
    } else {
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t entry = table + ext::kHeaderSize + i * ext::kEntrySize;
            const std::uint32_t entry_sum = read_u32(bytes, entry + ext::kEntrySignature) +
                                            read_u32(bytes, entry + ext::kEntryFlags) +
                                            read_u32(bytes, entry + ext::kEntryChecksum);
            if (entry_sum != cpuid + flags + checksum) {
                e.problem =
                    base::format("the checksum of its extended signature %llu (CPUID %08X) does not hold",
                                 static_cast<unsigned long long>(i) + 1, u.signatures[i + 1].cpuid);
                break;
            }
        }
    }
    e.update->checksum_holds = e.problem.empty();
    return e;
}

// The patch checksum is the only mark an AMD patch has; 0 would let a blank
// record pass.
std::optional<Update> read_amd(ByteView bytes, const WordSums& sums, std::uint64_t at) {
    namespace ap = amd_patch;
    if (!base::in_range(bytes, at, kRecordSize)) return std::nullopt;
    const std::uint32_t checksum = read_u32(bytes, at + ap::kDataChecksum);
    if (checksum == 0 || checksum != sums.sum(at + ap::kDataStart, at + ap::kDataEnd)) return std::nullopt;
    Update u;
    u.vendor = Vendor::kAmd;
    u.offset = at;
    u.size = kRecordSize;
    u.checksum_holds = true;
    u.revision = read_u32(bytes, at + ap::kPatchId);
    u.signatures.push_back({read_u32(bytes, at + ap::kProcessorRevision), 0});
    u.north_bridge = read_u32(bytes, at + ap::kNorthBridgeId);
    u.south_bridge = read_u32(bytes, at + ap::kSouthBridgeId);
    return u;
}

}  // namespace

WordSums::WordSums(ByteView bytes) : prefix_(bytes.size() / 4 + 1, 0) {
    for (std::size_t i = 0; i + 1 < prefix_.size(); ++i) prefix_[i + 1] = prefix_[i] + read_u32(bytes, i * 4);
}

std::uint32_t WordSums::sum(std::uint64_t from, std::uint64_t to) const {
    return prefix_.at(to / 4) - prefix_.at(from / 4);
}

std::variant<Update, std::string> read_update(ByteView bytes, const WordSums& sums, std::uint64_t offset) {
    const auto first = base::try_read_u32(bytes, offset);
    if (first == iu::kKnownHeaderVersion) {
        Examined e = examine_intel(bytes, sums, offset);
        if (e.problem.empty()) return std::move(*e.update);
        return e.problem;
    }
    if (auto amd = read_amd(bytes, sums, offset)) return std::move(*amd);
    if (!base::in_range(bytes, offset, iu::kHeaderSize)) return examine_intel(bytes, sums, offset).problem;
    return base::format(
        "it is no Intel update (its header version is %u, not 1) and no AMD patch (no 2048 bytes whose "
        "data checksum holds)",
        *first);
}

FoundUpdates find_updates(ByteView area, bool stop_at_blank_record) {
    const WordSums sums(area);
    FoundUpdates found;
    std::uint64_t end = area.size();
    std::uint64_t at = 0;
    while (at + iu::kHeaderSize <= area.size()) {
        if (stop_at_blank_record && at % kRecordSize == 0 && (area[at] == 0x00 || area[at] == 0xFF)) {
            end = at;
            break;
        }
        std::optional<Update> u;
        if (read_u32(area, at) == iu::kKnownHeaderVersion) {
            Examined e = examine_intel(area, sums, at);
            // A damaged update shows only where its date is one: a stray
            // word 1 in code or data does not make an update.
            if (e.update && (e.update->checksum_holds || iso_date(e.update->date))) u = std::move(e.update);
        }
        if (!u) u = read_amd(area, sums, at);
        if (!u) {
            at += kSearchStep;
            continue;
        }
        at += u->size;
        found.updates.push_back(std::move(*u));
    }
    std::uint64_t covered = 0;
    for (const Update& u : found.updates) {
        if (u.offset > covered) found.other.push_back({covered, u.offset - covered});
        covered = u.offset + u.size;
    }
    if (end > covered) found.other.push_back({covered, end - covered});
    found.end = end;
    return found;
}

std::variant<std::vector<Update>, UpdateFileProblem> read_update_file(ByteView bytes) {
    const WordSums sums(bytes);
    std::vector<Update> updates;
    std::uint64_t at = 0;
    while (at < bytes.size()) {
        auto read = read_update(bytes, sums, at);
        if (auto* reason = std::get_if<std::string>(&read)) return UpdateFileProblem{at, std::move(*reason)};
        Update& u = std::get<Update>(read);
        at += u.size;
        updates.push_back(std::move(u));
    }
    return updates;
}

std::optional<std::string> iso_date(std::uint32_t bcd_date) {
    for (std::uint32_t d = bcd_date; d != 0; d >>= 4)
        if ((d & 0xF) > 9) return std::nullopt;
    const std::uint32_t month = bcd_date >> 24;
    const std::uint32_t day = (bcd_date >> 16) & 0xFF;
    if (month < 0x01 || month > 0x12 || day < 0x01 || day > 0x31) return std::nullopt;
    return base::format("%04X-%02X-%02X", bcd_date & 0xFFFF, month, day);
}

CpuidParts cpuid_parts(std::uint32_t cpuid) {
    const std::uint32_t base_family = (cpuid >> 8) & 0xF;
    CpuidParts p;
    p.stepping = cpuid & 0xF;
    p.model = (cpuid >> 4) & 0xF;
    p.family = base_family;
    if (base_family == 0xF) p.family += (cpuid >> 20) & 0xFF;
    if (base_family == 0x6 || base_family == 0xF) p.model += ((cpuid >> 16) & 0xF) << 4;
    return p;
}

std::vector<int> platform_ids(std::uint32_t mask) {
    std::vector<int> ids;
    for (int bit = 0; bit < 32; ++bit)
        if ((mask >> bit) & 1u) ids.push_back(bit);
    return ids;
}

}  // namespace kitra::convert
