#include "folder/manifest.h"

#include <limits>

#include "base/json.h"
#include "base/json_reader.h"
#include "base/text.h"
#include "codec/module_header.h"
#include "inspect/inventory_json.h"

namespace kitra::folder {

namespace {

using base::JsonValue;
using base::JsonWriter;
using inspect::member_hex;
using Type = JsonValue::Type;

std::string hex_bytes(base::ByteView bytes) {
    std::string text;
    for (const std::uint8_t b : bytes) text += base::hex_text(b, 2);
    return text;
}

template <typename T>
void optional_member(JsonWriter& w, std::string_view name, const std::optional<T>& v) {
    w.key(name);
    if (v)
        w.value(*v);
    else
        w.null();
}

void write_module(JsonWriter& w, const ModuleEntry& e) {
    w.begin_object();
    w.member("area", area_word(e.area));
    w.member("attribute", std::uint32_t{e.attribute});
    w.key("checksum_byte");
    if (e.checksum_byte)
        w.value(std::uint32_t{*e.checksum_byte});
    else
        w.null();
    member_hex(w, "crc16", e.crc16, 4);
    w.member("file", e.file);
    optional_member(w, "header", e.header ? std::optional<std::string>(hex_bytes(*e.header)) : std::nullopt);
    w.member("header_size", std::uint32_t{e.header_size});
    w.member("kind", e.kind);
    w.member("level", std::uint32_t{e.level});
    w.member("method", e.method);
    w.member("module_sha256", e.module_sha256);
    w.member("name", e.name);
    optional_member(w, "offset", e.offset);
    optional_member(w, "option", e.option.empty() ? std::nullopt : std::optional<std::string>(e.option));
    w.member("original_size", e.original_size);
    w.member("os", std::uint32_t{e.os});
    w.member("packed_size", e.packed_size);
    w.member("padding", std::uint32_t{e.padding});
    w.key("separator");
    if (e.separator)
        w.value(std::uint32_t{*e.separator});
    else
        w.null();
    w.member("sha256", e.sha256);
    optional_member(w, "stream", e.stream);
    member_hex(w, "type_id", e.type_id, 4);
    member_hex(w, "type_suffix", e.type_suffix, 4);
    w.member("unpacked", e.unpacked);
    w.end_object();
}

void write_region(JsonWriter& w, const RegionEntry& r) {
    w.begin_object();
    optional_member(w, "file", r.file);
    w.key("fill");
    if (r.fill)
        w.value(std::uint32_t{*r.fill});
    else
        w.null();
    w.member("length", r.length);
    w.member("name", r.name);
    w.member("offset", r.offset);
    w.key("sha256");
    if (r.file)
        w.value(r.sha256);
    else
        w.null();
    w.end_object();
}

// A refusal of the manifest, thrown while it is read and caught once.
struct Refused {
    std::string reason;
};

// The members of one object of the manifest, read with their checks; a
// refusal names the entry (`label`) and the member.
class Fields {
  public:
    Fields(const JsonValue& v, std::string label) : v_(v), label_(std::move(label)) {
        if (v.type != Type::kObject)
            throw Refused{label_ + " is " + base::json_type_name(v.type) + ", not an object"};
    }

    void set_label(std::string label) { label_ = std::move(label); }

    [[noreturn]] void refuse(std::string_view key, const std::string& what) const {
        throw Refused{label_ + ": \"" + std::string(key) + "\" " + what};
    }

    const JsonValue* get(std::string_view key) const {
        const JsonValue* v = v_.find(key);
        return v != nullptr && v->type != Type::kNull ? v : nullptr;
    }

