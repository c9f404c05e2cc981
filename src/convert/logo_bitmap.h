// BMP pictures become firmware bitmaps (firmware_bitmap.h) on their way into
// the image. Which conversion a picture gets is the option's: the logo
// conversion in full-screen or EPA mode, the OSB conversion or the GUI OSB
// conversion (cli::Bitmap in the catalogue).
//
// The logo conversion draws the picture on the firmware's own screen, whose
// palette also serves the firmware's text: it sets the system colours aside
// in their fixed entries (black 0, grey 7, blue 9, white 15) unless told not
// to, and gives the picture's colours the entries left, in the order they
// first appear. In full-screen mode a 256-colour picture is centred on a
// 640 x 480 screen with the bottom strip (bottom_strip.h) under it. The OSB
// conversions keep the picture's own palette and may carry a screen
// position; the GUI form keeps full 8-bit colours and packed rows, and
// wraps true-colour pictures whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "base/bytes.h"
#include "cli/catalogue.h"
#include "cli/command_line.h"
#include "convert/firmware_bitmap.h"

namespace kitra::convert {

// What the conversions read of the run.
struct BitmapSettings {
    bool no_reserve = false;                  // the logo conversion keeps the picture's palette and indices
    std::uint8_t logo_flags = 0;              // the image's logo flags byte (see logo_bitmap.cpp)
    cli::LogoPosition position;               // OSB and GUI OSB: x and y in place of the signature
    Signature signature = kDefaultSignature;  // the image's own (bitmap_signature.h)
};

// The firmware bitmap (or true-colour wrapper) made from the BMP `bmp`, named
// `name`; or, when the picture is refused, the message to print.
std::variant<base::Bytes, std::string> convert_bitmap(cli::Bitmap conversion, base::ByteView bmp,
                                                      std::string_view name, const BitmapSettings& settings);

}  // namespace kitra::convert
