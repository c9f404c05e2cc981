#include "codec/module_header.h"

#include "base/fatal.h"
#include "base/text.h"

namespace kitra::codec {

using base::ByteView;

TypeId parse_type_id_text(std::string_view text) {
    std::uint32_t acc = 0;
    TypeId out;
    for (char c : text) {
        if (c == ':') {
            out.id = static_cast<std::uint16_t>(acc);
            acc = 0;
            continue;
        }
        unsigned v = 0;
        if (c >= '0' && c <= '9')
            v = static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'F')
            v = static_cast<unsigned>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            v = static_cast<unsigned>(c - 'a' + 10);
        acc = acc * 16 + v;
    }
    out.suffix = static_cast<std::uint16_t>(acc);
    return out;
}

std::string module_description(const ModuleInfo& m) {
    return base::format("The module %s (type %04X) at %08llXh", base::printable(m.name).c_str(), m.type_id,
                        static_cast<unsigned long long>(m.offset));
}

bool has_module_mark(ByteView bytes, std::uint64_t offset) {
    return base::matches(bytes, offset + field::kMethod, "-lh");
}

std::optional<ModuleInfo> module_at(ByteView bytes, std::uint64_t offset) {
    if (!base::in_range(bytes, offset, field::kName) || !has_module_mark(bytes, offset)) return std::nullopt;
    ModuleInfo m;
    m.offset = offset;
    m.header_size = bytes[offset + field::kHeaderSize];
    m.packed_size = base::read_u32(bytes, offset + field::kPackedSize);
    if (m.packed_size == kErased) return std::nullopt;
    if (m.header_size < field::kNameLength - 1 || !base::in_range(bytes, offset, m.length()))
        return std::nullopt;
    m.original_size = base::read_u32(bytes, offset + field::kOriginalSize);
    m.type_suffix = base::read_u16(bytes, offset + field::kTypeSuffix);
    m.type_id = base::read_u16(bytes, offset + field::kTypeId);
    m.stored = base::matches(bytes, offset + field::kMethod, "-lh0-");
    const std::uint64_t header_end = offset + m.header_size + 2;
    const std::uint64_t n = bytes[offset + field::kNameLength];
    const std::uint64_t name_start = offset + field::kName;
    const std::uint64_t name_len = name_start >= header_end ? 0 : std::min(n, header_end - name_start);
    m.name.assign(bytes.begin() + static_cast<std::ptrdiff_t>(name_start),
                  bytes.begin() + static_cast<std::ptrdiff_t>(name_start + name_len));
    return m;
}

std::uint8_t header_sum(ByteView module) {
    const std::uint8_t h = base::read_u8(module, field::kHeaderSize);
    return base::sum8(base::slice(module, field::kMethod, h));
}

void update_header_sum(base::MutableByteView module) {
    base::write_u8(module, field::kHeaderSum, header_sum(module));
}

base::Bytes build_header(const HeaderFields& f) {
    if (f.name.size() > kMaxStoredName) {
        throw Fatal(base::format("Stored name too long (%zu bytes, at most %zu): %s\n", f.name.size(),
                                 kMaxStoredName, base::printable(f.name).c_str()),
                    1);
    }
    const std::size_t n = f.name.size();
    base::Bytes h(n + kFixedHeaderBytes, 0);
    h[field::kHeaderSize] = static_cast<std::uint8_t>(n + 25);
    const char* method = f.stored ? "-lh0-" : "-lh5-";
    for (int i = 0; i < 5; ++i) h[field::kMethod + i] = static_cast<std::uint8_t>(method[i]);
    base::write_u32(h, field::kPackedSize, f.packed_size);
    base::write_u32(h, field::kOriginalSize, f.original_size);
    base::write_u16(h, field::kTypeSuffix, f.type.suffix);
    base::write_u16(h, field::kTypeId, f.type.id);
    h[field::kAttribute] = 0x20;
    h[field::kLevel] = 0x01;
    h[field::kNameLength] = static_cast<std::uint8_t>(n);
    for (std::size_t i = 0; i < n; ++i) h[field::kName + i] = static_cast<std::uint8_t>(f.name[i]);
    base::write_u16(h, field::kName + n, f.crc);
    h[field::kName + n + 2] = 0x20;  // OS identifier
    // extension size 0: no extension header follows
    update_header_sum(h);
    return h;
}

}  // namespace kitra::codec
