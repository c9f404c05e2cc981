#include "edit/slot_choice.h"

#include <string>
#include <vector>

#include "base/text.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "convert/acpi_tables.h"
#include "edit/extract_name.h"

namespace kitra::edit {

namespace {

using platform::print;

bool in_family(Family family, std::uint16_t type_id) {
    return cli::family_range(family).contains(type_id);
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
        case Family::kAcpiSdt:
            if (is_upper(key)) return key - 'A';
            if (is_lower(key)) return key - 'a';
            return std::nullopt;
        case Family::kGroup:
        case Family::kNone:
            break;
    }
    return std::nullopt;
}

// A field of an ACPI table header as text, safe to show.
std::string table_field(base::ByteView contents, std::uint64_t offset, std::uint64_t width) {
    return base::printable(convert::acpi_header_text(contents, offset, width));
}

void print_slot_line(cli::Run& run, Family family, const codec::ModuleInfo& m) {
    const char letter = cli::slot_letter(family, m.type_id);
    const std::string name = base::printable(stored_name_of(m));
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
        case Family::kAcpiSdt: {
            // The line shows the table's own header fields: signature, OEM
            // table ID and OEM revision.
            namespace acpi = convert::acpi;
            const base::ByteView module =
                base::slice(base::ByteView(run.image.bytes()), m.offset, m.length());
            const base::Bytes contents = codec::unpack(module, run.report()).value_or(base::Bytes{});
            print(run.con, "ACPI table ROM - - -  : %c     %s      %s   %s        %s\n", letter,
                  table_field(contents, acpi::kSignature, acpi::kSignatureSize).c_str(),
                  table_field(contents, acpi::kOemTableId, acpi::kOemTableIdSize).c_str(),
                  table_field(contents, acpi::kOemRevision, acpi::kOemRevisionSize).c_str(), name.c_str());
            return;
        }
        case Family::kGroup:
        case Family::kNone:
            return;
    }
}

}  // namespace

bool chooses_slot(Family family) {
    return family == Family::kVga || family == Family::kPci || family == Family::kIsa ||
           family == Family::kAcpiSdt;
}

SlotChoice choose_slot(cli::Run& run, Family family) {
    if (family == Family::kAcpiSdt)
        print(run.con, "ACPI table ROM - - -  : Index Signature OemTableId OemRevision FileName\n");

    std::vector<std::uint16_t> listed;
    std::uint64_t pos = run.layout.walk_start;
    while (const auto m = codec::module_at(run.image.bytes(), pos)) {
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
        const int id = cli::family_range(family).first + *slot;
        if (id > cli::family_range(family).last) return choice;
        type_id = static_cast<std::uint16_t>(id);
    }
    choice.kind = SlotChoice::Kind::kChosen;
    choice.type_id = type_id;
    choice.letter = cli::slot_letter(family, type_id);
    return choice;
}

}  // namespace kitra::edit
