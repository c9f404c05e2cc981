#include "convert/microcode_info.h"

#include <vector>

#include "cli/console_report.h"
#include "codec/packer.h"
#include "convert/microcode_places.h"
#include "convert/microcode_update.h"

namespace kitra::convert {

namespace {

using base::ByteView;
using base::read_u32;
using image::Layout;
using platform::Console;
using platform::print;
using platform::write;

const char kTitle[] = "\n                          ** Micro Code Information **\n";
const char kBridgeIdHead[] =
    "    Bridge ID                          |     Bridge ID                         \n";
const char kBridgeHead[] =
    " North    South     Patch  ID  CPUID   |  North    South     Patch  ID  CPUID  \n";
const char kAmdHead[] = " North    South     Update ID  CPUID   |  North    South     Update ID  CPUID  \n";
const char kTwoColumnRule[] =
    "---------------------------------------+----------------------------------------";
const char kIntelHead[] =
    "Update ID  CPUID  | Update ID  CPUID   | Update ID  CPUID   | Update ID  CPUID  \n";
const char kFourColumnRule[] =
    "------------------+--------------------+--------------------+-------------------";

// The two ways entries share a line. The table's column is where the "| "
// after the next entry goes (one less for a bridge record); past `last` the
// line ends there instead and the column starts again at `first`, else it
// moves on by `step`.
struct Columns {
    int first;
    int step;
    int last;
};
constexpr Columns kFourPerLine{18, 21, 62};  // entries at 0, 20, 41, 62
constexpr Columns kTwoPerLine{40, 40, 41};   // entries at 0, 41

struct Table {
    Console& con;
    int column;
};

// After an entry: the line ends, or the cursor goes to `move_to` for the "| "
// that separates it from the next entry. A line that ends needs no move (its
// column may lie past the 80 columns the table is laid out for), and a move
// to where the text already ends is none: an 18-character entry is followed
// by its "| " at once, under the "| " of the head.
void end_entry(Table& t, int move_to, const Columns& columns) {
    if (t.column > columns.last) {
        write(t.con, "\n");
        t.column = columns.first;
        return;
    }
    if (t.con.column != move_to) platform::move_to_column(t.con, move_to);
    write(t.con, "| ");
    t.column += columns.step;
}

// One record: in the bridge layout every record of the non-compressed area is
// shown by its bridge IDs; otherwise a record is shown for each test it
// passes, Intel's first.
void print_entry(Table& t, ByteView record, bool bridge) {
    if (bridge) {
        print(t.con, "%08X %08X   %08X %08X", read_u32(record, amd_patch::kNorthBridgeId),
              read_u32(record, amd_patch::kSouthBridgeId), read_u32(record, amd_patch::kPatchId),
              read_u32(record, amd_patch::kProcessorRevision));
        end_entry(t, t.column - 1, kTwoPerLine);
        return;
    }
    if (is_intel_update(record)) {
        const std::string_view name =
            platform_name(record[intel_update::kProcessorFlags], record[intel_update::kSignatureFamilyByte]);
        print(t.con, "%.*s %02X %08X", static_cast<int>(name.size()), name.data(),
              read_u32(record, intel_update::kRevision) & 0xFF, read_u32(record, intel_update::kSignature));
        end_entry(t, t.column, kFourPerLine);
    }
    if (is_amd_patch(record)) {
        const std::uint32_t north = read_u32(record, amd_patch::kNorthBridgeId);
        const std::uint32_t south = read_u32(record, amd_patch::kSouthBridgeId);
        const std::uint32_t id = read_u32(record, amd_patch::kPatchId);
        const std::uint32_t revision = read_u32(record, amd_patch::kProcessorRevision);
        if (north != 0 || south != 0) {
            print(t.con, "%08X %08X    %04X   %08X", north, south, id, revision);
            end_entry(t, t.column, kTwoPerLine);
        } else {
            print(t.con, "    %04X   %08X", id, revision);
            end_entry(t, t.column, kFourPerLine);
        }
    }
}

// The whole 2048-byte records of `area`, in order: how the bootblock area
// and a microcode module are read, whatever the records' total sizes say.
std::vector<ByteView> fixed_microcode_records(ByteView area) {
    std::vector<ByteView> records;
    for (std::uint64_t off = 0; off + kRecordSize <= area.size(); off += kRecordSize)
        records.push_back(area.subspan(off, kRecordSize));
    return records;
}

// The records of the non-compressed area outside the bridge layout: each as
// long as its total size says (0 for 2048 bytes), up to a total size of
// 0xFFFFFFFF or a record that would reach past the area.
std::vector<ByteView> sized_microcode_records(ByteView area) {
    std::vector<ByteView> records;
    std::uint64_t off = 0;
    while (auto size = base::try_read_u32(area, off + intel_update::kTotalSize)) {
        const std::uint64_t length = *size == 0 ? kRecordSize : *size;
        if (*size == 0xFFFFFFFF || !base::in_range(area, off, length)) break;
        records.push_back(area.subspan(off, length));
        off += length;
    }
    return records;
}

// The contents of every CPU microcode module the listing walks, unpacked.
std::vector<base::Bytes> unpacked_modules(ByteView image, const Layout& l, Console& con) {
    std::vector<base::Bytes> contents;
    for (const codec::ModuleInfo& m : microcode_modules(image, l)) {
        auto unpacked = codec::unpack(base::slice(image, m.offset, m.length()), cli::console_report(con));
        if (unpacked) contents.push_back(std::move(*unpacked));
    }
    return contents;
}

}  // namespace

void print_microcode_table(ByteView image, const Layout& l, Console& con) {
    // The modules are unpacked first, where the listing's walk met them: what
    // the codec reports comes before the table.
    const std::vector<base::Bytes> modules = unpacked_modules(image, l, con);

    write(con, kTitle);
    const bool bridge = is_bridge_board(image);
    const ByteView boot_area = bridge ? ByteView{} : bootblock_microcode_area(image, l).bytes;
    const std::vector<ByteView> boot_records = fixed_microcode_records(boot_area);
    Table t{con, kTwoPerLine.first};
    if (bridge) {
        write(con, kBridgeIdHead);
        write(con, kBridgeHead);
        write(con, kTwoColumnRule);
    } else if (!boot_records.empty() && is_amd_patch(boot_records.front())) {
        write(con, kBridgeIdHead);
        write(con, kAmdHead);
        write(con, kTwoColumnRule);
    } else {
        write(con, kIntelHead);
        write(con, kFourColumnRule);
        t.column = kFourPerLine.first;
    }

    // The bootblock's records end at the first that begins erased or blank.
    for (ByteView record : boot_records) {
        if (record[0] == 0xFF || record[0] == 0x00) break;
        print_entry(t, record, false);
    }
    // A module holds 2048-byte records, whatever their total sizes say.
    for (const base::Bytes& contents : modules)
        for (ByteView record : fixed_microcode_records(contents)) print_entry(t, record, false);

    if (l.ncpucode_present) {
        const ByteView area = base::clipped(image, l.ncpucode_offset, l.ncpucode_size);
        for (ByteView record : bridge ? fixed_microcode_records(area) : sized_microcode_records(area))
            print_entry(t, record, bridge);
    }
}

}  // namespace kitra::convert
