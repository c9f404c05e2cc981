// Output compared byte for byte with a document kept under tests/data/. After
// a deliberate change of the output, KITRA_WRITE_GOLDEN=1 writes the
// documents anew instead (review them with git diff before committing).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/bytes.h"
#include "platform/files.h"

namespace kitra::testing {

inline std::string golden_path(const std::string& name) {
    return std::string(KITRA_TEST_DATA) + "/" + name;
}

inline void expect_golden(const std::string& name, const std::string& actual) {
    const char* write = std::getenv("KITRA_WRITE_GOLDEN");
    if (write != nullptr && std::string(write) == "1") {
        ASSERT_TRUE(platform::write_file(golden_path(name), base::Bytes(actual.begin(), actual.end())))
            << name;
        return;
    }
    const auto kept = platform::read_file(golden_path(name));
    ASSERT_TRUE(kept.has_value()) << "missing golden document " << name;
    EXPECT_EQ(std::string(kept->begin(), kept->end()), actual) << name;
}

}  // namespace kitra::testing
