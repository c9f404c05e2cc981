// Finishing the image after a run that changed it (also when a later item
// failed, since the changes before it stay): released special areas erased,
// the microcode pointer brought up to date, the checksum bytes and the
// balance words recomputed so that the firmware accepts the image.
#pragma once

#include <cstdint>
#include <optional>

#include "base/bytes.h"
#include "cli/run_state.h"
#include "image/layout.h"

namespace kitra::regions {

// With the bootblock flag the image checksum word opens a 1 KiB balance
// area where the image has one (see balance_place): the balance word, then
// the four-byte slots of the byte balance.
constexpr std::uint64_t kBalanceAreaSize = 1024;
// Without the flag the balance word sits at this offset of the base window.
constexpr std::uint64_t kPlainBalanceWord = 0x1E054;

// Where finishing balances the image's word and byte sums.
enum class BalancePlace {
    kNone,       // nowhere: the bytes at the image checksum word are the
                 // firmware's code or data, or lie where the checksum block sums
    kMarked,     // "IMD$": the build balances the image itself
    kArea,       // the 1 KiB balance area at the image checksum word: both sums
    kPlainWord,  // no bootblock flag: the fixed word in the base window, word sum only
};

// The place, read from `image` as it stands. With the bootblock flag the
// 1 KiB at the image checksum word are a balance area only when they are
// erased or already in the form balancing leaves (the balance word, then
// four-byte slots FFFFh FFFFh or 0000h FFFEh, the last two bytes erased): on
// many images that offset holds code, often the checksum block itself, and
// filling it would brick the board. Neither the area nor the plain word is
// ever written inside the range the checksum block sums (or onto its two
// bytes), since that sum is taken before balancing. An area that does not lie
// wholly inside the image is no balance area here; finishing refuses it.
BalancePlace balance_place(base::ByteView image, const image::Layout& layout);

// The offset of the "*BS1" word that finishing points at the non-compressed
// microcode area; nullopt when the image has no such record (an area placed
// there could not be found by the firmware).
std::optional<std::uint64_t> microcode_pointer_offset(base::ByteView image);

// Works on run.image with the layout found when the image was opened
// and the flags the items left. A structure that the layout places outside
// the image stops the run with a Fatal (the image file is then left as it
// was) rather than leaving an image whose checksums are wrong.
void finish_image(cli::Run& run);

}  // namespace kitra::regions
