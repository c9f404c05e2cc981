#include "microcode/microcode_listing.h"

#include "base/json.h"
#include "base/text.h"
#include "inspect/microcode_updates.h"

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

std::string fms_text(std::uint32_t cpuid) {
    const convert::CpuidParts p = convert::cpuid_parts(cpuid);
    return format("%02X-%02X-%02X", p.family, p.model, p.stepping);
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
    std::string row =
        format("%3zu  %-12s  %05llXh  %-6s  %08X  %-8s  %-12s  %08X  %-10s  %-5u  %s\n", index,
               inspect::place_word(im.places[l.place].place), static_cast<ull>(u.offset),
               intel ? "Intel" : "AMD", u.cpuid(), intel ? fms_text(u.cpuid()).c_str() : "-",
               intel ? inspect::platform_ids_text(u.platform_mask()).c_str() : "-", u.revision,
               inspect::microcode_date_text(u).c_str(), u.size, u.checksum_holds ? "holds" : "FAILS");
    for (std::size_t i = 1; i < u.signatures.size(); ++i) {
        const UpdateSignature& s = u.signatures[i];
        row += format("%salso for CPUID %08X (%s), platform IDs %s\n", kNoteIndent, s.cpuid,
                      fms_text(s.cpuid).c_str(), inspect::platform_ids_text(s.platform_mask).c_str());
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

}  // namespace

std::string describe_update(const Update& u) {
    if (u.vendor == Vendor::kAmd) {
        std::string text = format("AMD CPUID %08X", u.cpuid());
        if (u.north_bridge != 0 || u.south_bridge != 0)
            text += format(" bridges %08X/%08X", u.north_bridge, u.south_bridge);
        return text + format(" patch %08X", u.revision);
    }
    return format("Intel CPUID %08X platform IDs %s revision %08X (%s)", u.cpuid(),
                  inspect::platform_ids_text(u.platform_mask()).c_str(), u.revision,
                  inspect::microcode_date_text(u).c_str());
}

std::string listing_text(const ImageMicrocode& im, const std::string& image_name) {
    std::string out = format("CPU microcode of %s\n", base::printable(image_name).c_str());
    // The places in their order, each kind with its line when it is absent.
    const auto places_of = [&](MicrocodePlace kind, const char* absent) {
        bool any = false;
        for (const PlaceUpdates& p : im.places) {
            if (p.place != kind) continue;
            any = true;
            out += format(kPlaceColumn, inspect::place_word(kind), place_text(p).c_str());
            for (const convert::ByteSpan& s : p.found.other)
                out +=
                    format(kPlaceColumn, "",
                           format("%05llXh-%05llXh (%llu bytes) are not updates", static_cast<ull>(s.offset),
                                  static_cast<ull>(s.offset + s.length - 1), static_cast<ull>(s.length))
                               .c_str());
        }
        if (!any) out += format(kPlaceColumn, inspect::place_word(kind), absent);
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
    w.begin_object().member("schema", kSchema).member("image", image_name);
    inspect::write_microcode_members(w, im);
    w.end_object();
    return w.text();
}

}  // namespace kitra::microcode
