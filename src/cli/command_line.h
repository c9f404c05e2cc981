// Start-up: the banner, the run settings made from the argument vector, and
// the usage text (with its page pauses) when the arguments are not usable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/boi_values.h"
#include "platform/console.h"

namespace kitra::cli {

struct LogoPosition {
    bool present = false;
    int x = 0;
    int y = 0;
};

// Whether a run that finds no room for an add says what would make room:
// not at all, naming the modules a user may give up without harm, or naming
// also the position-dependent and bootblock modules.
enum class Advice : std::uint8_t { kOff, kOn, kAll };

// The words that ask for the advice wherever they stand ("/advice" and
// "/advice:all", letter case ignored); like "/err", never an item's file.
bool is_advice_word(const std::string& word);

struct Settings {
    // The argument vector as the item loop reads it (args[0] is the program
    // path); a first option written "/group5" or "/TopHole:..." is already
    // cut to "/group" or "/TopHole" here.
    std::vector<std::string> args;
    std::string image_name;
    int first_option_index = 1;
    int first_option_code = 0;
    bool error_mode = false;
    // On a terminal the advice is given unasked; scripts that read the
    // output get it only when they ask for it.
    Advice advice = Advice::kOff;
    bool no_reserve = false;
    int group_number = 0;
    std::uint32_t top_hole_address = 0;  // as typed; the image layout turns it into a file offset
    LogoPosition logo_position;
    int data_alignment = 16;
    // /BOI as the first option: shown when nothing follows it, else set
    // from the nine values.
    bool boi_show = false;
    BoiValues boi_values;
};

struct StartUp {
    std::optional<Settings> settings;  // set: open the image and run the items
    int exit_status = 0;               // when settings is empty: end the run with this status
};

// `last_env` is the value of the environment variable _last (nullopt when unset).
StartUp start_up(std::vector<std::string> args, const std::optional<std::string>& last_env,
                 platform::Console& con);

// The usage text for a program path, with its three page pauses.
void print_usage(const std::string& program_path, platform::Console& con);

}  // namespace kitra::cli
