#include "folder/module_bytes.h"

#include "cli/catalogue.h"
#include "codec/module_header.h"

namespace kitra::folder {

namespace field = codec::field;

base::Bytes header_from_fields(const ModuleEntry& e) {
    codec::HeaderFields f;
    f.name = e.name;
    f.packed_size = e.packed_size;
    f.original_size = e.original_size;
    f.type = {e.type_id, e.type_suffix};
    f.crc = e.crc16;
    base::Bytes h = codec::build_header(f);
    const std::uint64_t n = e.name.size();
    for (std::size_t i = 0; i < 5 && i < e.method.size(); ++i)
        h[field::kMethod + i] = static_cast<std::uint8_t>(e.method[i]);
    h[field::kAttribute] = e.attribute;
    h[field::kLevel] = e.level;
    h[field::kName + n + 2] = e.os;
    base::write_u16(h, field::kName + n + 3, e.padding);
    const bool segment = cli::family_of_type(e.type_id) == cli::Family::kIsa && e.type_suffix != 0;
    if (segment) base::write_u16(h, field::kTypeSuffix, 0);
    codec::update_header_sum(h);
    if (segment) base::write_u16(h, field::kTypeSuffix, e.type_suffix);
    return h;
}

base::Bytes module_bytes(const ModuleEntry& e, base::ByteView contents,
                         std::optional<base::ByteView> stream) {
    base::Bytes m = e.header ? *e.header : header_from_fields(e);
    if (!e.unpacked) {
        m.insert(m.end(), contents.begin(), contents.end());
    } else if (stream) {
        m.insert(m.end(), stream->begin(), stream->end());
    } else {
        m.resize(m.size() + e.padding, 0x00);
        m.insert(m.end(), contents.begin(), contents.end());
        if (e.checksum_byte) m.push_back(*e.checksum_byte);
    }
    return m;
}

}  // namespace kitra::folder
