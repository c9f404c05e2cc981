#include "convert/microcode_places.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "cli/catalogue.h"
#include "codec/packer.h"
#include "convert/microcode_update.h"
#include "image/listing_format.h"
#include "image/markers.h"
#include "image/records.h"

namespace kitra::convert {

namespace {

using base::ByteView;

// The bootblock's microcode area is read this far from its start.
constexpr std::uint64_t kBootblockAreaSize = 0x20000;
// A bridge-ID board is told by its "*BS1" among the first 0x6000 bytes from
// here, on a 4-byte step.
constexpr std::uint64_t kBridgeSearchLength = 0x6000;
// Images up to this many 64 KiB pieces keep the bootblock's microcode area
// in the bootblock record's window.
constexpr std::uint32_t kSmallImagePieces = 4;
// Platform IDs are three bits of the processor: masks use the low 8 bits.
constexpr std::uint32_t kPlatformBits = 0xFF;

// Where the legacy table reads a record of a place: at each fixed 2048-byte
// step (the bootblock's area up to a record beginning 0x00 or 0xFF), or, in
// the non-compressed area, at steps of each record's total size word (0 for
// 2048) up to the word 0xFFFFFFFF or a record that would reach past the area.
std::set<std::uint64_t> legacy_starts(const PlaceUpdates& p, bool bridge) {
    std::set<std::uint64_t> starts;
    const ByteView b = p.bytes;
    if (p.place == MicrocodePlace::kUncompressed && !bridge) {
        std::uint64_t at = 0;
        while (auto size = base::try_read_u32(b, at + intel_update::kTotalSize)) {
            if (*size == 0xFFFFFFFF) break;
            // Reached: a record whose size word reaches past the area is
            // where the reader stops, and a note on its size says so.
            starts.insert(at);
            const std::uint64_t length = *size == 0 ? kRecordSize : *size;
            if (!base::in_range(b, at, length)) break;
            at += length;
        }
        return starts;
    }
    for (std::uint64_t at = 0; at + kRecordSize <= b.size(); at += kRecordSize) {
        if (p.place == MicrocodePlace::kBootblock && (b[at] == 0x00 || b[at] == 0xFF)) break;
        starts.insert(at);
    }
    return starts;
}

// The length the legacy reader steps over a record starting with `u`.
std::uint64_t legacy_step(const PlaceUpdates& p, bool bridge, const Update& u) {
    if (p.place != MicrocodePlace::kUncompressed || bridge) return kRecordSize;
    const std::uint32_t size = base::read_u32(p.bytes, u.offset + intel_update::kTotalSize);
    return size == 0 ? kRecordSize : size;
}

// The processor and revision that make two updates the same one.
using Identity =
    std::tuple<Vendor, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t>;
Identity identity(const Update& u) {
    return {u.vendor, u.cpuid(), u.platform_mask(), u.revision, u.north_bridge, u.south_bridge};
}

// For every processor (vendor, CPUID, bridges) and platform-ID mask, the
// update with the highest revision for it.
using Processor = std::tuple<Vendor, std::uint32_t, std::uint32_t, std::uint32_t>;
using Newest = std::map<std::pair<Processor, std::uint32_t>, std::size_t>;

Newest newest_by_mask(const std::vector<ListedUpdate>& list) {
    Newest newest;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Update& u = list[i].update;
        for (const UpdateSignature& s : u.signatures) {
            const auto key =
                std::make_pair(Processor{u.vendor, s.cpuid, u.north_bridge, u.south_bridge}, s.platform_mask);
            const auto [it, added] = newest.emplace(key, i);
            if (!added && list[it->second].update.revision < u.revision) it->second = i;
        }
    }
    return newest;
}

// The newest update with a higher revision than `u` for the processor of
// `s` whose mask covers all of the platform IDs of `s`. Covering masks are
// those with more of the low 8 bits set.
std::optional<std::size_t> newer_for(const std::vector<ListedUpdate>& list, const Newest& newest,
                                     const Update& u, const UpdateSignature& s) {
    std::optional<std::size_t> best;
    const Processor processor{u.vendor, s.cpuid, u.north_bridge, u.south_bridge};
    const std::uint32_t free_bits = kPlatformBits & ~s.platform_mask;
    // Every subset of the free bits, the empty one last.
    for (std::uint32_t extra = free_bits;; extra = (extra - 1) & free_bits) {
        const auto it = newest.find({processor, s.platform_mask | extra});
        if (it != newest.end()) {
            const std::uint32_t revision = list[it->second].update.revision;
            if (revision > u.revision && (!best || list[*best].update.revision < revision)) best = it->second;
        }
        if (extra == 0) break;
    }
    return best;
}

void note_duplicates_and_newer(std::vector<ListedUpdate>& list) {
    std::map<Identity, std::size_t> first;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const auto [it, added] = first.emplace(identity(list[i].update), i);
        if (!added) list[i].duplicate_of = it->second;
    }
    const Newest newest = newest_by_mask(list);
    for (ListedUpdate& l : list) {
        // Superseded only when every processor it is for has a newer one.
        std::optional<std::size_t> by;
        for (const UpdateSignature& s : l.update.signatures) {
            const auto newer = newer_for(list, newest, l.update, s);
            if (!newer) {
                by.reset();
                break;
            }
            if (!by) by = newer;
        }
        l.superseded_by = by;
    }
}

}  // namespace

