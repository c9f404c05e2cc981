// The inventory (its JSON document and its columns), the space report,
// verify and diff on
// arbitrary images: every structure they read and every module they unpack
// comes from the image, so none may reach outside it, and none may stop:
// a Fatal escaping them is a finding too. The diff compares the image with a
// copy of it that one byte tells apart.
#include <cstddef>
#include <cstdint>

#include "base/bytes.h"
#include "image/layout.h"
#include "inspect/diff.h"
#include "inspect/inventory.h"
#include "inspect/inventory_json.h"
#include "inspect/inventory_text.h"
#include "inspect/space_report.h"
#include "inspect/verify.h"

namespace {

// Small inputs unpack to little: a module that claims more than this in all
// is not unpacked, so that an input runs in well under a second.
constexpr std::uint64_t kUnpackBudget = 16u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kitra;
    // Small inputs are placed at the start of a 128 KiB erased image so that
    // the fuzzer reaches the structures without having to grow its inputs.
    base::Bytes bytes(std::max<std::size_t>(size, 0x20000), 0xFF);
    std::copy(data, data + size, bytes.begin());
    const auto found = image::discover_layout(bytes, 0, false);
    const auto* layout = std::get_if<image::Layout>(&found);
    if (layout == nullptr) return 0;
    const std::string name = "fuzz.bin";
    const inspect::Inventory inv =
        inspect::take_inventory(name, bytes, *layout, {.unpack_budget = kUnpackBudget});
    (void)inspect::inventory_json(inv);
    (void)inspect::inventory_text(inv);
    const inspect::SpaceReport space = inspect::space_report(inv, bytes);
    (void)inspect::space_text(space);
    (void)inspect::space_json(space);
    std::uint64_t mapped = 0;
    for (const inspect::MapRegion& r : space.map) {
        if (r.offset != mapped || r.size == 0 || r.used > r.size)
            __builtin_trap();  // the map has a gap or overlap
        mapped += r.size;
    }
    if (mapped != bytes.size()) __builtin_trap();
    const inspect::Verification v = inspect::verify_image(bytes, *layout, kUnpackBudget);
    (void)inspect::verification_text(v, name);
    (void)inspect::verification_json(v, name, bytes.size());

    base::Bytes other = bytes;
    other[size % other.size()] ^= 0x5A;
    const auto other_found = image::discover_layout(other, 0, false);
    if (const auto* other_layout = std::get_if<image::Layout>(&other_found)) {
        const inspect::Difference d = inspect::diff_images(
            {name, bytes, *layout}, {name, other, *other_layout}, {.unpack_budget = kUnpackBudget});
        (void)inspect::difference_text(d);
        (void)inspect::difference_json(d);
    }
    return 0;
}
