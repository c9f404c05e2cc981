#include "convert/bitmap_signature.h"

#include "base/fatal.h"
#include "cli/catalogue.h"
#include "codec/module_header.h"
#include "codec/packer.h"

namespace kitra::convert {

namespace {

// The signature of the module at `m` when it is a firmware bitmap. A module
// damaged in a way the decoder stops at (a bad header sum, a bad table)
// tells nothing here; the run goes on, and whoever extracts or replaces
// that module meets the damage in its own place.
std::optional<Signature> bitmap_in(base::ByteView image, const codec::ModuleInfo& m) {
    const base::ByteView module = base::slice(image, m.offset, m.length());
    if (codec::header_sum(module) != module[codec::field::kHeaderSum]) return std::nullopt;
    try {
        const auto contents = codec::unpack(module, {});
        return contents ? firmware_bitmap_signature(*contents) : std::nullopt;
    } catch (const Fatal&) {
        return std::nullopt;
    }
}

}  // namespace

Signature signature_for(base::ByteView image, const image::Layout& layout, std::uint16_t type_id) {
    std::optional<Signature> replaced;
    std::optional<Signature> first;
    const std::uint64_t end = image::walk_end(layout);
    for (std::uint64_t pos = layout.walk_start; pos < end;) {
        const auto m = codec::module_at(image, pos);
        if (!m) break;
        pos += m->step();
        const std::uint16_t id = m->type_id;
        if (!cli::is_logo_type(id) || cli::takes_position(id)) continue;
        // Only the replaced bitmap, and the first one before it is found,
        // need unpacking.
        if (id != type_id && first) continue;
        const auto signature = bitmap_in(image, *m);
        if (!signature) continue;
        if (id == type_id) {
            replaced = signature;
            break;
        }
        first = signature;
    }
    return replaced ? *replaced : first ? *first : kDefaultSignature;
}

}  // namespace kitra::convert
