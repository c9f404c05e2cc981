#include "microcode/microcode_listing.h"

#include "base/json.h"
#include "base/text.h"

namespace kitra::microcode {

namespace {

using base::format;
using convert::ImageMicrocode;
using convert::ListedUpdate;
using convert::MicrocodePlace;
using convert::PlaceUpdates;
using convert::Update;
using convert::UpdateSignature;
using convert::Vendor;

using ull = unsigned long long;

std::string ids_text(std::uint32_t mask) {
    std::string text;
    for (const int id : convert::platform_ids(mask)) text += (text.empty() ? "" : ",") + std::to_string(id);
    return text.empty() ? "none" : text;
}

std::string fms_text(std::uint32_t cpuid) {
    const convert::CpuidParts p = convert::cpuid_parts(cpuid);
    return format("%02X-%02X-%02X", p.family, p.model, p.stepping);
}

std::string date_text(const Update& u) {
    if (u.vendor != Vendor::kIntel) return "-";
    return convert::iso_date(u.date).value_or(format("%08X?", u.date));
}

std::string plural(std::size_t n, const char* word) {
    if (n == 0) return format("no %ss", word);
    return format("%zu %s%s", n, word, n == 1 ? "" : "s");
}

// What a place is and holds, after its name.
std::string place_text(const PlaceUpdates& p) {
    std::string where;
    switch (p.place) {
        case MicrocodePlace::kBootblock:
            // Its reading ends at its first blank record, as the /D table's does.
            if (p.found.end == p.bytes.size())
                where = format("area at %08llXh, %zu bytes read", static_cast<ull>(p.offset), p.bytes.size());
            else if (p.found.end == 0)
                where = format("area at %08llXh, blank", static_cast<ull>(p.offset));
            else
                where = format("area at %08llXh, %llu bytes before its first blank record",
                               static_cast<ull>(p.offset), static_cast<ull>(p.found.end));
            break;
        case MicrocodePlace::kModule:
            if (p.unreadable)
                return format("\"%s\" at %08llXh: its contents cannot be unpacked",
                              base::printable(p.module.name).c_str(), static_cast<ull>(p.offset));
            where = format("\"%s\" at %08llXh, %zu bytes unpacked", base::printable(p.module.name).c_str(),
                           static_cast<ull>(p.offset), p.bytes.size());
            break;
        case MicrocodePlace::kUncompressed:
            where = format("area at %08llXh, %zu bytes", static_cast<ull>(p.offset), p.bytes.size());
            break;
    }
    return where + ": " + plural(p.found.updates.size(), "update");
}

const char kPlaceColumn[] = "  %-13s %s\n";
const char kRowHead[] =
    "  #  Place         Offset  Vendor  CPUID     F-M-S     Platform IDs  Revision  Date        Size   "
    "Checksum\n";
const char kNoteIndent[] = "     ";

std::string row_text(std::size_t index, const ListedUpdate& l, const ImageMicrocode& im) {
    const Update& u = l.update;
    const bool intel = u.vendor == Vendor::kIntel;
    std::string row = format("%3zu  %-12s  %05llXh  %-6s  %08X  %-8s  %-12s  %08X  %-10s  %-5u  %s\n", index,
                             place_word(im.places[l.place].place), static_cast<ull>(u.offset),
                             intel ? "Intel" : "AMD", u.cpuid(), intel ? fms_text(u.cpuid()).c_str() : "-",
                             intel ? ids_text(u.platform_mask()).c_str() : "-", u.revision,
                             date_text(u).c_str(), u.size, u.checksum_holds ? "holds" : "FAILS");
    for (std::size_t i = 1; i < u.signatures.size(); ++i) {
        const UpdateSignature& s = u.signatures[i];
        row += format("%salso for CPUID %08X (%s), platform IDs %s\n", kNoteIndent, s.cpuid,
                      fms_text(s.cpuid).c_str(), ids_text(s.platform_mask).c_str());
    }
    if (!intel && (u.north_bridge != 0 || u.south_bridge != 0))
        row += format("%sbridge IDs: north %08X, south %08X\n", kNoteIndent, u.north_bridge, u.south_bridge);
    if (l.duplicate_of) row += format("%sduplicate of #%zu\n", kNoteIndent, *l.duplicate_of + 1);
    if (l.superseded_by) row += format("%ssuperseded by #%zu\n", kNoteIndent, *l.superseded_by + 1);
    if (l.legacy_unreached)
        row += format("%snot in the /D table: it starts where the table reads no record\n", kNoteIndent);
    else if (l.legacy_size)
        row +=
            format("%snot whole in the /D table: the table steps over it by another length than its size\n",
                   kNoteIndent);
    return row;
}

void json_signature(base::JsonWriter& w, const UpdateSignature& s) {
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

void json_index(base::JsonWriter& w, std::string_view name, const std::optional<std::size_t>& index) {
    w.key(name);
    if (index)
        w.value(std::uint64_t{*index + 1});
    else
        w.null();
}

void json_update(base::JsonWriter& w, std::size_t index, const ListedUpdate& l, const ImageMicrocode& im) {
    const Update& u = l.update;
    w.begin_object()
        .member("index", std::uint64_t{index})
        .member("place", place_word(im.places[l.place].place))
        .member("place_index", std::uint64_t{l.place})
        .member("offset", u.offset)
        .member("size", u.size)
        .member("checksum_holds", u.checksum_holds);
    if (u.vendor == Vendor::kIntel) {
        w.member("vendor", "Intel");
        w.key("signature");
        json_signature(w, u.signatures.front());
        w.key("extended_signatures").begin_array();
        for (std::size_t i = 1; i < u.signatures.size(); ++i) json_signature(w, u.signatures[i]);
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
    json_index(w, "duplicate_of", l.duplicate_of);
    json_index(w, "superseded_by", l.superseded_by);
    w.member("legacy_size", l.legacy_size).member("legacy_unreached", l.legacy_unreached).end_object();
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

std::string describe_update(const Update& u) {
    if (u.vendor == Vendor::kAmd) {
        std::string text = format("AMD CPUID %08X", u.cpuid());
        if (u.north_bridge != 0 || u.south_bridge != 0)
            text += format(" bridges %08X/%08X", u.north_bridge, u.south_bridge);
        return text + format(" patch %08X", u.revision);
    }
    return format("Intel CPUID %08X platform IDs %s revision %08X (%s)", u.cpuid(),
                  ids_text(u.platform_mask()).c_str(), u.revision, date_text(u).c_str());
}

std::string listing_text(const ImageMicrocode& im, const std::string& image_name) {
    std::string out = format("CPU microcode of %s\n", base::printable(image_name).c_str());
    // The places in their order, each kind with its line when it is absent.
    const auto places_of = [&](MicrocodePlace kind, const char* absent) {
        bool any = false;
        for (const PlaceUpdates& p : im.places) {
            if (p.place != kind) continue;
            any = true;
            out += format(kPlaceColumn, place_word(kind), place_text(p).c_str());
            for (const convert::ByteSpan& s : p.found.other)
                out +=
                    format(kPlaceColumn, "",
                           format("%05llXh-%05llXh (%llu bytes) are not updates", static_cast<ull>(s.offset),
                                  static_cast<ull>(s.offset + s.length - 1), static_cast<ull>(s.length))
                               .c_str());
        }
        if (!any) out += format(kPlaceColumn, place_word(kind), absent);
    };
    places_of(MicrocodePlace::kBootblock,
              im.bridge_layout ? "not read on a bridge-ID board" : "none: no bootblock record");
    places_of(MicrocodePlace::kModule, "none");
    places_of(MicrocodePlace::kUncompressed, "none");
    out += "\n";
    if (im.updates.empty()) return out + "No updates.\n";
    out += kRowHead;
    for (std::size_t i = 0; i < im.updates.size(); ++i) out += row_text(i + 1, im.updates[i], im);
    return out;
}

std::string listing_json(const ImageMicrocode& im, const std::string& image_name) {
    base::JsonWriter w;
    w.begin_object()
        .member("schema", kSchema)
        .member("image", image_name)
        .member("bridge_layout", im.bridge_layout);
    w.key("places").begin_array();
    for (const PlaceUpdates& p : im.places) {
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
    w.end_array();
    w.key("updates").begin_array();
    for (std::size_t i = 0; i < im.updates.size(); ++i) json_update(w, i + 1, im.updates[i], im);
    w.end_array().end_object();
    return w.text();
}

}  // namespace kitra::microcode
