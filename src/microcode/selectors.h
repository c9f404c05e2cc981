// What `--microcode-remove` removes: each selector names updates of the
// listing by their processor, by processor and platform-ID mask or revision,
// or by their index in `--microcode`:
//
//   686               every update for CPUID 00000686 (also through its
//                     extended signatures); "0x686" alike
//   686,pf=10         ... whose platform-ID mask is 10h
//   686,rev=0C        ... whose revision is 0Ch (an AMD patch: its patch ID)
//   686,pf=10,rev=0C  both
//   index=7           the seventh update of the listing
//
// An AMD patch's CPUID is its processor revision ID, as the listing shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "convert/microcode_updates.h"

namespace kitra::microcode {

struct Selector {
    std::string text;                  // as given
    std::optional<std::size_t> index;  // from 1
    std::optional<std::uint32_t> cpuid;
    std::optional<std::uint32_t> platform_mask;
    std::optional<std::uint32_t> revision;
};

// The selector, or why `text` is none (a sentence without a full stop).
std::variant<Selector, std::string> parse_selector(const std::string& text);

// Whether `u`, the listing's update number `index`, is one the selector names.
bool selects(const Selector& s, const convert::Update& u, std::size_t index);

}  // namespace kitra::microcode
