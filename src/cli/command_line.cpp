#include "cli/command_line.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <span>
#include <string_view>

#include "cli/catalogue.h"
#include "cli/options.h"

namespace kitra::cli {

namespace {

constexpr std::string_view kVersion = "V1.99 [02/12/2010]";

constexpr std::string_view kGroupPrefix = "/group";
constexpr std::string_view kTopHolePrefix = "/TopHole:";

bool has_word(int code, std::uint8_t bit) {
    const CatalogueEntry* entry = entry_for_code(code);
    return entry != nullptr && entry->has(bit);
}

// Options that make sense without a RomFile: they list, show, or use a
// built-in input. Some may stand alone only when the image is named by
// _last; after an InputFile they need their file.
bool stands_alone(int code, bool image_named) {
    return has_word(code, word::kAlone) || (!image_named && has_word(code, word::kAloneFirst));
}

// The data alignment of a run whose first option is `code`: the alignment
// unit of PE32 modules, 128 bytes, else 16.
int data_alignment_of(int code) {
    constexpr int kPe32Alignment = 128;
    return kind_of(code).alignment == kPe32Alignment ? kPe32Alignment : 16;
}

bool starts_with_ignoring_case(std::string_view word, std::string_view prefix) {
    return word.size() >= prefix.size() && equal_ignoring_case(word.substr(0, prefix.size()), prefix);
}

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int digit_value(char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'z')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'Z')
        v = c - 'A' + 10;
    return v < base ? v : -1;
}

// Numbers on the command line are read the way C's strtol reads them into a
// 32-bit long: leading blanks, an optional sign, the leading digits (after
// "0x" for hexadecimal); no digits give 0, and a number too large for 32 bits
// stops at the largest (or smallest) value, however many digits follow.
std::int32_t leading_number(std::string_view text, int base) {
    std::size_t i = 0;
    while (i < text.size() && is_space(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (base == 16 && i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        digit_value(text[i + 2], 16) >= 0)
        i += 2;
    // Accumulate the magnitude up to one past the largest magnitude.
    constexpr std::int64_t kLimit = std::int64_t{INT32_MAX} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int v = digit_value(text[i], base);
        if (v < 0) break;
        magnitude = std::min(magnitude * base + v, kLimit);
    }
    if (negative) return static_cast<std::int32_t>(-magnitude);  // down to INT32_MIN
    return static_cast<std::int32_t>(std::min(magnitude, std::int64_t{INT32_MAX}));
}

// "/TopHole:address". The address is a 32-bit ROM address, usually near the
// top of 4 GB (FFFD0000), which a signed 32-bit conversion cannot hold: it
// stops at 7FFFFFFF. Such a value is read again as two 16-bit halves of four
// characters each.
std::uint32_t top_hole_address(std::string_view text) {
    const auto whole = static_cast<std::uint32_t>(leading_number(text, 16));
    if (whole < 0x7FFFFFFFu) return whole;
    const std::string_view high_text = text.substr(0, std::min<std::size_t>(4, text.size()));
    const std::string_view low_text = text.size() > 4 ? text.substr(4, 4) : std::string_view{};
    const auto high = static_cast<std::uint32_t>(leading_number(high_text, 16));
    const auto low = static_cast<std::uint32_t>(leading_number(low_text, 16));
    return high * 0x10000u + low;
}

// Steps shared by the first word of the command line and, after an
// InputFile, the second: "/group<n>" and "/TopHole:<address>" carry a value
// and are cut to the bare option so that the item loop finds the option.
// Returns the option code of the word.
bool is_no_reserve(const std::string& word) {
    return equal_ignoring_case(word, "noreserve");
}

// "noreserve" keeps a logo's own palette. It counts anywhere on a command
// line whose first item is a logo that takes it, and right after the
// RomFile of any such item, in both forms of the command line: the usage
// text offers it without restriction, and ignoring it silently changed the
// user's colours.
bool no_reserve_asked(const std::vector<std::string>& args, std::size_t first_option, int first_code) {
    if (has_word(first_code, word::kNoReserve) && std::any_of(args.begin() + 1, args.end(), is_no_reserve))
        return true;
    for (std::size_t i = first_option; i + 2 < args.size(); ++i)
        if (is_no_reserve(args[i + 2]) && has_word(lookup_option(args[i]), word::kNoReserve)) return true;
    return false;
}

int classify_option_word(std::string& word, Settings& settings) {
    if (starts_with_ignoring_case(word, kGroupPrefix)) {
        settings.group_number = leading_number(std::string_view(word).substr(kGroupPrefix.size()), 10);
        word.resize(kGroupPrefix.size());
    }
    const int code = lookup_option(word);
    if (code == 0 && starts_with_ignoring_case(word, kTopHolePrefix)) {
        settings.top_hole_address = top_hole_address(std::string_view(word).substr(kTopHolePrefix.size()));
        word.resize(kTopHolePrefix.size() - 1);  // "/TopHole", without the colon
        return option::kTopHole;
    }
    return code;
}

constexpr std::string_view kAdviceWord = "/advice";
constexpr std::string_view kAdviceAllWord = "/advice:all";

Advice advice_asked(const std::vector<std::string>& args, const platform::Console& con) {
    Advice asked = con.out_is_terminal ? Advice::kOn : Advice::kOff;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (equal_ignoring_case(args[i], kAdviceAllWord)) return Advice::kAll;
        if (equal_ignoring_case(args[i], kAdviceWord)) asked = Advice::kOn;
    }
    return asked;
}

}  // namespace

