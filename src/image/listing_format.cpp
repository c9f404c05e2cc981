#include "image/listing_format.h"

#include <algorithm>

#include "base/text.h"
#include "codec/module_header.h"

namespace kitra::image {

const char kColumnHeads[] = " No. Item-Name         Original-Size   Compressed-Size Original-File-Name \n";
const char kRule[] = "================================================================================";

std::string size_field(std::uint32_t value) {
    return base::format("%01X%04Xh(%.2fK)", value >> 16, value & 0xFFFF,
                        static_cast<double>(static_cast<float>(value) / 1024.0f));
}

void print_sizes(platform::Console& con, std::uint32_t original, std::uint32_t in_image) {
    platform::print(con, "  %s", size_field(original).c_str());
    platform::move_to_column(con, kSizeColumn);
    platform::write(con, size_field(in_image));
    platform::move_to_column(con, kNameColumn);
}

void print_row(platform::Console& con, std::uint8_t number, const std::string& name, std::uint32_t original,
               std::uint32_t in_image, const std::string& stored_name) {
    platform::print(con, " %2d. %s", number, name.c_str());
    print_sizes(con, original, in_image);
    platform::print(con, "%s\n", c_string(stored_name).c_str());
}

std::string c_string(std::string_view text) {
    return base::printable(text.substr(0, std::min(text.find('\0'), text.size())));
}

RawHeader raw_header(base::ByteView image, std::uint64_t off) {
    namespace field = codec::field;
    RawHeader h;
    h.header_size = off < image.size() ? image[off] : 0;
    h.packed_size = base::try_read_u32(image, off + field::kPackedSize).value_or(0);
    h.original_size = base::try_read_u32(image, off + field::kOriginalSize).value_or(0);
    h.type_suffix = base::try_read_u16(image, off + field::kTypeSuffix).value_or(0);
    h.type_id = base::try_read_u16(image, off + field::kTypeId).value_or(0);
    const std::uint64_t n = off + field::kNameLength < image.size() ? image[off + field::kNameLength] : 0;
    h.name = base::text_of(base::clipped(image, off + field::kName, n));
    return h;
}

std::vector<codec::ModuleInfo> listed_modules(base::ByteView image, const Layout& l) {
    const std::uint32_t end_mark = l.top_hole_size != 0 ? l.top_hole_start : l.compressed_limit;
    std::vector<codec::ModuleInfo> modules;
    std::uint32_t pos = l.walk_start;
    while (auto m = codec::module_at(image, pos)) {
        pos += static_cast<std::uint32_t>(m->step());
        modules.push_back(std::move(*m));
        if (pos >= end_mark - 64) break;
    }
    return modules;
}

}  // namespace kitra::image
