#include "base/json_reader.h"

#include "base/text.h"

namespace kitra::base {

namespace {

// A refusal, thrown inside the parser only and caught by parse_json.
struct Refusal {
    std::string reason;
};

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    JsonValue document() {
        skip_space();
        JsonValue v = value(0);
        skip_space();
        if (at_ < text_.size()) fail("text after the document's end");
        return v;
    }

  private:
    [[noreturn]] void fail(const std::string& what) const {
        std::size_t line = 1;
        std::size_t column = 1;
        for (std::size_t i = 0; i < at_ && i < text_.size(); ++i) {
            if (text_[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        throw Refusal{format("line %zu, column %zu: %s", line, column, what.c_str())};
    }

    bool more() const { return at_ < text_.size(); }
    char peek() const { return more() ? text_[at_] : '\0'; }

    void skip_space() {
        while (more() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) ++at_;
    }

    void expect(char c) {
        if (peek() != c) fail(format("'%c' expected", c));
        ++at_;
    }

    void word(std::string_view w) {
        if (text_.substr(at_, w.size()) != w) fail("a value expected");
        at_ += w.size();
    }

    JsonValue value(int depth) {
        if (depth >= kMaxJsonDepth) fail(format("nested more than %d deep", kMaxJsonDepth));
        JsonValue v;
        const char c = peek();
        if (c == '{') {
            v.type = JsonValue::Type::kObject;
            object(v, depth);
        } else if (c == '[') {
            v.type = JsonValue::Type::kArray;
            array(v, depth);
        } else if (c == '"') {
            v.type = JsonValue::Type::kString;
            v.text = string();
        } else if (c >= '0' && c <= '9') {
            v.type = JsonValue::Type::kNumber;
            v.number = number();
        } else if (c == '-') {
            fail("a negative number; only whole numbers of 0 or more are taken");
        } else if (c == 't') {
            word("true");
            v.type = JsonValue::Type::kBool;
            v.truth = true;
        } else if (c == 'f') {
            word("false");
            v.type = JsonValue::Type::kBool;
        } else if (c == 'n') {
            word("null");
        } else {
            fail(more() ? "a value expected" : "the document ends where a value was expected");
        }
        return v;
    }

    void object(JsonValue& v, int depth) {
        expect('{');
        skip_space();
        if (peek() == '}') {
            ++at_;
            return;
        }
        for (;;) {
            skip_space();
            if (peek() != '"') fail("a member name in quotes expected");
            const std::size_t name_at = at_;
            std::string name = string();
            if (v.find(name) != nullptr) {
                at_ = name_at;
                fail("the member \"" + printable(name) + "\" appears twice");
            }
            skip_space();
            expect(':');
            skip_space();
            v.items.push_back(value(depth + 1));
            v.names.push_back(std::move(name));
            skip_space();
            if (peek() == ',') {
                ++at_;
                continue;
            }
            expect('}');
            return;
        }
    }

    void array(JsonValue& v, int depth) {
        expect('[');
        skip_space();
        if (peek() == ']') {
            ++at_;
            return;
        }
        for (;;) {
            skip_space();
            v.items.push_back(value(depth + 1));
            skip_space();
            if (peek() == ',') {
                ++at_;
                continue;
            }
            expect(']');
            return;
        }
    }

    std::uint64_t number() {
        if (peek() == '0' && at_ + 1 < text_.size() && text_[at_ + 1] >= '0' && text_[at_ + 1] <= '9')
            fail("a number with a leading zero");
        std::uint64_t n = 0;
        while (peek() >= '0' && peek() <= '9') {
            const unsigned digit = static_cast<unsigned>(peek() - '0');
            if (n > (UINT64_MAX - digit) / 10) fail("a number too large");
            n = n * 10 + digit;
            ++at_;
        }
        if (peek() == '.' || peek() == 'e' || peek() == 'E')
            fail("a number that is not whole; only whole numbers of 0 or more are taken");
        return n;
    }

    unsigned hex_digit() {
        const char c = peek();
        ++at_;
        if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
        if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
        if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
        --at_;
        fail("four hexadecimal digits expected after \\u");
    }

    std::string string() {
        expect('"');
        std::string out;
        for (;;) {
            if (!more()) fail("a string that does not end");
            const auto c = static_cast<unsigned char>(peek());
            if (c == '"') {
                ++at_;
                return out;
            }
            if (c < 0x20) fail("a control byte inside a string (write it as \\u00XX)");
            ++at_;
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            const char e = peek();
            ++at_;
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    unsigned code = 0;
                    for (int i = 0; i < 4; ++i) code = code * 16 + hex_digit();
                    if (code > 0xFF) {
                        at_ -= 6;
                        fail(format("\\u%04X names no byte: strings hold bytes, \\u0000 to \\u00FF", code));
                    }
                    out += static_cast<char>(code);
                    break;
                }
                default:
                    --at_;
                    fail("an unknown escape in a string");
            }
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

const JsonValue* JsonValue::find(std::string_view name) const {
    if (type != Type::kObject) return nullptr;
    for (std::size_t n = 0; n < names.size(); ++n)
        if (names[n] == name) return &items[n];
    return nullptr;
}

std::variant<JsonValue, std::string> parse_json(std::string_view text) {
    try {
        return Parser(text).document();
    } catch (const Refusal& r) {
        return r.reason;
    }
}

const char* json_type_name(JsonValue::Type type) {
    switch (type) {
        case JsonValue::Type::kNull:
            return "null";
        case JsonValue::Type::kBool:
            return "true or false";
        case JsonValue::Type::kNumber:
            return "a number";
        case JsonValue::Type::kString:
            return "a string";
        case JsonValue::Type::kArray:
            return "an array";
        case JsonValue::Type::kObject:
            return "an object";
    }
    return "";
}

}  // namespace kitra::base
