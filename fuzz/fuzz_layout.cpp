// Layout discovery, the chain walk and the listing on arbitrary bytes: every
// offset they follow comes from the image, so none may reach outside it.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/bytes.h"
#include "base/fatal.h"
#include "image/layout.h"
#include "listing/listing.h"
#include "platform/console.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kitra;
    // Small inputs are placed at the start of a 128 KiB erased image so that
    // the fuzzer reaches the structures without having to grow its inputs.
    base::Bytes bytes(std::max<std::size_t>(size, 0x20000), 0xFF);
    std::copy(data, data + size, bytes.begin());
    try {
        auto result = image::discover_layout(bytes, 0xFFFD0000, true);
        if (auto* layout = std::get_if<image::Layout>(&result)) {
            image::reread_ncpucode_pointer(bytes, *layout);
            (void)image::chain_end(bytes, layout->walk_start);
            static std::FILE* sink = std::fopen("/dev/null", "w");
            platform::Console con;
            con.out = sink;
            con.err = sink;
            listing::print_listing(bytes, *layout, "fuzz.bin", con);
        }
    } catch (const Fatal&) {
    }
    return 0;
}
