#include "image/layout.h"

#include <algorithm>

#include "codec/module_header.h"
#include "image/markers.h"
#include "image/records.h"
#include "platform/console.h"

namespace kitra::image {

using base::ByteView;
using base::fill;
using base::in_range;
using base::matches_ignore_case;
using base::try_read_u16;
using base::try_read_u32;

namespace {

constexpr std::uint32_t kWindow = kWindow64K;

std::uint16_t word_or_zero(ByteView image, std::uint64_t off) {
    return try_read_u16(image, off).value_or(0);
}
std::uint32_t dword_or_zero(ByteView image, std::uint64_t off) {
    return try_read_u32(image, off).value_or(0);
}

bool valid_address(std::uint32_t address) {
    return address != 0 && address != 0xFFFFFFFF;
}

void read_bootblock_record(ByteView image, std::uint32_t marker, Layout& l) {
    l.bbss_found = true;
    l.bbss_offset = marker;
    l.window_start = marker >= l.base_window + kWindow ? l.base_window + kWindow : l.base_window;
    // The flag byte may lie before the window the marker was found in; it is
    // read from the image all the same.
    l.bootblock_flag = marker >= bbss::kFlagByteBefore &&
                       (image[marker - bbss::kFlagByteBefore] & bbss::kBootblockFlagBit) != 0;
    const std::uint16_t w6 = word_or_zero(image, std::uint64_t{marker} + bbss::kRegionWord);
    const std::uint16_t w8 = word_or_zero(image, std::uint64_t{marker} + bbss::kLayoutWord);
    const std::uint16_t w12 = word_or_zero(image, std::uint64_t{marker} + bbss::kLimitWord);
    const std::uint16_t w18 = word_or_zero(image, std::uint64_t{marker} + bbss::kImageChecksumWord);
    l.extended_layout = (w8 & 0xF) != 0 && l.image_length / kWindow > 4;
    if (l.extended_layout) {
        const std::uint32_t e = w6 & 0xF000u;
        const std::uint32_t e2 = (e + word_or_zero(image, std::uint64_t{l.window_start} + e + 10)) & 0xF000u;
        const std::uint32_t segment = w6 & 0xFu;
        l.checksum_block = l.image_length - 0x100000u + segment * kWindow + e2;
        l.image_checksum_word = (static_cast<std::uint32_t>(w18 & 0xFF) << 16) | (w18 & 0xFF00u);
    } else {
        l.checksum_block = l.window_start + (w8 & 0xF000u);
        l.image_checksum_word = l.window_start + (w18 & 0xF000u);
    }
    l.compressed_limit = l.window_start + (w12 & 0xF000u);
}

// H + packed size + 4 of the module at `off`: the system BIOS module is
// followed one byte further than the step between two other modules.
std::uint32_t system_bios_span(ByteView image, std::uint32_t off) {
    const std::uint32_t h = off < image.size() ? image[off] : 0;
    return h + dword_or_zero(image, std::uint64_t{off} + codec::field::kPackedSize) + 4;
}

}  // namespace

std::optional<std::uint32_t> find_bootblock_record(ByteView image) {
    const std::uint64_t base = base_window_start(image.size());
    for (std::uint64_t window : {base, base + kWindow}) {
        if (auto hit = find_marker(image, window, kWindow - bbss::kMarker.size(), bbss::kMarker))
            return static_cast<std::uint32_t>(*hit);
    }
    return std::nullopt;
}

std::uint32_t ncpucode_size_at(ByteView image, std::uint32_t offset) {
    const std::uint64_t last = image.size() >= 0x4000 ? image.size() - 0x4000 : 0;
    if (offset > last) return 0;
    const auto hit = find_marker(image, offset, last - offset + 1, trailer::kMicrocodeMarker);
    return hit ? dword_or_zero(image, *hit + trailer::kDataSize) : 0;
}

NcpucodeArea locate_ncpucode(ByteView image) {
    NcpucodeArea area;
    const std::uint32_t length = static_cast<std::uint32_t>(image.size());
    const auto bs1 = find_marker(image, base_window_start(image.size()), kBaseWindowSize, bs1::kMarker);
    if (!bs1) return area;
    const std::uint32_t address = dword_or_zero(image, *bs1 + bs1::kMicrocodeAddress);
    if (!valid_address(address)) return area;
    const std::uint32_t offset = file_offset_of(address, length);
    // An address outside the image names no area of it.
    if (offset >= length) return area;
    area.present = true;
    area.offset = offset;
    area.size = ncpucode_size_at(image, offset);
    return area;
}

std::uint32_t module_limit(const Layout& l) {
    std::uint32_t limit = l.compressed_limit;
    bool any = false;
    if (l.ncpucode_present && l.ncpucode_size != 0) {
        limit = l.ncpucode_offset;
        any = true;
    }
    if (l.top_hole_size != 0) limit = any ? std::min(limit, l.top_hole_start) : l.top_hole_start;
    return limit;
}

std::uint32_t walk_end(const Layout& l) {
    return l.top_hole_size != 0 ? l.top_hole_start : l.compressed_limit - 64;
}

std::uint64_t chain_end(ByteView image, std::uint64_t start) {
    std::uint64_t pos = start;
    while (auto m = codec::module_at(image, pos)) pos += m->step();
    return pos;
}

TopHole locate_top_hole(ByteView image, std::uint32_t walk_start, std::uint32_t compressed_limit) {
    TopHole hole;
    const auto bs1 = find_marker(image, image.size() - kRecordSearchFromEnd, 0x15FF0, bs1::kMarker, 4);
    if (!bs1 || !in_range(image, *bs1 + bs1::kFlags, 1) ||
        (image[*bs1 + bs1::kFlags] & bs1::kTopHoleBit) == 0)
        return hole;
    hole.enabled = true;
    // The "$TopHole" trailer is looked for after the module chain, in 64 KiB
    // chunks that overlap by 8 bytes so that no marker is split.
    constexpr std::uint64_t kChunk = 0x10000;
    constexpr std::string_view kMarker = trailer::kTopHoleMarker;
    for (std::uint64_t chunk = chain_end(image, walk_start); chunk < compressed_limit && chunk < image.size();
         chunk += kChunk - kMarker.size()) {
        const std::uint64_t chunk_len = std::min<std::uint64_t>(kChunk, image.size() - chunk);
        if (chunk_len < kMarker.size()) break;
        std::uint64_t pos = chunk;
        while (auto hit = find_marker(image, pos, chunk + chunk_len - kMarker.size() + 1 - pos, kMarker)) {
            const std::uint32_t size = dword_or_zero(image, *hit + trailer::kDataSize);
            // A size that would put the hole before the image is not a trailer.
            if (valid_address(size) && size <= *hit) {
                hole.size = size;
                hole.start = static_cast<std::uint32_t>(*hit - size);
                return hole;
            }
            pos = *hit + 1;
        }
    }
    return hole;
}

void reread_ncpucode_pointer(ByteView image, Layout& layout) {
    const auto bs1 = find_marker(image, image.size() - 0x1FFFF, 0x1C000, bs1::kMarker);
    if (!bs1) return;
    const std::uint32_t address = dword_or_zero(image, *bs1 + bs1::kMicrocodeAddress);
    if (!valid_address(address)) return;
    const std::uint32_t offset = file_offset_of(address, layout.image_length);
    if (offset >= layout.image_length) return;
    layout.ncpucode_present = true;
    layout.ncpucode_offset = offset;
}

std::variant<Layout, std::string> discover_layout(ByteView image, std::uint32_t top_hole_address,
                                                  bool top_hole_option) {
    Layout l;
    l.image_length = static_cast<std::uint32_t>(image.size());
    l.base_window = static_cast<std::uint32_t>(base_window_start(l.image_length));
    if (top_hole_option) l.top_hole_address = file_offset_of(top_hole_address, l.image_length);
    l.logo_flags = image[l.image_length - 0x1FA6];

    if (auto marker = find_bootblock_record(image)) {
        read_bootblock_record(image, *marker, l);
    } else {
        l.compressed_limit = 0xB000;
    }

    if (l.image_length / kWindow < 5) {
        if (word_or_zero(image, codec::field::kTypeId) == 0x5000) {
            l.walk_start = std::max<std::uint32_t>(0x10000, system_bios_span(image, 0));
        } else {
            l.walk_start = 0;
            // The system BIOS is in the last 128 KiB; the modules fill the image below it.
            l.compressed_limit = l.base_window;
        }
        l.system_bios_offset = 0;
    } else {
        std::optional<std::uint32_t> found;
        for (std::uint64_t window = 0; window < image.size() && !found; window += kWindow) {
            const std::uint64_t len = std::min<std::uint64_t>(kWindow, image.size() - window);
            for (std::uint64_t p = 2; p + 5 <= len && p <= 0xFFFA; ++p) {
                if (image[window + p] == '-' && matches_ignore_case(image, window + p, "-lh5-")) {
                    found = static_cast<std::uint32_t>(window + p - 2);
                    break;
                }
            }
        }
        if (!found)
            return std::string("No system BIOS module (\"-lh5-\") in this image: it cannot be used.\n");
        l.system_bios_offset = *found;
        l.walk_start = *found + std::max<std::uint32_t>(0x10000, system_bios_span(image, *found));
    }

    const NcpucodeArea area = locate_ncpucode(image);
    l.ncpucode_present = area.present;
    l.ncpucode_offset = area.offset;
    l.ncpucode_size = area.size;

    const TopHole hole = locate_top_hole(image, l.walk_start, l.compressed_limit);
    l.top_hole_enabled = hole.enabled;
    l.top_hole_start = hole.start;
    l.top_hole_size = hole.size;
    return l;
}

}  // namespace kitra::image
