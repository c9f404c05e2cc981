// xorshift64*: deterministic pseudo-random numbers, the same on every
// machine, for test inputs and benchmark data.
#pragma once

#include <cstdint>

namespace kitra::testing {

struct Rng {
    std::uint64_t s;
    explicit Rng(std::uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint32_t next() {
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return static_cast<std::uint32_t>((s * 0x2545F4914F6CDD1Dull) >> 32);
    }
    unsigned below(unsigned n) { return next() % n; }
};

}  // namespace kitra::testing
