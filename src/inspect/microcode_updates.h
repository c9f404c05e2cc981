// CPU microcode updates as the commands that inspect an image show them, and
// as --microcode lists them. convert/microcode_places reads them (the
// inventory hands it the modules it has unpacked already), so the inventory,
// verify, diff and --microcode see the same updates with the same notes;
// this file gives a place and an update one JSON shape wherever a document
// holds them, and the texts their lines share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/json.h"
#include "convert/microcode_places.h"
#include "convert/microcode_updates.h"

namespace kitra::inspect {

// "bootblock", "module", "uncompressed".
const char* place_word(convert::MicrocodePlace place);

// The members "bridge_layout", "places" and "updates" of the object being
// written: the places with what they hold and the bytes in them that are no
// update, then every update with its notes.
void write_microcode_members(base::JsonWriter& w, const convert::ImageMicrocode& microcode);

// One update as an object. `number` is its index in its image's listing
// (from 1), which its "duplicate_of" and "superseded_by" count in too;
// `place` is the kind of the place it lies in.
void write_microcode_update(base::JsonWriter& w, std::size_t number, const convert::ListedUpdate& update,
                            convert::MicrocodePlace place);

// An Intel update's date as "2003-07-15", or its word and "?" when its digits
// are no date; "-" for an AMD patch.
std::string microcode_date_text(const convert::Update& update);

// The platform IDs a mask covers: "1,4", or "none".
std::string platform_ids_text(std::uint32_t mask);

}  // namespace kitra::inspect
