// The content conversions on arbitrary bytes: the text document, the ACPI
// checks and join, the "MZ" rule and the JPEG unwrap. None may read outside
// its input, and the document must keep its own rules whatever the text.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "base/bytes.h"
#include "convert/acpi_tables.h"
#include "convert/executable.h"
#include "convert/mib_document.h"
#include "convert/picture_wrappers.h"

namespace {

using namespace kitra;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

void document(base::ByteView text) {
    const base::Bytes doc = convert::mib_document(text);
    check(doc.size() >= convert::mib::kText && doc.size() < convert::mib::kLimit);
    if (doc.size() > 0xFFFF) check(doc[0xFFFF] == 0);
    const std::uint32_t t = convert::decode_mib_offset(base::read_u16(doc, convert::mib::kTextEnd));
    check(convert::decode_mib_offset(base::read_u16(doc, convert::mib::kTableEnd)) == doc.size());
    check(t <= doc.size() && (doc.size() - t) % 2 == 0);
    for (std::uint64_t at = t; at < doc.size(); at += 2) {
        const std::uint32_t line = convert::decode_mib_offset(base::read_u16(doc, at));
        check(line >= convert::mib::kText && line < t && line % 2 == 0);
    }
    if (t > convert::mib::kText) check(doc[t - 1] == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const base::ByteView input(data, size);
    document(input);
    // Short inputs never reach 0x10000: one marked so is repeated past the
    // document's limit, so the filler and the cut are reached as well.
    if (size > 1 && data[0] == 0xA5) {
        base::Bytes long_text;
        while (long_text.size() < 0x22000) long_text.insert(long_text.end(), data + 1, data + size);
        document(long_text);
    }

    (void)convert::check_acpi_table(input);
    for (const std::uint64_t offset :
         {convert::acpi::kSignature, convert::acpi::kOemTableId, convert::acpi::kOemRevision})
        (void)convert::acpi_header_text(input, offset, 8);
    const std::size_t half = size / 2;
    const std::optional<base::Bytes> dsdt = base::Bytes(data + half, data + size);
    (void)convert::join_acpi_table(input.first(half), dsdt, size % 2 == 0);

    if (convert::is_executable(input)) {
        const base::ByteView body = convert::executable_body(input);
        check(body.empty() || body.data() + body.size() == data + size);
    }
    check(convert::unwrap_jpeg(convert::wrap_jpeg(input)) == base::Bytes(data, data + size));
    return 0;
}
