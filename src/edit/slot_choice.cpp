#include "edit/slot_choice.h"

#include <algorithm>
#include <string>
#include <vector>

#include "cli/options.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "edit/extract_name.h"

namespace kitra::edit {

namespace {

using platform::print;

struct Range {
    std::uint16_t first;
    std::uint16_t last;
};

Range range_of(Family family) {
    switch (family) {
        case Family::kVga:
            return {0x4080, 0x4085};
        case Family::kPci:
            return {0x4086, 0x409F};
        case Family::kIsa:
            return {0x40A0, 0x40A7};
        case Family::kAcpi:
            return {0x40C0, 0x40C9};
    }
    return {0, 0};
}

bool in_family(Family family, std::uint16_t type_id) {
    const Range r = range_of(family);
    return type_id >= r.first && type_id <= r.last;
}

bool is_upper(char key) {
    return key >= 'A' && key <= 'Z';
}
bool is_lower(char key) {
    return key >= 'a' && key <= 'z';
}

// The slot a key names, counted from the family's first ID. The keys follow
// the letters the listing shows; the ISA ROMs are numbered by letter from
// 0x40A0 and by digit from 0x40A4, so "E" and "1" name the same slot. The
// slot may lie past the family's last ID: the caller decides.
std::optional<int> slot_of_key(Family family, char key) {
    switch (family) {
        case Family::kVga:
            if (key >= '1' && key <= '6') return key - '1';
            return std::nullopt;
        case Family::kIsa:
            if (key >= '1' && key <= '6') return 4 + (key - '1');
            [[fallthrough]];
        case Family::kPci:
        case Family::kAcpi:
            if (is_upper(key)) return key - 'A';
            if (is_lower(key)) return key - 'a';
            return std::nullopt;
    }
    return std::nullopt;
}

// A field of an ACPI table header: `width` bytes at `offset`, ending early at
// a zero byte or at the end of the contents.
std::string table_field(image::ByteView contents, std::uint64_t offset, std::uint64_t width) {
    const image::ByteView field = image::clipped(contents, offset, width);
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return platform::printable(std::string(field.begin(), end));
}

void print_slot_line(cli::Run& run, Family family, const codec::ModuleInfo& m) {
    const char letter = slot_letter(family, m.type_id);
    const std::string name = platform::printable(stored_name_of(m));
    switch (family) {
        case Family::kVga:
            print(run.con, "VGA ROM - - - [%c] : %s\n", letter, name.c_str());
            return;
        case Family::kPci:
            print(run.con, "PCI ROM - - - [%c] : %s\n", letter, name.c_str());
            return;
        case Family::kIsa:
            print(run.con, "ISA ROM - - - [%c] : %s\n", letter, name.c_str());
            return;
        case Family::kAcpi: {
            // The line shows the table's own header fields: signature (4 bytes
            // at 0), OEM table ID (8 at 16), OEM revision (4 at 24).
            const image::ByteView module =
                image::slice(image::ByteView(run.image.bytes), m.offset, m.length());
            const image::Bytes contents = codec::unpack(module, run.con).value_or(image::Bytes{});
            print(run.con, "ACPI table ROM - - -  : %c     %s      %s   %s        %s\n", letter,
                  table_field(contents, 0, 4).c_str(), table_field(contents, 16, 8).c_str(),
                  table_field(contents, 24, 4).c_str(), name.c_str());
            return;
        }
    }
}

}  // namespace

std::optional<Family> family_of(int option_code) {
    switch (option_code) {
        case cli::option::kVga:
            return Family::kVga;
        case cli::option::kPci:
            return Family::kPci;
        case cli::option::kIsa:
            return Family::kIsa;
        case cli::option::kAcpiModule:
            return Family::kAcpi;
        default:
            return std::nullopt;
    }
}

char slot_letter(Family family, std::uint16_t type_id) {
    const int slot = type_id - range_of(family).first;
    switch (family) {
        case Family::kVga:
            return static_cast<char>('1' + slot);
        case Family::kIsa:
            return static_cast<char>(slot < 4 ? 'A' + slot : '1' + (slot - 4));
        case Family::kPci:
        case Family::kAcpi:
            return static_cast<char>('A' + slot);
    }
    return '?';
}

SlotChoice choose_slot(cli::Run& run, Family family) {
    if (family == Family::kAcpi)
        print(run.con, "ACPI table ROM - - -  : Index Signature OemTableId OemRevision FileName\n");

    std::vector<std::uint16_t> listed;
    std::uint64_t pos = run.layout.walk_start;
    while (const auto m = codec::module_at(run.image.bytes, pos)) {
        if (in_family(family, m->type_id)) {
            print_slot_line(run, family, *m);
            listed.push_back(m->type_id);
        }
        pos += m->step();
    }

    SlotChoice choice;
    if (listed.empty()) return choice;
    std::uint16_t type_id = listed.front();
    if (listed.size() > 1) {
        print(run.con, "Enter a choice:");
        const std::optional<char> key = platform::read_key(run.con);
        const std::optional<int> slot = key ? slot_of_key(family, *key) : std::nullopt;
        if (!slot) {
            choice.kind = SlotChoice::Kind::kCancelled;
            return choice;
        }
        // A key past the family's last slot would name a module of another
        // kind that happens to carry the next type ID; it is never taken for
        // one of the family.
        const int id = range_of(family).first + *slot;
        if (id > range_of(family).last) return choice;
        type_id = static_cast<std::uint16_t>(id);
    }
    choice.kind = SlotChoice::Kind::kChosen;
    choice.type_id = type_id;
    choice.letter = slot_letter(family, type_id);
    return choice;
}

}  // namespace kitra::edit
