#include "image/editable.h"

#include "image/image_file.h"

namespace kitra::image {

Editable::Editable(Image& image) : bytes_(image.bytes_), journal_(&image.journal_) {}

Editable::Editable(base::Bytes& bytes)
    : bytes_(bytes), own_(std::make_shared<Journal>()), journal_(own_.get()) {}

base::MutableByteView Editable::edit(std::uint64_t offset, std::uint64_t length) const {
    journal_->save(bytes_, offset, length);
    return bytes_.subspan(offset, length);
}

}  // namespace kitra::image
