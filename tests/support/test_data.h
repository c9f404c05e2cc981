// Fixtures made by other tools, committed under tests/data/ with their
// source and the command that made them.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "base/bytes.h"
#include "platform/files.h"

namespace kitra::testing {

// The bytes of tests/data/<name>; empty (and a test failure) when missing.
inline base::Bytes test_data(const std::string& name) {
    const auto bytes = platform::read_file(std::string(KITRA_TEST_DATA) + "/" + name);
    EXPECT_TRUE(bytes.has_value()) << "missing fixture " << name;
    return bytes.value_or(base::Bytes{});
}

// tests/data/pe32/pe_reloc.efi rebased by hand to `address`: its six
// HIGHLOW targets (as objdump -p lists them) and its ImageBase.
inline base::Bytes pe_reloc_at(std::uint32_t address) {
    base::Bytes pe = test_data("pe32/pe_reloc.efi");
    if (pe.empty()) return pe;
    for (const std::uint64_t at : {0x401, 0x409, 0x40F, 0x808, 0x80C, 0x810})
        base::write_u32(pe, at, base::read_u32(pe, at) - 0x10000000 + address);
    base::write_u32(pe, 0x98 + 28, address);
    return pe;
}

}  // namespace kitra::testing
