#include "inspect/module_check.h"

#include "base/fatal.h"
#include "cli/catalogue.h"
#include "codec/crc16.h"
#include "codec/packer.h"

namespace kitra::inspect {

namespace {

// A message of the codec as one line.
std::string one_line(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    for (char& c : text)
        if (c == '\n') c = ' ';
    return text;
}

}  // namespace

ModuleCheck check_module(base::ByteView image, const codec::ModuleInfo& m, bool want_contents) {
    namespace field = codec::field;
    ModuleCheck c;
    base::ByteView module = base::slice(image, m.offset, m.length());
    base::Bytes copy;
    if (cli::family_of_type(m.type_id) == cli::Family::kIsa && m.type_suffix != 0) {
        copy.assign(module.begin(), module.end());
        base::write_u16(copy, field::kTypeSuffix, 0);
        module = copy;
    }
    c.header_sum = module[field::kHeaderSum];
    c.computed_header_sum = codec::header_sum(module);
    // A header sum that does not hold is a finding of its own; the contents
    // are still read, from a copy whose sum holds, to learn what else holds.
    if (c.header_sum != c.computed_header_sum) {
        if (copy.empty()) copy.assign(module.begin(), module.end());
        copy[field::kHeaderSum] = c.computed_header_sum;
        module = copy;
    }
    c.method = base::text_of(base::slice(module, field::kMethod, 5));
    // The CRC and the padding are the header's last four bytes: 22 + n and
    // 25 + n for a name of n bytes.
    const std::uint64_t h = m.header_size;
    c.crc16 = base::try_read_u16(module, h - 3).value_or(0);
    c.extension = base::try_read_u16(module, h).value_or(0);
    if (!want_contents) return c;

    std::string reported;
    const codec::Report report{[&](std::string_view t) { reported += t; },
                               [&](std::string_view t) { reported += t; }};
    try {
        c.contents = codec::unpack(module, report);
    } catch (const Fatal& stop) {
        c.problem = one_line(stop.what());
        return c;
    }
    if (!c.contents) {
        c.problem = one_line(reported);
        return c;
    }
    c.computed_crc16 = codec::crc16(*c.contents);
    return c;
}

}  // namespace kitra::inspect
