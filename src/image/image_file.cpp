#include "image/image_file.h"

#include "base/text.h"
#include "platform/console.h"

namespace kitra::image {

std::variant<Image, OpenFailure> open_image(const std::string& path) {
    auto bytes = platform::read_file(path);
    if (!bytes) return OpenFailure::NotFound;
    if (bytes->size() < kMinimumImageSize) return OpenFailure::TooSmall;
    if (bytes->size() > kMaximumImageSize) return OpenFailure::TooLarge;
    return Image(path, std::move(*bytes));
}

std::string open_failure_text(const std::string& path, OpenFailure failure) {
    switch (failure) {
        case OpenFailure::NotFound:
            return base::format("%s file not found", path.c_str());
        case OpenFailure::TooSmall:
            return base::format(
                "%s is too small for a system BIOS image (at least 128 KB). The image will be left "
                "unmodified.\n",
                path.c_str());
        case OpenFailure::TooLarge:
            return base::format(
                "%s is too large for a system BIOS image (at most 4 GB). The image will be left "
                "unmodified.\n",
                path.c_str());
    }
    return {};
}

std::string commit(Image& image, const platform::ReplaceOptions& options) {
    if (!image.changed()) return {};
    std::string reason = platform::replace_file_atomically(image.path_, image.bytes_, options);
    if (reason.empty()) image.journal_.settle();
    return reason;
}

}  // namespace kitra::image
