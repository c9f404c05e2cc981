// The new commands: `kitra IMAGE --COMMAND [ARGUMENTS...]`, beside the legacy
// command lines. A word after the image that starts with "--" is never a
// legacy option, so no legacy command line changes meaning.
//
// A command is data: its word, a line for `kitra --help`, its whole help
// text, and one handler, whose shape says what the command may do with the
// image. The layer that does the work declares its commands; app/ opens the
// image for them (and a second one for the commands that compare two),
// holds and commits it for the ones that change it, and prints the help.
//
// Exit statuses: 0 done, 1 failed, 2 the command line is wrong; a command
// may give others where its help says so (--verify 3 on damage; --diff 1
// when the images differ). Results go to standard output (JSON with
// "--json", one document per run); refusals and errors go to the error
// stream, so that standard output stays one document.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::cli {

struct Run;

// An image a command reads: its bytes as read, its layout, its name as given.
struct ImageView {
    const std::string& path;
    base::ByteView bytes;
    const image::Layout& layout;
};

using Arguments = std::span<const std::string>;

// Reads one image; never writes it. Returns the exit status.
using ReadsImage = int (*)(const ImageView& image, Arguments args, platform::Console& con);
// Reads the image and a second one, named by the first argument (which the
// handler gets again as args[0]).
using ReadsTwoImages = int (*)(const ImageView& image, const ImageView& other, Arguments args,
                               platform::Console& con);
// Changes the image in memory through `run` (run.image, run.layout,
// run.con), as the legacy items do. app/ holds the image from opening to
// commit; when the handler returns 0 and the image changed, it is finished
// and committed atomically; any other status discards every change.
using ChangesImage = int (*)(Run& run, Arguments args);
// Runs a whole command line of its own (the program path, the image, the
// command word and its arguments): the dry run, which runs a legacy
// command line and writes nothing.
using RunsCommandLine = int (*)(const std::vector<std::string>& args, platform::Console& con);

// Makes the image anew from other files the arguments name; the image need
// not exist yet. The handler gives the bytes it made to `begin`, which finds
// their layout and returns the Run that holds them (nullptr, the reason on
// the error stream, when they are no usable image); it may then change them
// through the Run as a ChangesImage handler does. app/ holds an image that
// exists from before the handler starts to the commit. When the handler
// returns 0, the image is finished if the run changed it (its changes
// after `begin`, not the making) and written atomically when its file does
// not hold these bytes yet; any other status writes nothing.
struct ImageStart {
    const std::string& path;
    platform::Console& con;
    std::function<Run*(base::Bytes bytes)> begin;
};
using MakesImage = int (*)(const ImageStart& start, Arguments args);

struct NewCommand {
    std::string_view word;     // "--verify"
    std::string_view summary;  // one line of `kitra --help`, after the word
    std::string_view help;     // `kitra IMAGE --verify --help`: usage line first
    ReadsImage reads = nullptr;
    ReadsTwoImages reads_two = nullptr;
    ChangesImage changes = nullptr;
    // The exit status of a command that reads when an image cannot be read
    // or the command stops: 1, or 2 for --diff, whose 1 means "different".
    int trouble_status = 1;
    MakesImage makes = nullptr;
    RunsCommandLine runs_line = nullptr;
};

// Arguments a command takes: `take_switch` removes every "--name" and says
// whether there was one.
bool take_switch(std::vector<std::string>& args, std::string_view name);

// Tells the user the command line is wrong: the reason and the command's
// usage line on the error stream; returns 2.
int wrong_command_line(platform::Console& con, const NewCommand& command, std::string_view reason);

}  // namespace kitra::cli
