#include "edit/special_areas.h"

#include <algorithm>

#include "base/bytes.h"
#include "convert/executable.h"
#include "edit/placement.h"
#include "image/editable.h"
#include "image/layout.h"
#include "image/records.h"
#include "regions/space_advice.h"

namespace kitra::edit {

namespace {

using base::Bytes;
using base::ByteView;

namespace trailer = image::trailer;
constexpr std::uint64_t kTrailerSize = trailer::kSize;

bool has_ncpucode(const image::Layout& l) {
    return l.ncpucode_present && l.ncpucode_size != 0;
}
bool has_top_hole(const image::Layout& l) {
    return l.top_hole_size != 0;
}

// The data of an area as the image holds it (cut at the image's end).
Bytes area_data(const cli::Run& run, std::uint64_t start, std::uint64_t size) {
    const ByteView data = base::clipped(run.image.bytes(), start, size);
    return {data.begin(), data.end()};
}

void erase_area(cli::Run& run, std::uint64_t start, std::uint64_t size) {
    const std::uint64_t length = run.image.length();
    if (start >= length) return;
    image::fill(run.image, start, std::min<std::uint64_t>(size + kTrailerSize, length - start), 0xFF);
}

bool fits_in_image(cli::Run& run, std::uint64_t start, std::uint64_t size) {
    if (base::in_range(run.image.bytes(), start, size + kTrailerSize)) return true;
    platform::print(run.con, "%s: the special area at offset %llXh would reach past the end of the image.\n",
                    run.settings.image_name.c_str(), static_cast<unsigned long long>(start));
    return false;
}

}  // namespace

void write_special_area(cli::Run& run, std::uint64_t start, ByteView data, std::string_view marker,
                        std::string_view name) {
    image::copy_into(run.image, start, data);
    const std::uint64_t at = start + data.size();
    image::fill(run.image, at, kTrailerSize, 0);
    image::copy_into(run.image, at + trailer::kMarker, base::view_of(marker));
    image::write_u32(run.image, at + trailer::kDataSize, static_cast<std::uint32_t>(data.size()));
    image::copy_into(run.image, at + trailer::kName, base::view_of(name));
}

NcpucodeSpot ncpucode_spot(const image::Layout& l, std::uint64_t e, std::uint64_t s) {
    const std::uint64_t a = l.compressed_limit;
    NcpucodeSpot spot;
    if (has_top_hole(l) && a < std::uint64_t{l.top_hole_start} + l.top_hole_size + s + 64) {
        // No room above the top hole: the area goes right below it.
        if (l.top_hole_start < e + s + kTrailerSize)
            spot.excess = e + s + kTrailerSize - l.top_hole_start;
        else
            spot = {true, l.top_hole_start - s - kTrailerSize, 0};
    } else if (a < e + s + kTrailerSize) {
        spot.excess = e + s + kTrailerSize - a;
    } else {
        spot = {true, a - s - kTrailerSize, 0};
    }
    return spot;
}

std::uint64_t ncpucode_room(const image::Layout& l, std::uint64_t e) {
    const std::uint64_t a = l.compressed_limit;
    // Below whatever ends the space above the chain, with the trailer.
    const std::uint64_t top = has_top_hole(l) ? l.top_hole_start : a;
    std::uint64_t room = top >= e + kTrailerSize ? top - e - kTrailerSize : 0;
    // Above the top hole, where it leaves 64 bytes more than the area.
    const std::uint64_t hole_end = std::uint64_t{l.top_hole_start} + l.top_hole_size;
    if (has_top_hole(l) && a >= hole_end + 64) room = std::max(room, a - hole_end - 64);
    return room;
}

bool place_ncpucode_data(cli::Run& run, ByteView data) {
    image::Layout& l = run.layout;
    const std::uint64_t s = data.size();
    const std::uint64_t e = image::chain_end(run.image.bytes(), l.walk_start);
    const NcpucodeSpot spot = ncpucode_spot(l, e, s);
    if (!spot.fits) {
        report_no_space(run, static_cast<std::uint32_t>(spot.excess));
        regions::advise_release(run, {l.walk_start, e, image::module_limit(l), false}, spot.excess,
                                [&](std::uint64_t end) { return ncpucode_spot(l, end, s).fits; });
        run.flags.ncpucode_not_done = true;
        return false;
    }
    if (!fits_in_image(run, spot.start, s)) return false;
    // The old area is erased first, so that no part of it the new one does
    // not cover is left behind.
    if (has_ncpucode(l)) erase_area(run, l.ncpucode_offset, l.ncpucode_size);
    write_special_area(run, spot.start, data, trailer::kMicrocodeMarker, trailer::kMicrocodeName);
    l.ncpucode_present = true;
    l.ncpucode_offset = static_cast<std::uint32_t>(spot.start);
    l.ncpucode_size = static_cast<std::uint32_t>(s);
    run.flags.ncpucode_placed = true;
    return true;
}

bool place_ncpucode(cli::Run& run, const cli::Item& item) {
    const image::Layout& l = run.layout;
    // Only an executable's body is microcode to add. Anything else adds
    // nothing, and the item fails: written as it is, it would make an empty
    // area (and point "*BS1" at it) where there was none.
    const ByteView file = item.component;
    const ByteView body = convert::is_executable(file) ? convert::executable_body(file) : ByteView{};
    if (body.empty()) {
        platform::print(run.con,
                        "%s is no \"MZ\" executable with a body; nothing is added to the microcode area.\n",
                        item.component_name.c_str());
        return false;
    }
    Bytes data = has_ncpucode(l) ? area_data(run, l.ncpucode_offset, l.ncpucode_size) : Bytes{};
    data.insert(data.end(), body.begin(), body.end());
    platform::print(run.con, "Combine %s file to %s...\n", std::string(trailer::kMicrocodeName).c_str(),
                    run.settings.image_name.c_str());
    return place_ncpucode_data(run, data);
}

bool place_top_hole(cli::Run& run, const cli::Item& item) {
    image::Layout& l = run.layout;
    const std::uint64_t s = item.component.size();
    const std::uint64_t t = l.top_hole_address;
    const std::uint64_t e = image::chain_end(run.image.bytes(), l.walk_start);
    const std::uint64_t a = l.compressed_limit;
    const std::uint64_t m = has_ncpucode(l) ? l.ncpucode_size : 0;
    if (a < t + s + kTrailerSize) {
        report_no_space(run, static_cast<std::uint32_t>(t + s + kTrailerSize - a));
        regions::advise_fixed(run, t + s + kTrailerSize - a,
                              "the top hole would reach past the end of the compressed area, and no release "
                              "changes that");
        return false;
    }
    // The microcode area no longer fits above the new top hole: it goes
    // right below it.
    const bool microcode_below = has_ncpucode(l) && a - t - s - kTrailerSize < m + kTrailerSize;
    // The chain must end below the top hole, and below the microcode area
    // when that goes below the top hole.
    const auto chain_fits = [&](std::uint64_t end) {
        return t >= end && (!microcode_below || t >= end + m + kTrailerSize);
    };
    const auto no_room = [&](std::uint64_t excess) {
        report_no_space(run, static_cast<std::uint32_t>(excess));
        const std::uint64_t below = microcode_below ? e + m + kTrailerSize : e;
        regions::advise_release(run, {l.walk_start, e, image::module_limit(l), false}, below - t, chain_fits);
        return false;
    };
    if (t < e) return no_room(e - t);  // the top hole would overlap the module chain
    std::optional<std::uint64_t> microcode_to;
    if (has_ncpucode(l)) {
        if (microcode_below) {
            if (t < e + m + kTrailerSize) return no_room(e + m + kTrailerSize - t);
            microcode_to = t - m - kTrailerSize;
        } else {
            microcode_to = a - m - kTrailerSize;
        }
    }
    if (!fits_in_image(run, t, s) || (microcode_to && !fits_in_image(run, *microcode_to, m))) return false;

    const Bytes microcode = microcode_to ? area_data(run, l.ncpucode_offset, m) : Bytes{};
    if (has_top_hole(l)) erase_area(run, l.top_hole_start, l.top_hole_size);
    if (microcode_to) {
        erase_area(run, l.ncpucode_offset, m);
        write_special_area(run, *microcode_to, microcode, trailer::kMicrocodeMarker, trailer::kMicrocodeName);
        l.ncpucode_offset = static_cast<std::uint32_t>(*microcode_to);
        run.flags.ncpucode_placed = true;
    }
    write_special_area(run, t, item.component, trailer::kTopHoleMarker, trailer::kTopHoleName);
    l.top_hole_start = static_cast<std::uint32_t>(t);
    l.top_hole_size = static_cast<std::uint32_t>(s);
    return true;
}

}  // namespace kitra::edit
