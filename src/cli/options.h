// Option codes of the options with a rule of their own in the command line,
// the type selection or the run flow. What kind of component an option names
// is not here: the catalogue says that as data.
#pragma once

namespace kitra::cli::option {
constexpr int kNcr = 2;
constexpr int kAha = 3;
constexpr int kOther = 4;
constexpr int kList = 7;
constexpr int kCpuCode = 8;
constexpr int kPci = 13;
constexpr int kIsa = 17;
constexpr int kBtVga = 37;
constexpr int kGroup = 53;
constexpr int kBoi = 138;
constexpr int kTopHole = 144;
}  // namespace kitra::cli::option
