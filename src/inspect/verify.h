// Verify: is the image sound? Every module is unpacked and its header sum
// and CRC-16 checked; the chain is followed to its free end and whatever
// lies between there and the module limit is reported; finishing is run on
// a copy and every byte it would change is reported (the image is then not
// finished: a checksum byte, a balance word, the bootblock checksum byte or
// the microcode pointer is stale); option ROMs, microcode updates and PE32
// images are checked against their own checksums, and PE32 images against
// the address they lie at. Nothing is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "image/layout.h"

namespace kitra::inspect {

// One thing found wrong: where, which check, what, what is there and what
// should be.
struct Finding {
    std::uint64_t offset = 0;
    std::string check;    // "header-sum", "crc16", "unreadable", "past-limit", "after-chain",
                          // "not-finished", "finishing-stops", "option-rom", "microcode",
                          // "pe32-checksum", "pe32-base", "hole-size"
    std::string subject;  // "module 3 (PCI ROM[B] \"raid.rom\")"
    std::string found;
    std::string expected;
};

struct Verification {
    std::vector<Finding> findings;
    std::size_t modules = 0;            // unpacked and checked
    std::size_t option_roms = 0;        // images with a checksum
    std::size_t microcode_updates = 0;  // with a checksum of their own
    std::size_t pe32_images = 0;
    bool sound() const { return findings.empty(); }
};

// Exit status of --verify when it finds damage.
constexpr int kDamageStatus = 3;

// `unpack_budget` as in InventoryOptions (0: the default).
Verification verify_image(base::ByteView image, const image::Layout& layout, std::uint64_t unpack_budget = 0);

// One line a finding ("offset  subject: found, expected ..."), then the
// verdict.
std::string verification_text(const Verification& v, const std::string& image_name);

// "kitra-verify/1", described by schema/verify.schema.json.
constexpr const char* kVerifySchema = "kitra-verify/1";
std::string verification_json(const Verification& v, const std::string& image_name, std::uint64_t length);

}  // namespace kitra::inspect
