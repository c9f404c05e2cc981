#include <sys/mman.h>

#include <cstdint>

#include "platform/memory.h"

namespace kitra::platform {

void resize_large(std::vector<std::uint8_t>& bytes, std::size_t n) {
    // A large page is 2 MiB on x86-64; smaller buffers gain too little.
    constexpr std::size_t kLargePage = std::size_t{2} << 20;
    if (bytes.empty() && n >= 2 * kLargePage) {
        bytes.reserve(n);
#ifdef MADV_HUGEPAGE
        // Only the whole large pages inside the buffer; a refusal (no large
        // pages here) leaves ordinary ones.
        std::uint8_t* const data = bytes.data();
        const auto at = reinterpret_cast<std::uintptr_t>(data);
        const std::size_t skip = (kLargePage - at % kLargePage) % kLargePage;
        const std::size_t whole = (n - skip) / kLargePage * kLargePage;
        if (whole != 0) (void)::madvise(data + skip, whole, MADV_HUGEPAGE);
#endif
    }
    bytes.resize(n);
}

}  // namespace kitra::platform
