// The item loop of a legacy command line and the end of its run: the items
// in command-line order, each handed to the one operation its kind names,
// then the finishing of the image and the failure summary. A real run and a
// dry run go through it alike; a dry run watches each item.
#pragma once

#include <functional>

#include "cli/run_state.h"

namespace kitra::app {

// An item the loop ran.
struct ItemDone {
    int index = 0;  // of its option word
    int next = 0;   // of the word after it
    int option_code = 0;
    bool failed = false;     // what it did is undone (unless it keeps its changes) and /err counts it
    bool ends_loop = false;  // no item after it runs
};

// What a dry run learns of each item as the loop runs it.
struct ItemWatch {
    std::function<void(const cli::Run& run, int index)> before;
    std::function<void(const cli::Run& run, const ItemDone& item)> after;
};

struct ItemsRun {
    int status = 0;         // the exit status
    bool finished = false;  // the image was finished
    int stopped_at = 0;     // the word the loop stopped at (the number of words: it ran to the end)
};

ItemsRun run_items(cli::Run& run, const ItemWatch& watch = {});

}  // namespace kitra::app
