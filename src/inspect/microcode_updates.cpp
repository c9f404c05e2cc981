#include "inspect/microcode_updates.h"

#include <optional>

#include "base/text.h"

namespace kitra::inspect {

namespace {

using base::JsonWriter;
using convert::ListedUpdate;
using convert::MicrocodePlace;
using convert::PlaceUpdates;
using convert::Update;
using convert::UpdateSignature;
using convert::Vendor;

void write_signature(JsonWriter& w, const UpdateSignature& s) {
    const convert::CpuidParts p = convert::cpuid_parts(s.cpuid);
    w.begin_object()
        .member("cpuid", s.cpuid)
        .member("cpuid_hex", base::hex_text(s.cpuid, 8))
        .member("family", p.family)
        .member("model", p.model)
        .member("stepping", p.stepping)
        .member("platform_mask", s.platform_mask)
        .member("platform_mask_hex", base::hex_text(s.platform_mask, 2));
    w.key("platform_ids").begin_array();
    for (const int id : convert::platform_ids(s.platform_mask)) w.value(id);
    w.end_array().end_object();
}

void write_index(JsonWriter& w, std::string_view name, const std::optional<std::size_t>& index) {
    w.key(name);
    if (index)
        w.value(std::uint64_t{*index + 1});
    else
        w.null();
}

void write_place(JsonWriter& w, const PlaceUpdates& p) {
    w.begin_object().member("place", place_word(p.place)).member("offset", p.offset);
    if (p.place == MicrocodePlace::kModule) {
        w.member("stored_name", p.module.name)
            .member("type_id", std::uint64_t{p.module.type_id})
            .member("type_id_hex", base::hex_text(p.module.type_id, 4))
            .member("module_length", p.module.length())
            .member("unpacked", !p.unreadable);
    }
    w.member("size", std::uint64_t{p.bytes.size()})
        .member("searched", p.found.end)
        .member("updates", std::uint64_t{p.found.updates.size()});
    w.key("other_bytes").begin_array();
    for (const convert::ByteSpan& s : p.found.other)
        w.begin_object().member("offset", s.offset).member("length", s.length).end_object();
    w.end_array().end_object();
}

}  // namespace

const char* place_word(MicrocodePlace place) {
    switch (place) {
        case MicrocodePlace::kBootblock:
            return "bootblock";
        case MicrocodePlace::kModule:
            return "module";
        case MicrocodePlace::kUncompressed:
            return "uncompressed";
    }
    return "";
}

void write_microcode_members(JsonWriter& w, const convert::ImageMicrocode& im) {
    w.member("bridge_layout", im.bridge_layout);
    w.key("places").begin_array();
    for (const PlaceUpdates& p : im.places) write_place(w, p);
    w.end_array();
    w.key("updates").begin_array();
    for (std::size_t i = 0; i < im.updates.size(); ++i)
        write_microcode_update(w, i + 1, im.updates[i], im.places[im.updates[i].place].place);
    w.end_array();
}

void write_microcode_update(JsonWriter& w, std::size_t number, const ListedUpdate& l, MicrocodePlace place) {
    const Update& u = l.update;
    w.begin_object()
        .member("index", std::uint64_t{number})
        .member("place", place_word(place))
        .member("place_index", std::uint64_t{l.place})
        .member("offset", u.offset)
        .member("size", u.size)
        .member("checksum_holds", u.checksum_holds);
    if (u.vendor == Vendor::kIntel) {
        w.member("vendor", "Intel");
        w.key("signature");
        write_signature(w, u.signatures.front());
        w.key("extended_signatures").begin_array();
        for (std::size_t i = 1; i < u.signatures.size(); ++i) write_signature(w, u.signatures[i]);
        w.end_array();
        w.member("revision", u.revision).member("revision_hex", base::hex_text(u.revision, 8));
        w.key("date");
        if (const auto date = convert::iso_date(u.date))
            w.value(*date);
        else
            w.null();
        w.member("date_hex", base::hex_text(u.date, 8));
    } else {
        w.member("vendor", "AMD")
            .member("processor_revision", u.cpuid())
            .member("processor_revision_hex", base::hex_text(u.cpuid(), 8))
            .member("patch_id", u.revision)
            .member("patch_id_hex", base::hex_text(u.revision, 8))
            .member("north_bridge", u.north_bridge)
            .member("north_bridge_hex", base::hex_text(u.north_bridge, 8))
            .member("south_bridge", u.south_bridge)
            .member("south_bridge_hex", base::hex_text(u.south_bridge, 8));
    }
    write_index(w, "duplicate_of", l.duplicate_of);
    write_index(w, "superseded_by", l.superseded_by);
    w.member("legacy_size", l.legacy_size).member("legacy_unreached", l.legacy_unreached).end_object();
}

std::string microcode_date_text(const Update& u) {
    if (u.vendor != Vendor::kIntel) return "-";
    return convert::iso_date(u.date).value_or(base::format("%08X?", u.date));
}

std::string platform_ids_text(std::uint32_t mask) {
    std::string text;
    for (const int id : convert::platform_ids(mask)) text += (text.empty() ? "" : ",") + std::to_string(id);
    return text.empty() ? "none" : text;
}

}  // namespace kitra::inspect
