#include "regions/finishing.h"

#include <algorithm>
#include <string_view>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/text.h"
#include "image/editable.h"
#include "image/markers.h"
#include "image/records.h"
#include "platform/console.h"
#include "regions/bootblock_checksum.h"

namespace kitra::regions {

namespace {

using base::ByteView;
using image::Editable;

// Both special areas end in a 32-byte trailer that goes with them.
constexpr std::uint64_t kTrailerSize = image::trailer::kSize;
constexpr std::uint8_t kErased = 0xFF;

// The checksum block's last two bytes: the 8-bit sum of the compressed area
// from the system BIOS on, and a second byte that follows every change of
// the first (so a byte sum over both stays what the firmware expects).
constexpr std::uint64_t kSumByte = 4094;
constexpr std::uint64_t kFollowerByte = 4095;

// "*BS1", which holds the microcode area's address, is looked for from just
// inside the base window to the end of the image.
constexpr std::uint64_t kBs1SearchFromEnd = 0x1FFFF;

// A build that balances the image itself marks its balance area "IMD$".
constexpr std::string_view kBalanceMarker = "IMD$";
constexpr std::uint64_t kBalanceSlotsStart = 2;
constexpr std::uint64_t kBalanceSlotSize = 4;

// Finishing writes only where the layout found its structures. A crafted
// image can put them past its end; finishing it anyway would leave the image
// without valid checksums while the run reports success, so the run stops
// and the image stays as it was.
void require_area(ByteView image, const char* what, std::uint64_t offset, std::uint64_t length) {
    if (base::in_range(image, offset, length)) return;
    throw Fatal(
        base::format("The %s at %llXh (%llXh bytes) lies outside the image; the image is left "
                     "unmodified.\n",
                     what, static_cast<unsigned long long>(offset), static_cast<unsigned long long>(length)));
}

void erase_area(const Editable& image, const char* what, std::uint64_t offset, std::uint64_t size) {
    require_area(image.bytes(), what, offset, size + kTrailerSize);
    image::fill(image, offset, size + kTrailerSize, kErased);
}

void add_to_byte(const Editable& image, std::uint64_t offset, unsigned change) {
    image::write_u8(image, offset, static_cast<std::uint8_t>(base::read_u8(image.bytes(), offset) + change));
}

// Steps that write into the checksum block need both of its checksum bytes.
void require_checksum_block(const cli::Run& run) {
    require_area(run.image.bytes(), "checksum block", run.layout.checksum_block, kFollowerByte + 1);
}

// A run whose items touched components, released or moved modules, or wrote
// a hole or the Boot On Internet block leaves checksums to be made right; a
// run that only listed or extracted does not. The component mark alone would
// not do: an item that fails to open its file clears it, while the changes
// of the items before it stay.
bool run_changed_components(const cli::Run& run) {
    return run.component_mark || run.image.changed() || run.flags.modules_moved ||
           run.flags.ncpucode_released || run.flags.ncpucode_placed || run.flags.top_hole_released ||
           run.flags.areas_written || run.flags.made_with_edits;
}

bool erase_released_top_hole(cli::Run& run) {
    if (!run.flags.top_hole_released || run.layout.top_hole_size == 0) return false;
    erase_area(run.image, "top hole", run.layout.top_hole_start, run.layout.top_hole_size);
    return true;
}

// On the extended layout the bootblock checksum region is summed afresh. A
// record that names no usable region stops the run like any other structure
// outside the image; no "*BBSS*" at all leaves nothing to keep right.
void refresh_bootblock_checksum(cli::Run& run) {
    const ByteView image = run.image.bytes();
    const auto found = locate_bootblock_checksum(image, bootblock_search_start(image));
    if (const auto* at = std::get_if<BootblockChecksum>(&found)) {
        recompute_bootblock_checksum(run.image, *at);
        return;
    }
    if (std::get<BootblockChecksumProblem>(found) == BootblockChecksumProblem::MarkerMissing) return;
    throw Fatal(
        "The bootblock record \"*BBSS*\" names a checksum region outside its window; the image is left "
        "unmodified.\n");
}

// Points "*BS1" at the microcode area's offset and moves the checksum bytes
// with the pointer's bytes: the first by their change d, the second by 2 d.
void update_microcode_pointer(cli::Run& run) {
    const ByteView image = run.image.bytes();
    if (const auto found = microcode_pointer_offset(image)) {
        const std::uint64_t pointer = *found;
        const ByteView old_view = base::slice(ByteView(image), pointer, 4);
        const base::Bytes old_bytes(old_view.begin(), old_view.end());
        if (run.layout.bbss_found) require_checksum_block(run);
        image::write_u32(run.image, pointer,
                         image::rom_address_of(run.layout.ncpucode_offset, run.layout.image_length));
        const std::uint8_t d = sum_change(base::slice(ByteView(image), pointer, 4), old_bytes);
        if (run.layout.bbss_found) {
            add_to_byte(run.image, run.layout.checksum_block + kSumByte, d);
            add_to_byte(run.image, run.layout.checksum_block + kFollowerByte, 2u * d);
        }
    }
    if (run.layout.extended_layout) refresh_bootblock_checksum(run);
}

void finish_ncpucode(cli::Run& run) {
    const image::Layout& l = run.layout;
    if (l.ncpucode_present && run.flags.ncpucode_released) {
        erase_area(run.image, "microcode area", l.ncpucode_offset, l.ncpucode_size);
        platform::print(run.con, "\n  Free address [%X] of the BIOS\n", l.ncpucode_offset);
        return;
    }
    // With /err the pointer is written even when the microcode item ended
    // not found or without space.
    const bool done = !run.flags.ncpucode_not_done || run.settings.error_mode;
    if ((l.ncpucode_present || run.flags.ncpucode_placed) && done) update_microcode_pointer(run);
}

// The sum byte covers the system BIOS offset up to itself; the follower byte
// takes the sum byte's change. A checksum block below the system BIOS covers
// nothing and gets the sum 0.
void update_checksum_block(cli::Run& run) {
    // Without a "*BBSS*" record the image names no checksum block; its
    // default offset 0 lies inside the system BIOS module, which must not be
    // written.
    if (!run.layout.bbss_found) return;
    require_checksum_block(run);
    const ByteView image = run.image.bytes();
    const std::uint64_t sum_at = std::uint64_t{run.layout.checksum_block} + kSumByte;
    const std::uint64_t from = run.layout.system_bios_offset;
    const std::uint8_t sum =
        from < sum_at ? base::sum8(base::slice(ByteView(image), from, sum_at - from)) : 0;
    const std::uint8_t old = base::read_u8(image, sum_at);
    image::write_u8(run.image, sum_at, sum);
    add_to_byte(run.image, run.layout.checksum_block + kFollowerByte, static_cast<std::uint8_t>(sum - old));
}

// The range the checksum block's sum byte covers, with its two bytes: from
// the system BIOS (or the sum byte, when the system BIOS lies above it) to
// the end of the block. Empty without a "*BBSS*" record.
struct Range {
    std::uint64_t from = 0;
    std::uint64_t to = 0;
    bool overlaps(std::uint64_t offset, std::uint64_t length) const {
        return offset < to && from < offset + length;
    }
};
Range checksummed_range(const image::Layout& l) {
    if (!l.bbss_found) return {};
    const std::uint64_t sum_at = std::uint64_t{l.checksum_block} + kSumByte;
    return {std::min<std::uint64_t>(l.system_bios_offset, sum_at), sum_at + 2};
}

// Erased, or as balancing leaves it: any balance word, then 255 slots each
// FFFFh FFFFh or 0000h FFFEh (in any order), then two erased bytes.
bool in_balance_form(ByteView area) {
    constexpr std::uint32_t kErasedSlot = 0xFFFFFFFFu;
    constexpr std::uint32_t kBalancedSlot = 0xFFFE0000u;
    std::uint64_t at = kBalanceSlotsStart;
    for (; at + kBalanceSlotSize <= area.size(); at += kBalanceSlotSize) {
        const std::uint32_t slot = base::read_u32(area, at);
        if (slot != kErasedSlot && slot != kBalancedSlot) return false;
    }
    for (; at < area.size(); ++at)
        if (area[at] != kErased) return false;
    return true;
}

// The word that balances the image's word sum. It must lie on a word
// boundary: at an odd offset it straddles two of the words summed and no
// value of it makes the sum 0.
std::uint64_t balance_word_offset(const cli::Run& run, BalancePlace place) {
    const std::uint64_t offset = place == BalancePlace::kArea
                                     ? std::uint64_t{run.layout.image_checksum_word}
                                     : image::base_window_start(run.image.length()) + kPlainBalanceWord;
    require_area(run.image.bytes(), "balance word", offset, 2);
    if (offset % 2 != 0)
        throw Fatal(
            base::format("The balance word at %llXh is not on a word boundary, so the image cannot be "
                         "balanced; the image is left unmodified.\n",
                         static_cast<unsigned long long>(offset)));
    return offset;
}

void balance_words(const Editable& image, std::uint64_t offset) {
    const std::uint16_t s = base::sum16_le(image.bytes());
    image::write_u16(image, offset, static_cast<std::uint16_t>(base::read_u16(image.bytes(), offset) - s));
}

// Each slot turns from FFFFh FFFFh into 0000h FFFEh: the byte sum grows by
// 1 and the word sum stays. At most 255 slots fit in the balance area.
void balance_bytes(const Editable& image, std::uint64_t offset) {
    const ByteView bytes = image.bytes();
    const unsigned slots = static_cast<std::uint8_t>(0u - base::sum8(bytes));
    for (unsigned i = 0; i < slots; ++i) {
        const std::uint64_t slot = offset + kBalanceSlotsStart + kBalanceSlotSize * i;
        image::write_u16(image, slot, static_cast<std::uint16_t>(base::read_u16(bytes, slot) + 1));
        image::write_u16(image, slot + 2, static_cast<std::uint16_t>(base::read_u16(bytes, slot + 2) - 1));
    }
}

}  // namespace

BalancePlace balance_place(ByteView image, const image::Layout& layout) {
    const Range guarded = checksummed_range(layout);
    if (!layout.bootblock_flag) {
        if (image.size() < image::kBaseWindowSize) return BalancePlace::kNone;
        const std::uint64_t word = image::base_window_start(image.size()) + kPlainBalanceWord;
        return guarded.overlaps(word, 2) ? BalancePlace::kNone : BalancePlace::kPlainWord;
    }
    const std::uint64_t at = layout.image_checksum_word;
    if (base::matches(image, at, kBalanceMarker)) return BalancePlace::kMarked;
    if (!base::in_range(image, at, kBalanceAreaSize) || guarded.overlaps(at, kBalanceAreaSize) ||
        !in_balance_form(base::slice(image, at, kBalanceAreaSize)))
        return BalancePlace::kNone;
    return BalancePlace::kArea;
}

std::optional<std::uint64_t> microcode_pointer_offset(ByteView image) {
    const std::uint64_t start = image.size() >= kBs1SearchFromEnd ? image.size() - kBs1SearchFromEnd : 0;
    const auto bs1 = image::find_marker(image, start, image.size(), image::bs1::kMarker);
    // A record too short to hold the pointer is no record.
    if (!bs1 || !base::in_range(image, *bs1 + image::bs1::kMicrocodeAddress, 4)) return std::nullopt;
    return *bs1 + image::bs1::kMicrocodeAddress;
}

void finish_image(cli::Run& run) {
    if (erase_released_top_hole(run)) return;
    if (!run_changed_components(run)) return;
    finish_ncpucode(run);
    update_checksum_block(run);

    const image::Layout& l = run.layout;
    // A marked area is not written, so it need not fit whole.
    if (l.bootblock_flag && !base::matches(run.image.bytes(), l.image_checksum_word, kBalanceMarker))
        require_area(run.image.bytes(), "balance area", l.image_checksum_word, kBalanceAreaSize);
    const BalancePlace place = balance_place(run.image.bytes(), l);
    if (place != BalancePlace::kArea && place != BalancePlace::kPlainWord) return;
    const std::uint64_t word_at = balance_word_offset(run, place);
    if (place == BalancePlace::kArea) image::fill(run.image, word_at, kBalanceAreaSize, kErased);
    balance_words(run.image, word_at);
    if (place == BalancePlace::kArea) balance_bytes(run.image, word_at);
}

}  // namespace kitra::regions
