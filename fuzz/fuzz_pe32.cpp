// PE32 relocation, the bootblock reference patchers and compaction on
// arbitrary bytes. The input is a PE file to check and relocate, and also
// the end of an image whose base window then holds whatever FixupDescriptor
// tables, markers and "*BBSS*" records the fuzzer makes, and the start of an
// image whose module chain is closed up. Every offset followed comes from
// the input, so none may reach outside its buffer.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "base/bytes.h"
#include "base/fatal.h"
#include "regions/fixup_descriptor.h"
#include "regions/htinit_patcher.h"
#include "regions/memory_init_patcher.h"
#include "regions/pe32_checksum_flag.h"
#include "regions/pe32_image.h"
#include "regions/position_dependent.h"

namespace {

using namespace kitra;

constexpr std::size_t kImageSize = 0x20000;  // the smallest image with a base window

// The PE file in a buffer of exactly its size: a relocation that looked past
// it would be caught.
void relocate_file(base::ByteView input, std::uint32_t address, regions::EntryForm form) {
    base::Bytes file(input.begin(), input.end());
    const auto read = regions::read_pe32(file);
    if (const auto* image = std::get_if<regions::Pe32Image>(&read)) {
        (void)regions::relocate(file, *image, address, form);
        regions::set_image_checksum(file);
    }
}

void patch_window(base::ByteView input, const regions::PlacedModule& module) {
    base::Bytes image(std::max(input.size(), kImageSize), 0xFF);
    std::copy(input.begin(), input.end(), image.end() - static_cast<std::ptrdiff_t>(input.size()));
    for (const auto form : {regions::FixupForm::kMain, regions::FixupForm::kBootblock}) {
        try {
            (void)regions::patch_fixup_descriptors(image, module, form);
        } catch (const Fatal&) {
        }
    }
    regions::patch_memory_init(image, module.entry_point, regions::MemoryInitForm::kMain);
    regions::patch_memory_init(image, module.entry_point, regions::MemoryInitForm::kBootblock);
    regions::patch_htinit(image, module.entry_point);
    regions::set_pe32_checksum_flag(image);
}

void compact_chain(base::ByteView input, std::uint64_t removed) {
    base::Bytes image(std::max(input.size(), kImageSize), 0xFF);
    std::copy(input.begin(), input.end(), image.begin());
    try {
        (void)regions::compact(image, 0, removed, image.size(), {});
    } catch (const Fatal&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kHeader = 7;  // address (4), kind, form, removed length
    if (size < kHeader) return 0;
    const std::uint32_t address = base::read_u32(base::ByteView(data, size), 0);
    const regions::PlacedModule module{address, address + data[5] * 16u,
                                       static_cast<std::uint8_t>(1 + data[4] % 4)};
    const base::ByteView rest(data + kHeader, size - kHeader);
    relocate_file(rest, address,
                  data[5] % 2 == 0 ? regions::EntryForm::kPlain : regions::EntryForm::kFileOffset);
    patch_window(rest, module);
    compact_chain(rest, data[6]);
    return 0;
}
