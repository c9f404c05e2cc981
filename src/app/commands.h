// The new commands' dispatch: `kitra --help`, and `kitra IMAGE --COMMAND
// [ARGUMENTS...]` (cli/new_command.h says what a command is). The commands
// are those the layers below declare; this file opens, holds and commits the
// image for them.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "app/run.h"
#include "cli/new_command.h"
#include "platform/console.h"

namespace kitra::app {

// Every new command, in the order `kitra --help` lists them.
std::span<const cli::NewCommand> new_commands();

// `args` (the program path first) is `kitra --help`, or names an image and
// then a word that starts with "--".
bool is_new_command_line(const std::vector<std::string>& args);

// Runs it; returns the exit status. A stop (Fatal) of the command is printed
// on the error stream, and the image is left as it was.
int run_new_command(const std::vector<std::string>& args, platform::Console& con, const RunOptions& options);

}  // namespace kitra::app
