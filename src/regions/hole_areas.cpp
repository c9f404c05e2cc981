#include "regions/hole_areas.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "cli/catalogue.h"
#include "image/editable.h"
#include "image/extract_file.h"
#include "image/listing_format.h"
#include "image/markers.h"

namespace kitra::regions {

namespace {

using base::ByteView;
using platform::print;

// The name column of a hole line lies further right than a module row's.
constexpr int kHoleNameColumn = 60;
constexpr const char* kDefaultExtractName = "tempdrive.rom";

cli::ItemResult failed() {
    return {.failed = true, .end_loop = false};
}

// The options /HOLE0 .. /HOLE7 carry the hole number in their type IDs, in
// order from the first hole kind's.
int hole_number(const cli::Item& item) {
    static const std::uint16_t first = [] {
        std::uint16_t lowest = cli::kNoType;
        for (const cli::CatalogueEntry& e : cli::catalogue())
            if (e.kind.place == cli::Place::kHole) lowest = std::min(lowest, e.type_id);
        return lowest;
    }();
    return item.type.type_id - first;
}

std::uint16_t hole_id(int number) {
    return static_cast<std::uint16_t>(hole::kFirstHoleId + number);
}

cli::ItemResult no_directory(cli::Run& run) {
    print(run.con, "BIOS file doesn't support Hole \n");
    return failed();
}

cli::ItemResult mismatch(cli::Run& run) {
    print(run.con, "Hole Structure information of BIOS file doesn't match \n");
    return failed();
}

// The table page, when it lies inside the image.
std::optional<std::uint64_t> table_offset(cli::Run& run, const HoleDirectory& d) {
    const std::uint64_t table = d.table();
    if (base::in_range(run.image.bytes(), table, hole::kTableSize)) return table;
    print(run.con,
          "The hole table page at %llXh lies outside the image; the image will be left unmodified.\n",
          static_cast<unsigned long long>(table));
    return std::nullopt;
}

// A hole that a file is written into or read from must lie inside the image.
bool hole_inside(cli::Run& run, int number, const HoleEntry& entry) {
    if (base::in_range(run.image.bytes(), entry.start(), entry.size())) return true;
    print(run.con,
          "HOLE%d (%llXh bytes at %llXh) lies outside the image; the image will be left unmodified.\n",
          number, static_cast<unsigned long long>(entry.size()),
          static_cast<unsigned long long>(entry.start()));
    return false;
}

// The record of a hole: the first with its ID, within the table page and
// before the end ID.
std::optional<std::uint64_t> find_record(ByteView image, std::uint64_t table, std::uint16_t id) {
    for (std::uint64_t at = table; at < table + hole::kTableSize; at += hole::kRecordSize) {
        const std::uint16_t record_id = base::read_u16(image, at + hole::kRecordId);
        if (record_id == id) return at;
        if (record_id == hole::kEndId) break;
    }
    return std::nullopt;
}

// An erased table page gets a table of one empty record per directory entry
// before its first record is written.
bool prepare_table(cli::Run& run, std::uint64_t table, std::size_t holes) {
    if (base::read_u16(run.image.bytes(), table) != hole::kEndId) return true;
    const std::uint64_t records = holes * hole::kRecordSize;
    if (records + 2 > hole::kTableSize) {
        print(run.con,
              "The hole directory lists %zu holes, more than a hole table page holds; the image will be left "
              "unmodified.\n",
              holes);
        return false;
    }
    image::fill(run.image, table, records, 0);
    image::write_u16(run.image, table + records, hole::kEndId);
    return true;
}

// The word after the component file.
bool checksum_asked(const cli::Run& run, const cli::Item& item) {
    const std::size_t at =
        static_cast<std::size_t>(item.index) + static_cast<std::size_t>(item.type.type_words) + 2;
    return at < run.settings.args.size() && cli::equal_ignoring_case(run.settings.args[at], "checksum");
}

std::string kilobytes_field(std::uint32_t size) {
    return base::format("  %Xh(%.2fK)", size, static_cast<double>(static_cast<float>(size) / 1024.0f));
}

}  // namespace

std::optional<HoleDirectory> find_hole_directory(ByteView image) {
    const std::uint64_t start =
        image.size() >= hole::kSearchFromEnd ? image.size() - hole::kSearchFromEnd : 0;
    const auto at = image::find_marker(image, start, hole::kSearchPositions, hole::kMarker);
    if (!at) return std::nullopt;
    return HoleDirectory{*at, base::clipped(image, *at, hole::kDirectorySize)};
}

std::vector<HoleEntry> hole_entries(const HoleDirectory& d) {
    std::vector<HoleEntry> out;
    for (std::uint64_t at = hole::kEntries; base::in_range(d.block, at, hole::kEntrySize);
         at += hole::kEntrySize) {
        const std::uint16_t id = base::read_u16(d.block, at + hole::kEntryId);
        if (id == hole::kEndId) break;
        out.push_back({id, base::read_u16(d.block, at + hole::kEntryFirstPage),
                       base::read_u16(d.block, at + hole::kEntryPages)});
    }
    return out;
}

std::vector<HoleRecord> hole_records(ByteView image, const HoleDirectory& d) {
    std::vector<HoleRecord> out;
    const std::uint64_t table = d.table();
    for (std::uint64_t at = table; at < table + hole::kTableSize; at += hole::kRecordSize) {
        if (!base::in_range(image, at, hole::kRecordSize)) break;
        const std::uint16_t id = base::read_u16(image, at + hole::kRecordId);
        if (id == hole::kEndId) break;
        if (id == hole::kEmptyId) continue;
        out.push_back(
            {at, id, base::read_u32(image, at + hole::kRecordFileSize),
             image::c_string(base::text_of(base::slice(image, at + hole::kRecordName, hole::kNameLength)))});
    }
    return out;
}

void print_hole_lines(ByteView image, const image::Layout& /*layout*/, platform::Console& con) {
    const auto dir = find_hole_directory(image);
    if (!dir) {
        platform::write(con, "\n");
        return;
    }
    for (const HoleRecord& r : hole_records(image, *dir)) {
        print(con, "(SP) HOLE%d           ", r.id - hole::kFirstHoleId);
        platform::write(con, kilobytes_field(r.size));
        platform::move_to_column(con, image::kSizeColumn);
        platform::write(con, kilobytes_field(r.size));
        platform::move_to_column(con, kHoleNameColumn);
        print(con, "%s\n", r.name.c_str());
    }
    const auto total = static_cast<std::uint32_t>(dir->total_size());
    print(con, "\n  Total hole area space      = %1X%04Xh(%.2fK)\n", total >> 16, total & 0xFFFF,
          static_cast<double>(static_cast<float>(total) / 1024.0f));
}

cli::ItemResult add_to_hole(cli::Run& run, const cli::Item& item) {
    print(run.con, "%s doesn't compress \n", base::printable(item.component_name).c_str());
    const int number = hole_number(item);
    const auto dir = find_hole_directory(run.image.bytes());
    if (!dir) return no_directory(run);
    const auto table = table_offset(run, *dir);
    if (!table) return failed();
    const std::vector<HoleEntry> entries = hole_entries(*dir);
    if (!prepare_table(run, *table, entries.size())) return failed();

    const std::uint16_t id = hole_id(number);
    const auto entry =
        std::find_if(entries.begin(), entries.end(), [&](const HoleEntry& e) { return e.id == id; });
    if (entry == entries.end() || entry->size() < item.component.size()) return mismatch(run);
    if (!hole_inside(run, number, *entry)) return failed();
    const bool checksum = checksum_asked(run, item);
    if (checksum && entry->pages == 0) {
        print(run.con,
              "HOLE%d has no pages, so it has no last byte for a checksum; the image will be left "
              "unmodified.\n",
              number);
        return failed();
    }

    const std::uint64_t record = *table + static_cast<std::uint64_t>(number) * hole::kRecordSize;
    image::write_u16(run.image, record + hole::kRecordId, id);
    image::write_u32(run.image, record + hole::kRecordFileSize,
                     static_cast<std::uint32_t>(item.component.size()));
    // The name with its NUL when it fits; a name of 26 bytes or more fills
    // the field without one.
    std::string name = item.component_name;
    name.push_back('\0');
    name.resize(std::min<std::size_t>(name.size(), hole::kNameLength));
    image::copy_into(run.image, record + hole::kRecordName, base::view_of(name));

    image::copy_into(run.image, entry->start(), item.component);
    if (checksum) {
        // The sum itself, not its negation: the firmware compares it.
        const std::uint64_t last = entry->start() + entry->size() - 1;
        image::write_u8(
            run.image, last,
            base::sum8(base::slice(ByteView(run.image.bytes()), entry->start(), entry->size() - 1)));
    }
    run.flags.areas_written = true;
    return {};
}

cli::ItemResult release_or_extract_hole(cli::Run& run, const cli::Item& item) {
    const int number = hole_number(item);
    const auto dir = find_hole_directory(run.image.bytes());
    if (!dir) return no_directory(run);
    const std::uint16_t id = hole_id(number);
    const std::vector<HoleEntry> entries = hole_entries(*dir);
    const auto entry =
        std::find_if(entries.begin(), entries.end(), [&](const HoleEntry& e) { return e.id == id; });
    if (entry == entries.end()) return mismatch(run);
    const auto table = table_offset(run, *dir);
    if (!table) return failed();
    const auto record = find_record(run.image.bytes(), *table, id);
    if (!record) {
        print(run.con, "This Hole area doesn't have data. \n");
        return failed();
    }

    if (item.kind == cli::ArgumentKind::Release) {
        // Only the record goes; the hole keeps its bytes.
        image::fill(run.image, *record, hole::kRecordSize, 0);
        print(run.con, "HOLE%d is release\n", number);
        run.flags.areas_written = true;
        return {};
    }

    const std::uint32_t size = base::read_u32(run.image.bytes(), *record + hole::kRecordFileSize);
    if (!hole_inside(run, number, *entry)) return failed();
    if (size > entry->size()) {
        print(run.con, "HOLE%d records %Xh bytes, more than its hole of %llXh bytes; nothing is extracted.\n",
              number, size, static_cast<unsigned long long>(entry->size()));
        return failed();
    }
    print(run.con, "Enter an extract file Name :(%s) ", kDefaultExtractName);
    const std::optional<std::string> answer = platform::read_line(run.con);
    const std::string file = answer && !answer->empty() ? *answer : kDefaultExtractName;
    const ByteView data = base::slice(ByteView(run.image.bytes()), entry->start(), size);
    if (!image::write_extract_file(run.con, run.image.path(), file, base::Bytes(data.begin(), data.end()),
                                   run.write_file))
        return failed();
    print(run.con, "HOLE%d extracted to %s\n", number, base::printable(file).c_str());
    return {};
}

}  // namespace kitra::regions
