#include "base/json.h"

#include "base/fatal.h"
#include "base/text.h"

namespace kitra::base {

std::string json_string(std::string_view bytes) {
    std::string out = "\"";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '"' || b == '\\') {
            out += '\\';
            out += c;
        } else if (b >= 0x20 && b < 0x7F) {
            out += c;
        } else {
            out += format("\\u%04X", b);
        }
    }
    return out + "\"";
}

std::string hex_text(std::uint64_t value, int digits) {
    return format("%0*llX", digits, static_cast<unsigned long long>(value));
}

void JsonWriter::before_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (first_.empty()) {
        if (!out_.empty()) throw Fatal("Internal error: a second JSON document in one output.\n", 1);
        return;
    }
    if (!first_.back()) out_ += ',';
    first_.back() = false;
    out_ += '\n';
    out_.append(2 * first_.size(), ' ');
}

JsonWriter& JsonWriter::key(std::string_view name) {
    before_value();
    out_ += json_string(name) + ": ";
    after_key_ = true;
    return *this;
}

JsonWriter& JsonWriter::begin_object() {
    before_value();
    out_ += '{';
    first_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::begin_array() {
    before_value();
    out_ += '[';
    first_.push_back(true);
    return *this;
}

namespace {
void close(std::string& out, std::vector<bool>& first, char bracket) {
    if (first.empty()) throw Fatal("Internal error: a JSON container closed that was not open.\n", 1);
    const bool empty = first.back();
    first.pop_back();
    if (!empty) {
        out += '\n';
        out.append(2 * first.size(), ' ');
    }
    out += bracket;
}
}  // namespace

JsonWriter& JsonWriter::end_object() {
    close(out_, first_, '}');
    return *this;
}

JsonWriter& JsonWriter::end_array() {
    close(out_, first_, ']');
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view bytes) {
    before_value();
    out_ += json_string(bytes);
    return *this;
}

JsonWriter& JsonWriter::value(std::uint64_t number) {
    before_value();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(std::int64_t number) {
    before_value();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(bool truth) {
    before_value();
    out_ += truth ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null() {
    before_value();
    out_ += "null";
    return *this;
}

std::string JsonWriter::text() const {
    if (!first_.empty() || after_key_) throw Fatal("Internal error: a JSON document left open.\n", 1);
    return out_ + "\n";
}

}  // namespace kitra::base
