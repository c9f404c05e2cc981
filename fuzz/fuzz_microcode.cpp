// The CPU microcode readers on arbitrary bytes: the search for updates in an
// area, a file of updates one after another, the ".dat" text form, and the
// three places of an image (the input, filled up to 128 KiB with 0xFF, as an
// image). None may read outside its input; the updates found must lie
// inside it, one after another, with the other bytes exactly between them.
#include <cstddef>
#include <cstdint>
#include <variant>

#include "base/bytes.h"
#include "base/fatal.h"
#include "codec/report.h"
#include "convert/microcode_dat.h"
#include "convert/microcode_places.h"
#include "convert/microcode_updates.h"
#include "image/layout.h"

namespace {

using namespace kitra;

constexpr std::size_t kImageSize = 0x20000;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

// Updates and other bytes tile the bytes searched, in order.
void check_found(base::ByteView area, const convert::FoundUpdates& f) {
    check(f.end <= area.size());
    std::uint64_t at = 0;
    std::size_t other = 0;
    for (const convert::Update& u : f.updates) {
        if (other < f.other.size() && f.other[other].offset == at) at += f.other[other++].length;
        check(u.offset == at && u.size != 0 && base::in_range(area, u.offset, u.size));
        check(!u.signatures.empty());
        at += u.size;
    }
    if (other < f.other.size() && f.other[other].offset == at) at += f.other[other++].length;
    check(other == f.other.size() && at == f.end);
}

void check_file(base::ByteView bytes) {
    const auto read = convert::read_update_file(bytes);
    if (const auto* updates = std::get_if<std::vector<convert::Update>>(&read)) {
        std::uint64_t at = 0;
        for (const convert::Update& u : *updates) {
            check(u.offset == at && u.checksum_holds);
            at += u.size;
        }
        check(at == bytes.size());
    } else {
        check(std::get<convert::UpdateFileProblem>(read).offset < bytes.size() || bytes.empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const base::ByteView input(data, size);
    check_found(input, convert::find_updates(input));
    check_found(input, convert::find_updates(input, true));
    check_file(input);
    if (convert::is_dat_text(input)) {
        const auto read = convert::read_dat(input);
        if (const auto* words = std::get_if<convert::DatWords>(&read)) {
            check(words->bytes.size() == 4 * words->lines.size());
            check_file(words->bytes);
        }
    }

    base::Bytes image(input.begin(), input.end());
    if (image.size() < kImageSize) image.resize(kImageSize, 0xFF);
    const auto layout = image::discover_layout(image, 0, false);
    if (const auto* l = std::get_if<image::Layout>(&layout)) {
        try {
            const convert::ImageMicrocode im = convert::image_microcode(image, *l, codec::Report{});
            for (const convert::PlaceUpdates& p : im.places) check_found(p.bytes, p.found);
            for (const convert::ListedUpdate& u : im.updates) {
                check(u.place < im.places.size());
                check(!u.duplicate_of || *u.duplicate_of < im.updates.size());
                check(!u.superseded_by || *u.superseded_by < im.updates.size());
            }
        } catch (const Fatal&) {
            // A module whose header sum is wrong stops the run, as wherever one is unpacked.
        }
    }
    return 0;
}