    std::optional<std::uint64_t> optional_number(std::string_view key, std::uint64_t max) const {
        const JsonValue* v = get(key);
        if (v == nullptr) return std::nullopt;
        if (v->type != Type::kNumber || v->number > max)
            refuse(key, base::format(
                            "must be a number from 0 to %llu, not %s", static_cast<unsigned long long>(max),
                            v->type == Type::kNumber ? "a larger one" : base::json_type_name(v->type)));
        return v->number;
    }
    std::uint64_t number(std::string_view key, std::uint64_t max) const {
        const auto n = optional_number(key, max);
        if (!n) refuse(key, "is missing");
        return *n;
    }

    std::optional<std::string> optional_text(std::string_view key) const {
        const JsonValue* v = get(key);
        if (v == nullptr) return std::nullopt;
        if (v->type != Type::kString)
            refuse(key, std::string("must be a string, not ") + base::json_type_name(v->type));
        return v->text;
    }
    std::string text(std::string_view key) const {
        auto t = optional_text(key);
        if (!t) refuse(key, "is missing");
        return std::move(*t);
    }

    bool truth(std::string_view key, bool absent) const {
        const JsonValue* v = get(key);
        if (v == nullptr) return absent;
        if (v->type != Type::kBool)
            refuse(key, std::string("must be true or false, not ") + base::json_type_name(v->type));
        return v->truth;
    }

    // A number read with its "_hex" beside it, which must say the same when
    // it is there (a person may edit either).
    std::optional<std::uint64_t> number_with_hex(std::string_view key, std::uint64_t max) const {
        const auto n = optional_number(key, max);
        const std::string hex_key = std::string(key) + "_hex";
        const auto hex = optional_text(hex_key);
        if (!hex) return n;
        const auto parsed = parse_hex(*hex);
        if (!parsed || *parsed > max)
            refuse(hex_key, base::format("must be hexadecimal digits of a number up to %llX",
                                         static_cast<unsigned long long>(max)));
        if (n && *n != *parsed)
            refuse(hex_key, base::format("says %llX but \"%s\" says %llX; give one of them, or both the same",
                                         static_cast<unsigned long long>(*parsed), std::string(key).c_str(),
                                         static_cast<unsigned long long>(*n)));
        return parsed;
    }

    static std::optional<std::uint64_t> parse_hex(std::string_view text) {
        if (text.empty() || text.size() > 16) return std::nullopt;
        std::uint64_t n = 0;
        for (const char c : text) {
            unsigned d = 0;
            if (c >= '0' && c <= '9')
                d = static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                d = static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                d = static_cast<unsigned>(c - 'A' + 10);
            else
                return std::nullopt;
            n = n * 16 + d;
        }
        return n;
    }

    std::optional<base::Bytes> hex_bytes(std::string_view key) const {
        const auto text = optional_text(key);
        if (!text) return std::nullopt;
        if (text->size() % 2 != 0) refuse(key, "must be pairs of hexadecimal digits");
        base::Bytes bytes;
        for (std::size_t i = 0; i < text->size(); i += 2) {
            const auto b = parse_hex(std::string_view(*text).substr(i, 2));
            if (!b) refuse(key, "must be pairs of hexadecimal digits");
            bytes.push_back(static_cast<std::uint8_t>(*b));
        }
        return bytes;
    }

    std::string sha256(std::string_view key) const {
        std::string t = text(key);
        if (t.size() != 64 || !parse_hex(t.substr(0, 16)) || !parse_hex(t.substr(16, 16)) ||
            !parse_hex(t.substr(32, 16)) || !parse_hex(t.substr(48, 16)))
            refuse(key, "must be a SHA-256 digest: 64 hexadecimal digits");
        for (char& c : t)
            if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
        return t;
    }

