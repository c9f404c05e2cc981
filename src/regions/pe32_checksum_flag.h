// The PE32 checksum flag: bit 7 of the byte 6 bytes into a "*BS1" record.
// When it is set, the PE32 and memory-init images of the compressed area
// carry a last byte that makes their 8-bit sum 0 (appended when they were
// added). Only the records image::find_bs1_records counts hold it.
#pragma once

#include "base/bytes.h"
#include "image/editable.h"

namespace kitra::regions {

// Whether any of those records has the flag set.
bool pe32_checksum_flag(base::ByteView image);

// Sets the flag in every one of them; bytes written inside the bootblock
// checksum region keep its checksum byte right.
void set_pe32_checksum_flag(const image::Editable& image);

}  // namespace kitra::regions