bool is_bridge_board(ByteView image) {
    const std::uint64_t from =
        image.size() > image::kRecordSearchFromEnd ? image.size() - image::kRecordSearchFromEnd : 0;
    const auto bs1 = image::find_marker(image, from, kBridgeSearchLength, image::bs1::kMarker, 4);
    if (!bs1) return false;
    const std::uint64_t at = *bs1 + image::bs1::kBridgeByte;
    return at < image.size() && (image[at] & image::bs1::kBridgeMask) == image::bs1::kBridgeValue;
}

BootblockMicrocodeArea bootblock_microcode_area(ByteView image, const image::Layout& l) {
    namespace bbss = image::bbss;
    if (!l.bbss_found) return {};
    const auto area_word = base::try_read_u16(image, std::uint64_t{l.bbss_offset} + bbss::kMicrocodeWord);
    const auto layout_word = base::try_read_u16(image, std::uint64_t{l.bbss_offset} + bbss::kLayoutWord);
    const auto sum_word = base::try_read_u16(image, std::uint64_t{l.bbss_offset} + bbss::kImageChecksumWord);
    if (!area_word || !layout_word || !sum_word) return {};
    std::uint32_t start = 0;
    if (l.image_length / image::kWindow64K <= kSmallImagePieces) {
        start = l.window_start + *area_word;
    } else {
        // The area shares its 64 KiB piece with the image checksum word.
        const std::uint32_t piece =
            (*layout_word & 0x000F) != 0
                ? (static_cast<std::uint32_t>(*sum_word & 0x00FF) << 16) | (*sum_word & 0xFF00u)
                : l.window_start + (*sum_word & 0xF000u);
        start = (*area_word & 0xFF00u) | (piece & 0xFF0000u);
    }
    return {start, base::clipped(image, start, kBootblockAreaSize)};
}

std::vector<codec::ModuleInfo> microcode_modules(ByteView image, const image::Layout& layout) {
    const std::uint16_t type = cli::entry_for_code(cli::lookup_option("/cpucode"))->type_id;
    std::vector<codec::ModuleInfo> found;
    for (const codec::ModuleInfo& m : image::listed_modules(image, layout))
        if (m.type_id == type) found.push_back(m);
    return found;
}

ImageMicrocode image_microcode(ByteView image, const image::Layout& layout, const codec::Report& report) {
    std::vector<UnpackedModule> modules;
    for (const codec::ModuleInfo& m : microcode_modules(image, layout))
        modules.push_back({m, codec::unpack(base::slice(image, m.offset, m.length()), report)});
    return image_microcode(image, layout, std::move(modules));
}

ImageMicrocode image_microcode(ByteView image, const image::Layout& layout,
                               std::vector<UnpackedModule> modules) {
    ImageMicrocode im;
    im.bridge_layout = is_bridge_board(image);
    if (layout.bbss_found && !im.bridge_layout) {
        const BootblockMicrocodeArea area = bootblock_microcode_area(image, layout);
        PlaceUpdates p;
        p.place = MicrocodePlace::kBootblock;
        p.offset = area.offset;
        p.bytes.assign(area.bytes.begin(), area.bytes.end());
        p.found = find_updates(p.bytes, true);
        im.places.push_back(std::move(p));
    }
    for (UnpackedModule& m : modules) {
        PlaceUpdates p;
        p.place = MicrocodePlace::kModule;
        p.offset = m.module.offset;
        p.module = m.module;
        p.unreadable = !m.contents;
        if (m.contents) p.bytes = std::move(*m.contents);
        p.found = find_updates(p.bytes);
        im.places.push_back(std::move(p));
    }
    if (layout.ncpucode_present && layout.ncpucode_size != 0) {
        PlaceUpdates p;
        p.place = MicrocodePlace::kUncompressed;
        p.offset = layout.ncpucode_offset;
        const ByteView area = base::clipped(image, layout.ncpucode_offset, layout.ncpucode_size);
        p.bytes.assign(area.begin(), area.end());
        p.found = find_updates(p.bytes);
        im.places.push_back(std::move(p));
    }
    for (std::size_t i = 0; i < im.places.size(); ++i) {
        const PlaceUpdates& p = im.places[i];
        const std::set<std::uint64_t> starts = legacy_starts(p, im.bridge_layout);
        for (const Update& u : p.found.updates) {
            ListedUpdate l;
            l.place = i;
            l.update = u;
            l.legacy_unreached = !starts.contains(u.offset);
            l.legacy_size = legacy_step(p, im.bridge_layout, u) != u.size;
            im.updates.push_back(std::move(l));
        }
    }
    note_duplicates_and_newer(im.updates);
    return im;
}

}  // namespace kitra::convert
