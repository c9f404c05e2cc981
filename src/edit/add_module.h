// Adding and replacing modules: a component file becomes a module, replaces
// the module of its kind or takes a free slot of its family, and is placed at
// the free end of the compressed area (or in its special area).
#pragma once

#include <cstdint>
#include <variant>

#include "base/bytes.h"
#include "cli/item.h"
#include "cli/run_state.h"

namespace kitra::edit {

cli::ItemResult add_module(cli::Run& run, const cli::Item& item);

// The two halves of an add of the chain, apart from the walk between them
// (which removes what the new module replaces and finds the free end and
// the slot), for callers that say themselves what goes and where.
struct PreparedModule {
    base::Bytes module;   // header, data and separator byte
    base::Bytes content;  // the contents the checks and a family's content keys read
};

// The item's component as the module it adds: a ready module as it is,
// else converted, packed or stored as its kind says; an ACPI SDT table and
// an option ROM checked as the add checks them. The item's result, its
// message printed, when it cannot be made.
std::variant<PreparedModule, cli::ItemResult> prepare_module(cli::Run& run, const cli::Item& item);

// `module` (prepare_module's) placed at `pos`, the free end of the chain,
// under `type_id` where its kind takes a slot: a PE32 or memory-init module
// made for its place, an ISA ROM's segment written, a stored module's data
// aligned, the space checked and reported.
cli::ItemResult place_prepared(cli::Run& run, const cli::Item& item, base::Bytes module, std::uint64_t pos,
                               std::uint16_t type_id);

}  // namespace kitra::edit
