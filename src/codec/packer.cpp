#include "codec/packer.h"

#include <algorithm>

#include "base/fatal.h"
#include "base/text.h"
#include "codec/crc16.h"
#include "codec/lzh_decoder.h"
#include "codec/module_header.h"

namespace kitra::codec {

unsigned pack_ratio(std::uint32_t a, std::uint32_t b) {
    for (int i = 0; i < 3; ++i) {
        if (a <= 0xFFFFFFFFu / 10)
            a *= 10;
        else
            b /= 10;
    }
    if (static_cast<std::uint32_t>(a + (b >> 1)) < a) {
        a >>= 1;
        b >>= 1;
    }
    if (b == 0) return 0;
    return (a + (b >> 1)) / b;
}

base::Bytes pack(base::ByteView input, PackMode mode, std::string_view stored_name,
                 std::string_view type_id_text, Encoder& encoder, const Report& report) {
    if (type_id_text.size() > kMaxTypeIdText) {
        throw Fatal(base::format("Type ID text too long (%zu characters, at most %zu): %s\n",
                                 type_id_text.size(), kMaxTypeIdText, base::printable(type_id_text).c_str()),
                    1);
    }
    if (stored_name.size() > kMaxStoredName) {
        throw Fatal(base::format("Stored name too long (%zu bytes, at most %zu): %s\n", stored_name.size(),
                                 kMaxStoredName, base::printable(stored_name).c_str()),
                    1);
    }
    if (input.size() > 0xFFFFFFFFu) {
        throw Fatal(base::format("File too large to pack (%zu bytes): %s\n", input.size(),
                                 base::printable(stored_name).c_str()),
                    1);
    }
    const bool store = mode == PackMode::kStore;
    const bool progress = mode != PackMode::kQuiet;
    if (progress) report.text("Adding " + std::string(stored_name) + " ");

    HeaderFields fields;
    fields.name = std::string(stored_name);
    fields.type = parse_type_id_text(type_id_text);
    const std::size_t header_length = stored_name.size() + kFixedHeaderBytes;

    base::Bytes module(header_length, 0);
    module.reserve(header_length + input.size() + 1);
    bool stored = store;
    if (!store) {
        const EncodeResult r = encode(encoder, input, module, report, progress);
        stored = r.unpackable;
        if (!stored) {
            fields.packed_size = static_cast<std::uint32_t>(module.size() - header_length);
            fields.original_size = static_cast<std::uint32_t>(r.input_count);
            fields.crc = r.crc;
        }
    }
    if (stored) {
        module.resize(header_length);
        module.insert(module.end(), input.begin(), input.end());
        fields.packed_size = fields.original_size = static_cast<std::uint32_t>(input.size());
        fields.crc = crc16(input);
    }
    fields.stored = stored;
    const base::Bytes header = build_header(fields);
    std::copy(header.begin(), header.end(), module.begin());

    if (progress) {
        const unsigned ratio = pack_ratio(fields.packed_size, fields.original_size);
        report.text(base::format(" %u.%u%%\n", ratio / 10, ratio % 10));
    }
    module.push_back(0x00);  // the separator before the next module
    return module;
}

bool known_method(base::ByteView module) {
    if (!base::in_range(module, field::kMethod, 5)) return false;
    const std::uint8_t digit = module[field::kMethod + 3];
    return base::matches(module, field::kMethod, "-lh") && module[field::kMethod + 4] == '-' &&
           (digit == '0' || digit == '4' || digit == '5');
}

std::optional<base::Bytes> unpack(base::ByteView module, const Report& report) {
    if (module.empty() || module[field::kHeaderSize] == 0) {
        report.text("No module: the header size is 0 (end of the modules)\n");
        return std::nullopt;
    }
    const unsigned h = module[field::kHeaderSize];
    // The fields up to the original size must lie inside the header.
    if (h < field::kTypeSuffix || !base::in_range(module, 0, std::uint64_t{h} + 2)) {
        report.text("No module: the header is cut short\n");
        return std::nullopt;
    }
    if (header_sum(module) != module[field::kHeaderSum]) throw Fatal("Header sum error\n", 1);

    const std::uint32_t packed = base::read_u32(module, field::kPackedSize);
    const std::uint32_t original = base::read_u32(module, field::kOriginalSize);
    // The last two header bytes: padding between header and data, counted in
    // the packed size.
    const std::uint16_t pad = base::read_u16(module, h);
    const std::uint64_t data_start = std::uint64_t{h} + 2 + pad;
    if (pad > packed || data_start > module.size()) {
        report.text("No module: the header's padding reaches past the data\n");
        return std::nullopt;
    }
    const base::ByteView data = base::clipped(module, data_start, packed - pad);

    const std::uint8_t digit = module[field::kMethod + 3];
    if (!known_method(module)) {
        report.error(base::format("Unknown method: %u\n", unsigned{digit}));
        return std::nullopt;
    }
    if (digit == '0') {
        if (data.size() < original) throw Fatal("Can't read\n", 1);
        return base::Bytes(data.begin(), data.begin() + original);
    }
    if (original > kMaxUnpackedSize) {
        report.text(
            base::format("No module: its original size (%u bytes) is too large to unpack\n", original));
        return std::nullopt;
    }
    return decode_lh5(data, original);
}

}  // namespace kitra::codec
