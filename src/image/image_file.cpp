#include "image/image_file.h"

#include "base/text.h"
#include "platform/console.h"
#include "platform/files.h"

namespace kitra::image {

namespace {

std::optional<OpenFailure> not_regular(platform::FileKind kind) {
    switch (kind) {
        case platform::FileKind::kRegular:
            return std::nullopt;
        case platform::FileKind::kMissing:
            return OpenFailure::NotFound;
        case platform::FileKind::kFolder:
            return OpenFailure::IsFolder;
        case platform::FileKind::kPipe:
            return OpenFailure::IsPipe;
        case platform::FileKind::kCharacterDevice:
        case platform::FileKind::kBlockDevice:
            return OpenFailure::IsDevice;
        case platform::FileKind::kSocket:
            return OpenFailure::IsSocket;
        case platform::FileKind::kOther:
            break;
    }
    return OpenFailure::NotRegular;
}

}  // namespace

std::optional<OpenFailure> check_image_file(const std::string& path) {
    return not_regular(platform::file_kind(path));
}

std::variant<Image, OpenFailure> open_image(const std::string& path) {
    if (const auto failure = check_image_file(path)) return *failure;
    auto read = platform::read_file_up_to(path, kMaximumImageSize, true);
    if (const auto* problem = std::get_if<platform::ReadProblem>(&read)) {
        switch (*problem) {
            case platform::ReadProblem::kCannotRead:
                return OpenFailure::NotFound;
            case platform::ReadProblem::kTooLarge:
                return OpenFailure::TooLarge;
            case platform::ReadProblem::kNotRegular:
                break;
        }
        return not_regular(platform::file_kind(path)).value_or(OpenFailure::NotRegular);
    }
    auto& bytes = std::get<base::Bytes>(read);
    if (bytes.size() < kMinimumImageSize) return OpenFailure::TooSmall;
    return Image(path, std::move(bytes));
}

std::string open_failure_text(const std::string& path, OpenFailure failure) {
    // What a name that is no regular file leads to, for the refusal.
    const auto not_a_file = [&](const char* what) {
        return base::format("%s is %s, not an image file; it is left as it is.\n", path.c_str(), what);
    };
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
                "%s is too large for a system BIOS image (at most 256 MB). The image will be left "
                "unmodified.\n",
                path.c_str());
        case OpenFailure::IsFolder:
            return not_a_file("a folder");
        case OpenFailure::IsPipe:
            return not_a_file("a named pipe");
        case OpenFailure::IsDevice:
            return not_a_file("a device");
        case OpenFailure::IsSocket:
            return not_a_file("a socket");
        case OpenFailure::NotRegular:
            return base::format("%s is not a regular file, so not an image file; it is left as it is.\n",
                                path.c_str());
    }
    return {};
}

std::string commit(Image& image, const platform::ReplaceOptions& options) {
    if (!image.differs_from_file()) return {};
    // A new image file is made like a replacement: written beside, flushed,
    // then given its name, so a failed run leaves no half-written image.
    std::string reason =
        image.on_disk_ == Image::OnDisk::kMissing
            ? platform::write_file_atomically(image.path_, image.bytes_, platform::LinkRule::kFollow, options)
            : platform::replace_file_atomically(image.path_, image.bytes_, options);
    if (reason.empty()) {
        image.journal_.settle();
        image.on_disk_ = Image::OnDisk::kSame;
    }
    return reason;
}

}  // namespace kitra::image
