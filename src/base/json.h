// JSON for scripts: the documents the new commands write on standard output.
// One writer, so that every document follows the same conventions:
//
// - Two-space indentation, one member or element a line, members in the
//   order the code writes them: stable output that reads well in a diff.
// - Text from an image (stored names, strings of option ROMs) is data, not
//   UTF-8: each byte becomes the code point of the same value (0x20-0x7E as
//   they are, every other byte escaped as \u00XX), so nothing is lost and
//   nothing raw reaches a terminal.
// - Offsets, sizes and counts are numbers; type IDs, CRCs and sums are
//   numbers too, with their hexadecimal text beside them where engineers
//   read them that way (hex_text()).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kitra::base {

class JsonWriter {
  public:
    // Containers: at the top, as an element of an array, or after key().
    JsonWriter& begin_object();
    JsonWriter& end_object();
    JsonWriter& begin_array();
    JsonWriter& end_array();

    // The member name the next value or container goes under.
    JsonWriter& key(std::string_view name);

    JsonWriter& value(std::string_view bytes);
    JsonWriter& value(const char* bytes) { return value(std::string_view(bytes)); }
    JsonWriter& value(std::uint64_t number);
    JsonWriter& value(std::int64_t number);
    JsonWriter& value(std::uint32_t number) { return value(std::uint64_t{number}); }
    JsonWriter& value(int number) { return value(std::int64_t{number}); }
    JsonWriter& value(bool truth);
    JsonWriter& null();

    // key(name).value(v) in one.
    template <typename T>
    JsonWriter& member(std::string_view name, const T& v) {
        return key(name).value(v);
    }

    // The document, ended by a line end, once every container is closed.
    std::string text() const;

  private:
    void before_value();
    std::string out_;
    std::vector<bool> first_;  // per open container: nothing written in it yet
    bool after_key_ = false;
};

// A string of `bytes` as JSON, quotes included (the convention above).
std::string json_string(std::string_view bytes);

// "4080", "0A3F": upper-case hexadecimal with at least `digits` digits.
std::string hex_text(std::uint64_t value, int digits);

}  // namespace kitra::base
