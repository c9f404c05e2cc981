// Advice after an add found no room: one line after the message that says
// so, with how many bytes the add lacks and the smallest set of modules
// whose release would give it room, each with the bytes it frees. It is
// given only when the run asks for it (cli::Settings::advice: on a terminal,
// or with "/advice"), so scripts that read the output see what they always
// saw. A release closes the chain up behind the module, so the modules
// behind it move down; where position-dependent modules lie behind, they
// are made again for their new place and their pad may grow, so such a set
// is tried on a copy of the image before it is named.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "base/bytes.h"
#include "cli/run_state.h"

namespace kitra::regions {

// Whether the add fits when the chain of its area ends at `chain_end`, the
// area's other bounds as they are.
using FitsAt = std::function<bool(std::uint64_t chain_end)>;

// The chain an add needed room in.
struct ChainArea {
    std::uint64_t first = 0;  // the first module a release can take
    std::uint64_t end = 0;    // the chain's free end now
    std::uint64_t limit = 0;  // up to where a release closes the chain
    bool bootblock = false;   // the bootblock arena, whose modules are named only when asked
};

// The smallest set of modules of `area` (fewest first, then fewest bytes
// given up) whose release makes the add fit, as `fits_at` tells; the system
// BIOS lies before `area.first` and is never taken. Position-dependent
// modules, and every module of the bootblock arena, are taken only with
// `all_kinds`. Without a set, `release` is empty and `most` tells what
// every module it may take frees together.
cli::SpaceAdvice find_release(base::ByteView image, const ChainArea& area, std::uint64_t shortfall,
                              const FitsAt& fits_at, bool all_kinds);

// With the run asking for advice: the line for an add that lacks
// `shortfall` bytes in `area`, kept in run.advice too.
void advise_release(cli::Run& run, const ChainArea& area, std::uint64_t shortfall, const FitsAt& fits_at);

// The same for an add whose room no release changes (an area fixed by the
// bootblock, a top hole that would reach past the compressed area): `why`
// ends the line.
void advise_fixed(cli::Run& run, std::uint64_t shortfall, std::string_view why);

// The advice line, as printed.
std::string advice_line(const cli::SpaceAdvice& advice);

}  // namespace kitra::regions