  private:
    const JsonValue& v_;
    std::string label_;
};

constexpr std::uint64_t kByte = 0xFF;
constexpr std::uint64_t kWord = 0xFFFF;
constexpr std::uint64_t kDword = 0xFFFFFFFF;

Area read_area(const Fields& f) {
    const auto word = f.optional_text("area");
    if (!word || *word == "chain") return Area::kChain;
    if (*word == "arena") return Area::kArena;
    if (*word == "bootblock-vga") return Area::kBootblockVga;
    f.refuse("area",
             "must be \"chain\", \"arena\" or \"bootblock-vga\", not \"" + base::printable(*word) + "\"");
}

std::optional<std::uint8_t> optional_byte(const Fields& f, std::string_view key) {
    const auto n = f.optional_number(key, kByte);
    if (!n) return std::nullopt;
    return static_cast<std::uint8_t>(*n);
}

ModuleEntry read_module(const JsonValue& v, const std::string& label) {
    Fields f(v, label);
    ModuleEntry e;
    e.file = f.text("file");
    f.set_label(label + " (" + base::printable(e.file) + ")");
    e.area = read_area(f);
    e.offset = f.optional_number("offset", kDword);
    e.name = f.text("name");
    if (e.name.size() > 230)
        f.refuse("name", "must be at most 230 bytes long: a module header holds no more");
    const auto type = f.number_with_hex("type_id", kWord);
    if (!type) f.refuse("type_id", "is missing");
    e.type_id = static_cast<std::uint16_t>(*type);
    e.type_suffix = static_cast<std::uint16_t>(f.number_with_hex("type_suffix", kWord).value_or(0));
    e.option = f.optional_text("option").value_or("");
    e.kind = f.optional_text("kind").value_or("");
    // A header kept as it lay may hold a longer name; one made from the
    // fields may not.
    const auto name_fits = [&] {
        if (e.name.size() > codec::kMaxStoredName)
            f.refuse("name", "must be at most 230 bytes long: a module header holds no more");
    };
    if (!e.offset) {
        name_fits();
        return e;  // a module to add: the rest is made when it is packed
    }

    // A module that lay in the image: everything that makes it again.
    e.method = f.text("method");
    if (e.method.size() != 5) f.refuse("method", "must be five bytes, such as \"-lh5-\"");
    e.header_size = static_cast<std::uint8_t>(f.number("header_size", kByte));
    // Every module's header holds at least its fields up to the name length.
    if (e.header_size < codec::field::kNameLength - 1)
        f.refuse("header_size",
                 base::format("must be at least %llu: a module's header holds its fields up to "
                              "the name's length",
                              static_cast<unsigned long long>(codec::field::kNameLength - 1)));
    e.attribute = static_cast<std::uint8_t>(f.number("attribute", kByte));
    e.level = static_cast<std::uint8_t>(f.number("level", kByte));
    e.os = static_cast<std::uint8_t>(f.number("os", kByte));
    e.padding = static_cast<std::uint16_t>(f.number("padding", kWord));
    const auto crc = f.number_with_hex("crc16", kWord);
    if (!crc) f.refuse("crc16", "is missing");
    e.crc16 = static_cast<std::uint16_t>(*crc);
    e.original_size = static_cast<std::uint32_t>(f.number("original_size", kDword));
    e.packed_size = static_cast<std::uint32_t>(f.number("packed_size", kDword));
    e.header = f.hex_bytes("header");
    if (e.header && e.header->size() != std::uint64_t{e.header_size} + 2)
        f.refuse("header", base::format("must be header_size + 2 = %u bytes", e.header_size + 2u));
    if (!e.header) name_fits();
    e.unpacked = f.truth("unpacked", true);
    e.stream = f.optional_text("stream");
    e.checksum_byte = optional_byte(f, "checksum_byte");
    e.separator = optional_byte(f, "separator");
    e.sha256 = f.sha256("sha256");
    e.module_sha256 = f.sha256("module_sha256");
    return e;
}

RegionEntry read_region(const JsonValue& v, const std::string& label) {
    Fields f(v, label);
    RegionEntry r;
    r.file = f.optional_text("file");
    r.name = f.optional_text("name").value_or("");
    f.set_label(label + " (" + base::printable(r.file ? *r.file : r.name) + ")");
    r.offset = f.number("offset", kDword);
    r.length = f.number("length", kDword);
    r.fill = optional_byte(f, "fill");
    if (r.file.has_value() == r.fill.has_value())
        f.refuse(r.file ? "fill" : "file", "a region has either a file or a fill byte");
    if (r.file) r.sha256 = f.sha256("sha256");
    return r;
}

const JsonValue& array_member(const Fields& f, const JsonValue& top, std::string_view key) {
    const JsonValue* v = top.find(key);
    if (v == nullptr || v->type != Type::kArray) f.refuse(key, "must be an array");
    return *v;
}

Manifest read(const JsonValue& top) {
    Fields f(top, kManifestName);
    const auto schema = f.optional_text("schema");
    if (schema != kFolderSchema)
        f.refuse("schema", std::string("must be \"") + kFolderSchema + "\": this kitra reads no other");
    Manifest m;
    const JsonValue* image = top.find("image");
    if (image == nullptr) f.refuse("image", "is missing");
    Fields i(*image, "image");
    m.length = i.number("length", std::numeric_limits<std::uint32_t>::max());
    m.crc32 = static_cast<std::uint32_t>(i.number_with_hex("crc32", kDword).value_or(0));
    m.sha256 = i.sha256("sha256");
    if (const JsonValue* body = top.find("body"); body != nullptr && body->type != Type::kNull) {
        m.body = read_module(*body, "body");
        if (!m.body->offset || m.body->area != Area::kChain)
            throw Refused{body_label(*m.body) +
                          ": the body is the module that lay first in the chain; it "
                          "needs its \"offset\" and the area \"chain\""};
    }
    const JsonValue& modules = array_member(f, top, "modules");
    for (std::size_t n = 0; n < modules.items.size(); ++n)
        m.modules.push_back(read_module(modules.items[n], base::format("modules[%zu]", n)));
    const JsonValue& regions = array_member(f, top, "regions");
    for (std::size_t n = 0; n < regions.items.size(); ++n)
        m.regions.push_back(read_region(regions.items[n], base::format("regions[%zu]", n)));
    return m;
}

}  // namespace

const char* area_word(Area area) {
    switch (area) {
        case Area::kChain:
            return "chain";
        case Area::kArena:
            return "arena";
        case Area::kBootblockVga:
            return "bootblock-vga";
    }
    return "";
}

std::string manifest_json(const Manifest& m) {
    JsonWriter w;
    w.begin_object();
    w.key("body");
    if (m.body)
        write_module(w, *m.body);
    else
        w.null();
    w.key("image").begin_object();
    member_hex(w, "crc32", m.crc32, 8);
    w.member("length", m.length);
    w.member("sha256", m.sha256);
    w.end_object();
    w.key("modules").begin_array();
    for (const ModuleEntry& e : m.modules) write_module(w, e);
    w.end_array();
    w.key("regions").begin_array();
    for (const RegionEntry& r : m.regions) write_region(w, r);
    w.end_array();
    w.member("schema", kFolderSchema);
    w.end_object();
    return w.text();
}

std::variant<Manifest, std::string> read_manifest(std::string_view text) {
    auto parsed = base::parse_json(text);
    if (const auto* problem = std::get_if<std::string>(&parsed))
        return std::string(kManifestName) + " is not JSON: " + *problem;
    try {
        return read(std::get<JsonValue>(parsed));
    } catch (const Refused& r) {
        return std::string(kManifestName) + ": " + r.reason;
    }
}

std::string body_label(const ModuleEntry& body) {
    return "body (" + base::printable(body.file) + ")";
}

std::string module_label(const ModuleEntry& entry, std::size_t index) {
    return base::format("modules[%zu] (%s)", index, base::printable(entry.file).c_str());
}

std::string region_label(const RegionEntry& entry, std::size_t index) {
    if (!entry.file) return base::format("regions[%zu] (%s)", index, base::printable(entry.name).c_str());
    return base::format("regions[%zu] (%s)", index, base::printable(*entry.file).c_str());
}

}  // namespace kitra::folder
