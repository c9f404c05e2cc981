// Packing a folder back into an image. The image the manifest describes is
// made first, every part from its file: a module whose file, stream and
// fields are as they were unpacked is put back byte for byte (its stream is
// never packed again), so an untouched folder gives the original image.
// Then the changes, as the legacy commands would make them, on that image
// in memory: a module whose file is gone is released (the chain closed up
// behind it); a changed one is released and added again, and a new entry
// added, at the free end of its chain or arena, packed, placed, aligned,
// rebased and referenced by the rules of its option; a changed body is
// packed again and the chain moved behind it. The image is then finished
// and committed as every run's (app/).
//
// Unlike a legacy add, the add of a folder's module removes nothing by
// itself: the manifest says what goes, so a module that would have been
// taken for an older version of the new one (same slot, same PCI IDs) stays
// unless its file is gone.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/bytes.h"
#include "cli/new_command.h"

namespace kitra::folder {

// --pack: makes the image named by `start` from `folder`; the exit status.
// Every refusal names the file and the manifest entry, and nothing is
// written.
int pack_folder(const cli::ImageStart& start, const std::string& folder);

// A file of the folder as packing reads it: its bytes; or none, with no
// problem when it is not there, else why it cannot be read (more than
// `max_size` bytes, no regular file ...).
struct FolderRead {
    std::optional<base::Bytes> bytes;
    std::string problem;
};
using ReadFolderFile = std::function<FolderRead(const std::string& name, std::uint64_t max_size)>;

// The same with the folder's files read by `read` (names relative to the
// folder, checked before they are read); `folder` names it in messages.
int pack_files(const cli::ImageStart& start, const std::string& folder, const ReadFolderFile& read);

}  // namespace kitra::folder
