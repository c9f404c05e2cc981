#include "cli/item_type.h"

#include <array>
#include <optional>
#include <string_view>

#include "cli/catalogue.h"
#include "cli/options.h"
#include "codec/module_header.h"

namespace kitra::cli {

namespace {

// The group modules: one text per group number, so that the text handed to
// the packer and the type ID computed from the group number always agree.
constexpr std::array<std::string_view, kMaxGroupNumber + 1> kGroupTypeTexts = {
    {"4029:0", "402A:0", "402B:0", "402C:0", "402D:0", "402E:0", "402F:0", "4030:0", "4031:0", "4032:0",
     "4033:0", "4034:0", "4035:0", "4036:0", "4037:0", "4038:0", "4039:0", "403A:0", "403B:0", "403C:0",
     "403D:0", "403E:0", "403F:0", "4040:0", "4041:0", "4042:0", "4043:0", "4044:0"}};
constexpr std::uint16_t kFirstGroupType = 0x4029;

// ISA ROMs with a segment of their own go to slots A-D (from 0x40A0), the
// others to slots 1-4 (from 0x40A4).
constexpr std::string_view kIsaSegmentText = "40A0:0";
constexpr std::string_view kIsaPlainText = "40A4:0";

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The hexadecimal number at the start of `word`, read up to its end or to
// one of `stops`. Empty when another character comes first or the number
// does not fit `limit`; `digits` counts the digits read.
std::optional<std::uint32_t> leading_hex(std::string_view word, std::string_view stops, std::uint32_t limit,
                                         int& digits) {
    std::uint64_t value = 0;
    digits = 0;
    for (char c : word) {
        if (stops.find(c) != std::string_view::npos) break;
        const int v = hex_value(c);
        if (v < 0) return std::nullopt;
        value = value * 16 + static_cast<std::uint64_t>(v);
        if (value > limit) return std::nullopt;
        ++digits;
    }
    return static_cast<std::uint32_t>(value);
}

void report_bad_parameter(platform::Console& con, const std::string& word) {
    platform::print(con, "Input parameter %s error.", word.c_str());
}

bool is_release_or_extract(std::string_view word) {
    return equal_ignoring_case(word, "release") || equal_ignoring_case(word, "extract");
}

const std::string* word_at(const TypeContext& context, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= context.args.size()) return nullptr;
    return &context.args[static_cast<std::size_t>(index)];
}

void set_type(ItemType& item, std::string_view text) {
    item.type_id_text = std::string(text);
    item.type_id = codec::parse_type_id_text(text).id;
}

// /other: the word after the option is the type ID text, as typed.
void select_other(ItemType& item, const TypeContext& context, platform::Console& con) {
    item.type_words = 1;
    const std::string* word = word_at(context, context.index + 1);
    item.refused = true;  // until the word is found good
    if (!word) {
        report_bad_parameter(con, "");
        return;
    }
    int digits = 0;
    // A type ID is 16 bits: a longer number would silently become another
    // kind of module, so it is refused like any other bad type word.
    const std::optional<std::uint32_t> id = leading_hex(*word, ":", 0xFFFF, digits);
    if (!id || digits == 0) {
        report_bad_parameter(con, *word);
        return;
    }
    item.valid = true;
    item.refused = false;
    item.type_id_text = *word;
    item.type_id = static_cast<std::uint16_t>(*id);
}

// /isa: an optional segment word after the RomFile. A following option
// ("/err") or a type-like "C800:0" ends the number at its '/' or ':'.
void select_isa(ItemType& item, const TypeContext& context, platform::Console& con) {
    item.valid = true;
    const std::string* rom_file = word_at(context, context.index + 1);
    const std::string* segment_word = word_at(context, context.index + 2);
    if (rom_file && segment_word && lookup_option(*rom_file) == 0 && !is_release_or_extract(*rom_file)) {
        int digits = 0;
        const std::optional<std::uint32_t> segment = leading_hex(*segment_word, ":/", 0xFFFFFFFF, digits);
        if (segment) {
            item.isa_segment = *segment;
        } else {
            report_bad_parameter(con, *rom_file);
            item.isa_segment_bad = true;
        }
    }
    set_type(item, item.isa_segment != 0 ? kIsaSegmentText : kIsaPlainText);
}

void select_group(ItemType& item, const TypeContext& context, platform::Console& con) {
    if (context.group_number < 0 || context.group_number > kMaxGroupNumber) {
        platform::print(con, "Group number %d out of range (0-%d).\n", context.group_number, kMaxGroupNumber);
        item.refused = true;
        return;
    }
    item.valid = true;
    const auto group = static_cast<std::size_t>(context.group_number);
    item.type_id_text = std::string(kGroupTypeTexts[group]);
    item.type_id = static_cast<std::uint16_t>(kFirstGroupType + context.group_number);
}

}  // namespace

ItemType select_type(int option_code, const TypeContext& context, platform::Console& con) {
    ItemType item;
    const CatalogueEntry* entry = entry_for_code(option_code);
    if (!entry) return item;  // not an option: the item loop ends here
    item.option_code = option_code;
    switch (option_code) {
        case option::kNcr:
        case option::kAha: {
            // The SCSI ROMs are plain PCI ROMs; the item runs as /pci from here on.
            const CatalogueEntry* pci = entry_for_code(option::kPci);
            item.valid = true;
            item.option_code = option::kPci;
            set_type(item, pci->type_id_text);
            return item;
        }
        case option::kOther:
            select_other(item, context, con);
            return item;
        case option::kIsa:
            select_isa(item, context, con);
            return item;
        case option::kGroup:
            select_group(item, context, con);
            return item;
        case option::kBtVga:
            // The bootblock VGA ROM has a place only in the extended bootblock layout.
            item.valid = context.extended_layout;
            return item;
        default:
            break;
    }
    item.valid = true;
    // Options without a module (/d, /NVMM, /NVPMU, /BOI) keep the empty text
    // and the type ID 0xFFFF; /TOPHOLE has "0:0".
    if (!entry->type_id_text.empty()) set_type(item, entry->type_id_text);
    return item;
}

}  // namespace kitra::cli
