// The image as the operations change it: read whole, written only by naming
// the range a write changes. Naming the range lets the journal keep exactly
// the bytes a write replaces, before it replaces them, so that a failed item
// is undone byte for byte and the run knows what it changed, without a copy
// of the whole image. There is no other way to write the run's image: its
// buffer is private to image::Image, and every writer takes an Editable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/bytes.h"
#include "image/journal.h"

namespace kitra::image {

class Image;

class Editable {
  public:
    // The run's image; its writes go into the image's journal.
    Editable(Image& image);  // NOLINT(google-explicit-constructor)
    // A buffer of its own (one a test or a fuzzer built), with a journal of
    // its own, so that an operation can undo its own writes there too.
    Editable(base::Bytes& bytes);  // NOLINT(google-explicit-constructor)

    base::ByteView bytes() const { return bytes_; }
    std::uint64_t size() const { return bytes_.size(); }

    // The bytes [offset, offset + length), to be written; their old bytes
    // are journalled first. A range outside the image stops the run (the
    // checked helpers of base/bytes.h), so nothing outside is ever touched.
    base::MutableByteView edit(std::uint64_t offset, std::uint64_t length) const;

    // roll_back(mark()) undoes every write made through any Editable of the
    // same image since.
    std::size_t mark() const { return journal_->mark(); }
    void roll_back(std::size_t mark) const { journal_->roll_back(bytes_, mark); }

  private:
    base::MutableByteView bytes_;
    std::shared_ptr<Journal> own_;  // for a buffer of its own
    Journal* journal_;
};

// The checked writes of base/bytes.h, each naming its range.
inline void write_u8(const Editable& image, std::uint64_t offset, std::uint8_t value) {
    base::write_u8(image.edit(offset, 1), 0, value);
}
inline void write_u16(const Editable& image, std::uint64_t offset, std::uint16_t value) {
    base::write_u16(image.edit(offset, 2), 0, value);
}
inline void write_u32(const Editable& image, std::uint64_t offset, std::uint32_t value) {
    base::write_u32(image.edit(offset, 4), 0, value);
}
inline void fill(const Editable& image, std::uint64_t offset, std::uint64_t length, std::uint8_t value) {
    base::fill(image.edit(offset, length), 0, length, value);
}
// `bytes` may lie in the image itself, even over the range written: the
// chain closing up moves modules down in place.
inline void copy_into(const Editable& image, std::uint64_t offset, base::ByteView bytes) {
    base::copy_into(image.edit(offset, bytes.size()), 0, bytes);
}

}  // namespace kitra::image
