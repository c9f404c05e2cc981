// Expected bytes written out in tests: numbers, text and repeats, joined with +.
#pragma once

#include <initializer_list>
#include <string_view>

#include "base/bytes.h"

namespace kitra::testing {

inline base::Bytes bytes(std::initializer_list<int> values) {
    base::Bytes b;
    for (int v : values) b.push_back(static_cast<std::uint8_t>(v));
    return b;
}

inline base::Bytes text(std::string_view s) {
    return base::Bytes(s.begin(), s.end());
}

inline base::Bytes operator+(base::Bytes a, const base::Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline base::Bytes repeat(std::initializer_list<int> values, std::size_t times) {
    base::Bytes out;
    for (std::size_t i = 0; i < times; ++i) out = out + bytes(values);
    return out;
}

}  // namespace kitra::testing
