#include "convert/acpi_tables.h"

#include <algorithm>

namespace kitra::convert {

AcpiTableCheck check_acpi_table(base::ByteView table) {
    const std::optional<std::uint32_t> length = base::try_read_u32(table, acpi::kLength);
    if (!length || *length != table.size() || table.size() > acpi::kMaxModuleTable)
        return AcpiTableCheck::kWrongSize;
    if (table.size() < acpi::kHeaderSize) return AcpiTableCheck::kTooShort;
    return base::sum8(table) == 0 ? AcpiTableCheck::kGood : AcpiTableCheck::kBadChecksum;
}

std::string acpi_header_text(base::ByteView table, std::uint64_t offset, std::uint64_t size) {
    const base::ByteView field = base::clipped(table, offset, size);
    return {field.begin(), std::find(field.begin(), field.end(), std::uint8_t{0})};
}

AcpiJoin join_acpi_table(base::ByteView body, const std::optional<base::Bytes>& dsdt,
                         bool body_from_executable) {
    AcpiJoin join;
    if (body_from_executable && body.size() > acpi::kMaxBody) {
        join.problem = AcpiJoinProblem::kBodyTooLarge;
        return join;
    }
    const std::uint64_t size = body.size() + (dsdt ? dsdt->size() : 0);
    if (size > acpi::kMaxJoin) {
        join.problem = AcpiJoinProblem::kTooLarge;
        return join;
    }
    join.table.assign(body.begin(), body.end());
    if (dsdt) join.table.insert(join.table.end(), dsdt->begin(), dsdt->end());
    return join;
}

}  // namespace kitra::convert
