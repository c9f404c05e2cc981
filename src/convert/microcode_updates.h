// CPU microcode updates read whole: an Intel update with its extended
// signature table, or an AMD patch (record layouts in microcode_update.h).
// One reader for the listing of an image's updates, for the files an add
// reads and for the inventory, so that all of them agree on what an update
// is and where it ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/bytes.h"

namespace kitra::convert {

enum class Vendor { kIntel, kAmd };

// A processor an update is for. Intel: a CPUID and the mask of platform IDs.
// AMD: the processor revision ID (which the legacy table shows as the
// CPUID), with no mask.
struct UpdateSignature {
    std::uint32_t cpuid = 0;
    std::uint32_t platform_mask = 0;
    bool operator==(const UpdateSignature&) const = default;
};

struct Update {
    Vendor vendor = Vendor::kIntel;
    std::uint64_t offset = 0;  // where it starts in the bytes read
    std::uint32_t size = 0;    // its whole length (an AMD patch: 2048)
    bool checksum_holds = false;
    std::uint32_t revision = 0;  // Intel: the update revision; AMD: the patch ID
    std::uint32_t date = 0;      // Intel: BCD month, day, year; AMD: 0
    // Intel: the header's signature, then those of the extended table.
    std::vector<UpdateSignature> signatures;
    std::uint32_t north_bridge = 0;  // AMD
    std::uint32_t south_bridge = 0;  // AMD

    std::uint32_t cpuid() const { return signatures.front().cpuid; }
    std::uint32_t platform_mask() const { return signatures.front().platform_mask; }
};

// Sums of 32-bit little-endian words over a buffer, any range in constant
// time: checksums of every candidate in an area cost one pass.
class WordSums {
  public:
    explicit WordSums(base::ByteView bytes);
    // The sum of the words in [from, to); both multiples of 4, inside.
    std::uint32_t sum(std::uint64_t from, std::uint64_t to) const;

  private:
    std::vector<std::uint32_t> prefix_;
};

// The update that starts at `offset`, whole and valid: an Intel update
// (header version 1, data and total size that agree, an extended table that
// fills the rest, every checksum holding) or else an AMD patch (its data
// checksum holding). Otherwise why not, as a sentence without a full stop.
// `sums` are those of `bytes`; `offset` is a multiple of 4.
std::variant<Update, std::string> read_update(base::ByteView bytes, const WordSums& sums,
                                              std::uint64_t offset);

// Bytes that are not part of an update found.
struct ByteSpan {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    bool operator==(const ByteSpan&) const = default;
};

struct FoundUpdates {
    std::vector<Update> updates;  // in order; none overlap
    std::vector<ByteSpan> other;  // the bytes between and around them
    std::uint64_t end = 0;        // where the search ended: the area's size, or its first blank record
};

// Every update in `area` wherever it starts on a 16-byte step from the
// area's start. An Intel update whose header and sizes are right (with a
// real date) but whose checksum does not hold is found too, with
// checksum_holds false, so that damage shows. The search goes on after the
// end of each update found. With `stop_at_blank_record` the area ends at the
// first 2048-byte step outside an update that begins 0x00 or 0xFF, where the
// legacy table stops reading the bootblock's area.
FoundUpdates find_updates(base::ByteView area, bool stop_at_blank_record = false);

// A file of updates one after another from its start (one update, or many
// joined): all of them, or the offset of the first that is not whole and
// valid with the reason.
struct UpdateFileProblem {
    std::uint64_t offset = 0;
    std::string reason;
};
std::variant<std::vector<Update>, UpdateFileProblem> read_update_file(base::ByteView bytes);

// "2003-07-15" from the BCD date word; nullopt when its digits are no date.
std::optional<std::string> iso_date(std::uint32_t bcd_date);

// The display family, model and stepping of a CPUID (the extended family and
// model counted where the base family says so).
struct CpuidParts {
    std::uint32_t family = 0;
    std::uint32_t model = 0;
    std::uint32_t stepping = 0;
};
CpuidParts cpuid_parts(std::uint32_t cpuid);

// The platform IDs a mask covers (its set bits), lowest first.
std::vector<int> platform_ids(std::uint32_t mask);

}  // namespace kitra::convert
