#include "cli/isa_segment.h"

#include "cli/catalogue.h"

namespace kitra::cli {

bool may_carry_segment(std::uint16_t type_id) {
    return family_of_type(type_id) == Family::kIsa;
}

base::ByteView module_to_read(base::ByteView module, std::uint16_t type_id, base::Bytes& copy) {
    if (!may_carry_segment(type_id) || !base::in_range(module, codec::field::kTypeSuffix, 2)) return module;
    copy.assign(module.begin(), module.end());
    base::write_u16(copy, codec::field::kTypeSuffix, 0);
    return copy;
}

std::uint16_t type_suffix(const codec::ModuleInfo& module) {
    return may_carry_segment(module.type_id) ? 0 : module.type_suffix;
}

}  // namespace kitra::cli
