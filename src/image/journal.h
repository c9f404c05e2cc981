// What the writes of a run replaced. It serves two ends: an item that fails
// is undone by putting back the old bytes of each of its writes, newest
// first; and at the end of the run the bytes a range held before the run
// first wrote it tell whether the image now differs from its file. Only
// the ranges written are kept, never a copy of the whole image; long runs
// of one value (erased flash above all) are kept as the value and a length,
// so a module written into free space costs next to nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "base/bytes.h"

namespace kitra::image {

class Journal {
  public:
    // Keeps what [offset, offset + length) of `bytes` holds, before it is
    // written. The range is checked: one outside `bytes` stops the run.
    void save(base::ByteView bytes, std::uint64_t offset, std::uint64_t length);

    // roll_back(bytes, m) puts back, newest first, every range saved since
    // mark() returned m. Marks nest: an operation can undo its own writes
    // inside an item that may still be undone whole.
    std::size_t mark() const { return undo_.size(); }
    void roll_back(base::MutableByteView bytes, std::size_t mark);

    // The writes so far stay: what would undo them is dropped. What tells
    // whether the image changed is kept.
    void keep() { undo_.clear(); }

    // Whether `bytes` differ anywhere from what they held before the first
    // write that has not been undone. Writing a byte's old value back is no
    // change.
    bool differs(base::ByteView bytes) const;

    // `bytes` are now what the file holds: nothing is left to undo or compare.
    void settle();

  private:
    // `length` bytes: `bytes` itself, or when it is empty, that many of `fill`.
    struct Saved {
        std::uint64_t length = 0;
        base::Bytes bytes;
        std::uint8_t fill = 0;
    };
    // The old bytes of one write. A range the run had not written before
    // keeps them in `first_` only (once is enough): undoing it puts them back
    // from there and drops them, as if it had never been written.
    struct Undo {
        std::uint64_t offset = 0;
        bool first = false;
        Saved saved;  // when not `first`
    };

    static void put_back(base::MutableByteView bytes, std::uint64_t offset, const Saved& saved);

    std::map<std::uint64_t, Saved> first_;  // by offset; the ranges never overlap
    std::vector<Undo> undo_;
};

}  // namespace kitra::image
