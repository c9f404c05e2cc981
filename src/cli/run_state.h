// The state of one run, passed by reference to every operation: the run
// settings, the image and its layout, the console, the error code and the
// component mark, and the flags the finishing of the image reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "codec/report.h"
#include "image/image_file.h"
#include "image/layout.h"
#include "platform/console.h"
#include "platform/files.h"

namespace kitra::codec {
struct Encoder;
}

namespace kitra::cli {

// What the items did that the finishing of the image must know.
struct FinishFlags {
    bool top_hole_released = false;
    bool ncpucode_released = false;
    bool ncpucode_placed = false;
    bool ncpucode_not_done = false;  // the microcode item ended not found or without space
    bool modules_moved = false;      // a release or compaction moved or removed modules
    bool areas_written = false;      // a hole add or release, or a /BOI set, wrote the image
    // An image made anew from an unpacked folder whose bytes outside the
    // modules were edited there: made so, it differs from the image it was
    // unpacked from, and its checksums must follow.
    bool made_with_edits = false;

    bool operator==(const FinishFlags&) const = default;
};

// A module whose release would give an add that did not fit room.
struct AdvisedRelease {
    std::uint64_t offset = 0;
    std::uint16_t type_id = 0;
    std::string name;         // as the listing names its kind: "PCI ROM[A]"
    std::string stored_name;  // as the image holds it
    std::uint64_t frees = 0;  // its bytes in the image
};

// What the advice said after an add did not fit.
struct SpaceAdvice {
    std::uint64_t shortfall = 0;  // bytes the free end of the area lies too high
    // The smallest set of modules whose release makes room; empty when none
    // does (or when no release can, `releases_help` false).
    std::vector<AdvisedRelease> release;
    bool releases_help = true;
    std::string why;               // without `releases_help`: why no release helps
    bool bootblock_arena = false;  // the room lacked is the bootblock arena's
    std::uint64_t most = 0;        // what every module it could name frees together
    bool all_kinds = false;        // position-dependent and bootblock modules may be named too
};

struct Run {
    Settings settings;
    image::Image image;
    image::Layout layout;
    platform::Console& con;
    int error_code = 0;
    // Set when an item opens its component file (or built-in input), cleared
    // when an item fails to open or prepare it, otherwise left as it is.
    bool component_mark = false;
    FinishFlags flags;
    // Every file the run writes besides its image goes through this writer,
    // and every file it reads besides its image through this reader:
    // platform::write_file_atomically and platform::read_file_up_to, unless
    // a dry run puts its own here.
    platform::FileWriter write_file;
    platform::FileReader read_file;
    // The advice given, in order.
    std::vector<SpaceAdvice> advice;

    Run(Settings s, image::Image img, image::Layout l, platform::Console& c);
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // The encoder's tables, made at the first packing and kept for the run.
    codec::Encoder& encoder();
    // The codec's text goes to the run's console.
    const codec::Report& report() const { return report_; }

  private:
    std::unique_ptr<codec::Encoder> encoder_;
    codec::Report report_;
};

// Prints why an item changes nothing: the reason, then "; the image is left
// unmodified for it." and a line end.
void report_refusal(Run& run, const std::string& reason);

// What an item may change, kept when it starts so that a failed item can be
// undone whole: the image's bytes (through the image's journal, which keeps
// only what the item writes), its layout and the finishing flags. Starting
// an item keeps for good what the items before it did.
class ItemUndo {
  public:
    explicit ItemUndo(Run& run);
    // Puts bytes, layout and flags back. Whether the microcode item ended
    // not found or without space is kept: finishing still needs to know.
    void undo(Run& run) const;

  private:
    std::size_t mark_;
    image::Layout layout_;
    FinishFlags flags_;
};

}  // namespace kitra::cli
