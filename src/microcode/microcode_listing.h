// `kitra IMAGE --microcode`: every CPU microcode update of an image, in its
// three places, as a table for people or as JSON for scripts; and the one
// line that names an update wherever a command reports what it does.
#pragma once

#include <string>

#include "convert/microcode_places.h"
#include "convert/microcode_updates.h"

namespace kitra::microcode {

// The JSON document's "schema" value (schema/microcode.schema.json).
inline constexpr const char* kSchema = "kitra-microcode/1";

// "Intel CPUID 00000686 platform IDs 4 revision 0000000A (2000-05-12)", or
// "AMD CPUID 00000F4A bridges 00001022/00001106 patch 00000123".
std::string describe_update(const convert::Update& u);

// The places with what they hold, then one row per update with its notes.
std::string listing_text(const convert::ImageMicrocode& microcode, const std::string& image_name);

// The same as one JSON document.
std::string listing_json(const convert::ImageMicrocode& microcode, const std::string& image_name);

}  // namespace kitra::microcode
