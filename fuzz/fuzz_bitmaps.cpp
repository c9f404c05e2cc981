// The bitmap conversions on arbitrary bytes: the four conversions of a
// picture with settings taken from the input, and the reverse conversion of
// the input and of every firmware bitmap made, and the input read as a
// firmware bitmap for its signature. Every offset and size they
// follow comes from the file, so none may read or write outside a buffer.
#include <cstddef>
#include <cstdint>

#include "base/bytes.h"
#include "base/fatal.h"
#include "convert/firmware_bitmap.h"
#include "convert/logo_bitmap.h"
#include "convert/reverse_logo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kitra;
    if (size < 1) return 0;
    // The first byte chooses the settings; the rest is the picture, which
    // the add would only convert when it begins "BM".
    const std::uint8_t choice = data[0];
    base::Bytes file(data + 1, data + size);
    if (file.size() >= 2) file[0] = 'B', file[1] = 'M';
    convert::BitmapSettings settings;
    settings.no_reserve = (choice & 0x02) != 0;
    settings.logo_flags = static_cast<std::uint8_t>(choice & 0xF1);
    settings.position = {(choice & 0x04) != 0, choice, -choice};
    try {
        for (cli::Bitmap conversion :
             {cli::Bitmap::kFullScreen, cli::Bitmap::kEpa, cli::Bitmap::kOsb, cli::Bitmap::kGuiOsb}) {
            auto result = convert::convert_bitmap(conversion, file, "fuzz.bmp", settings);
            if (const auto* bitmap = std::get_if<base::Bytes>(&result)) (void)convert::reverse_logo(*bitmap);
        }
        (void)convert::reverse_logo(base::ByteView(data, size));
        (void)convert::firmware_bitmap_signature(base::ByteView(data, size));
    } catch (const Fatal&) {
        // A checked access that fails is a stop, not a fault of memory; the
        // conversions should not need it, so make it visible to the fuzzer.
        __builtin_trap();
    }
    return 0;
}
