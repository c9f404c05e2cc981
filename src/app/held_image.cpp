#include "app/held_image.h"

namespace kitra::app {

using platform::print;

std::optional<int> refused_image(const std::string& path, bool error_mode, platform::Console& con) {
    const auto failure = image::check_image_file(path);
    if (!failure) return std::nullopt;
    platform::write(con, image::open_failure_text(path, *failure));
    return error_mode ? 1 : 0;
}

std::optional<int> refused_write(const std::string& path, bool error_mode, platform::Console& con) {
    // An image the user may not write is not replaced, even where its
    // folder would allow it.
    if (platform::may_write(path)) return std::nullopt;
    platform::write(con, image::open_failure_text(path, image::OpenFailure::NotFound));
    return error_mode ? 1 : 0;
}

std::optional<int> hold_image(const std::string& path, bool error_mode, platform::Console& con,
                              const RunOptions& options, platform::FileLock& lock) {
    // What is no image file is refused before the hold, whose open would
    // wait for a named pipe's writer.
    if (const auto status = refused_image(path, error_mode, con)) return status;
    const platform::LockWait wait{
        .notice_after = options.lock_notice_after,
        .give_up_after = options.lock_give_up_after,
        .on_notice =
            [&] {
                print(con, "%s is in use by another run of kitra; waiting for it to finish.\n", path.c_str());
                platform::flush(con);
            },
    };
    auto taken = platform::lock_file(path, wait);
    if (auto* held = std::get_if<platform::FileLock>(&taken)) {
        if (const auto status = refused_write(path, error_mode, con)) return status;
        lock = std::move(*held);
        return std::nullopt;
    }
    const auto& refusal = std::get<platform::LockRefusal>(taken);
    switch (refusal.problem) {
        case platform::LockProblem::kCannotOpen:
            platform::write(con, image::open_failure_text(path, image::OpenFailure::NotFound));
            return error_mode ? 1 : 0;
        case platform::LockProblem::kTimedOut:
            print(con,
                  "%s is still in use by another run of kitra; this run gives up waiting. The image is left "
                  "unmodified.\n",
                  path.c_str());
            return 1;
        case platform::LockProblem::kFailed:
            break;
    }
    print(con, "Can't lock %s (%s). The image is left unmodified.\n", path.c_str(), refusal.reason.c_str());
    return 1;
}

std::variant<OpenedImage, std::string> read_image(const std::string& path, std::uint32_t top_hole_address,
                                                  bool top_hole_option) {
    auto opened = image::open_image(path);
    if (auto* failure = std::get_if<image::OpenFailure>(&opened))
        return image::open_failure_text(path, *failure);
    image::Image img = std::get<image::Image>(std::move(opened));
    auto found = image::discover_layout(img.bytes(), top_hole_address, top_hole_option);
    if (auto* problem = std::get_if<std::string>(&found)) return std::move(*problem);
    return OpenedImage{std::move(img), std::get<image::Layout>(found)};
}

bool needs_finishing(const cli::Run& run) {
    const cli::FinishFlags& f = run.flags;
    return run.image.changed() || f.top_hole_released || f.ncpucode_released || f.ncpucode_placed ||
           f.modules_moved || f.made_with_edits;
}

void note_other_links(const std::string& path, std::uint64_t links, platform::Console& con) {
    if (links > 1) print(con, "%s has other hard links; they keep the old contents.\n", path.c_str());
}

int commit_image(cli::Run& run, platform::Console& con, const RunOptions& options) {
    // The new image takes the name; other names of the old file keep it.
    const std::uint64_t links = run.image.differs_from_file() ? platform::link_count(run.image.path()) : 0;
    const std::string reason = image::commit(run.image, options.commit);
    if (reason.empty()) {
        note_other_links(run.image.path(), links, con);
        return 0;
    }
    print(con, "Can't write %s (%s). The image is left unmodified.\n", run.image.path().c_str(),
          reason.c_str());
    return 1;
}

}  // namespace kitra::app