bool is_advice_word(const std::string& word) {
    return equal_ignoring_case(word, kAdviceWord) || equal_ignoring_case(word, kAdviceAllWord);
}

StartUp start_up(std::vector<std::string> args, const std::optional<std::string>& last_env,
                 platform::Console& con) {
    if (args.empty()) args.emplace_back("kitra");
    platform::write(con, args[0] + " " + std::string(kVersion) + "\n");

    Settings settings;
    const std::size_t count = args.size() - 1;  // arguments after the program path
    // /err is a switch for the whole run wherever it stands; the item loop
    // stops when it reaches it.
    settings.error_mode = std::any_of(args.begin() + 1, args.end(),
                                      [](const std::string& a) { return equal_ignoring_case(a, "/err"); });
    settings.advice = advice_asked(args, con);

    int code = 0;
    if (count >= 1) {
        code = classify_option_word(args[1], settings);
        if (code == 0) settings.first_option_index = 2;
        if (has_word(code, word::kPosition) && count == 4) {
            settings.logo_position = {true, leading_number(args[3], 10), leading_number(args[4], 10)};
        }
        if (count == 1 && !stands_alone(code, false)) code = 0;
    }

    if (code != 0) {
        // The first word is an option: the image is the one the build last
        // worked on, named by _last. The items start at the first word, also
        // in the "/TopHole:" form, whose word only became an option when it
        // was cut; starting after it would skip the top hole item and take
        // its RomFile for an option.
        settings.first_option_index = 1;
        if (!last_env) {
            platform::write(con, "Not settype so unknow BIOS file name...");
            return {std::nullopt, settings.error_mode ? 1 : 0};
        }
        settings.image_name = *last_env + ".bin";
    } else if (count >= 2) {
        settings.image_name = args[1];
        settings.first_option_index = 2;
        code = classify_option_word(args[2], settings);
        if (count == 2 && !stands_alone(code, true)) code = 0;
    }

    const auto first = static_cast<std::size_t>(settings.first_option_index);
    const std::string first_word = first < args.size() ? args[first] : std::string{};
    const std::size_t words_after = first < args.size() ? args.size() - first - 1 : 0;
    if (code != 0 && lookup_option(first_word) == option::kBoi) {
        const BoiRequest boi = read_boi_request(std::span(args).subspan(first + 1));
        if (boi.form == BoiForm::kWrong) {
            print_boi_wrong(con);
            code = 0;
        }
        settings.boi_show = boi.form == BoiForm::kShow;
        settings.boi_values = boi.values;
    }
    // A listing run does nothing else: /D must be the last word.
    if (code != 0 && lookup_option(first_word) == option::kList && words_after > 0) code = 0;
    if (code != 0) settings.no_reserve = no_reserve_asked(args, first, code);
    settings.data_alignment = data_alignment_of(code);
    settings.first_option_code = code;

    if (code == 0) {
        print_usage(args[0], con);
        return {std::nullopt, 0};
    }
    settings.args = std::move(args);
    return {std::move(settings), 0};
}

}  // namespace kitra::cli
