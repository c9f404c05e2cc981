#include "cli/boi_values.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kitra::cli {
namespace {

// The request for nine words that are all left out but one address.
std::optional<Address> address_of(const std::string& word) {
    const std::vector<std::string> words = {"", word, "", "", "", "", "", "", ""};
    const BoiRequest r = read_boi_request(words);
    if (r.form != BoiForm::kSet) return std::nullopt;
    return r.values.server_ip;
}

TEST(BoiValues, AddressesAreFourPiecesOf0To255) {
    EXPECT_EQ(address_of("192.168.1.254"), (Address{192, 168, 1, 254}));
    EXPECT_EQ(address_of("0.0.0.0,"), (Address{0, 0, 0, 0}));  // one trailing comma closes the last piece
    EXPECT_EQ(address_of("1,2.3,004"), (Address{1, 2, 3, 4}));
    for (const char* bad : {"10.0.0", "1.2.3.4.5", "1.2.3.256", "1.2.3.4.", "1.2.3.4,,", "1..3.4", "1.2.3.x",
                            "1.2.3.4 ", "+1.2.3.4", "1.2.3.99999999999999999999"})
        EXPECT_EQ(read_boi_request(std::vector<std::string>{"", bad, "", "", "", "", "", "", ""}).form,
                  BoiForm::kWrong)
            << bad;
}

TEST(BoiValues, SwitchesAndPortReadTheirLeadingDigits) {
    const std::vector<std::string> words = {"5,", "", "", "", "", "", "00", "", "1000000"};
    const BoiRequest r = read_boi_request(words);
    ASSERT_EQ(r.form, BoiForm::kSet);
    EXPECT_EQ(r.values.use_dhcp, 1);
    EXPECT_EQ(r.values.use_proxy, 0);
    EXPECT_EQ(r.values.proxy_port, 1000000 % 65536);
    EXPECT_FALSE(r.values.server_ip);

    // Digits that do not start the word read as 0; a word led by "," keeps its field.
    const BoiRequest s =
        read_boi_request(std::vector<std::string>{"x1", "", "", "", "", "", ",1", "", "80h"});
    EXPECT_EQ(s.values.use_dhcp, 0);
    EXPECT_FALSE(s.values.use_proxy);
    EXPECT_EQ(s.values.proxy_port, 80);
}

}  // namespace
}  // namespace kitra::cli
