// Unpacking an image into a folder: the manifest and one file per part.
// The inventory (inspect/) says what the image holds; every module it found
// that lies apart from the others becomes a file of its unpacked contents,
// and the bytes between them become regions named by what they are
// (bootblock, special areas, the fixed areas of the bootblock, holes, free
// space), a region whose bytes are all one value kept as that value and a
// length. Nothing is written until the whole folder is made in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "folder/manifest.h"
#include "image/layout.h"
#include "platform/console.h"

namespace kitra::folder {

struct FolderFile {
    std::string name;  // relative to the folder, "/" between components
    base::Bytes bytes;
};

struct Unpacked {
    Manifest manifest;
    std::vector<FolderFile> files;   // every file the manifest names, the manifest last
    std::vector<std::string> notes;  // what a person should know (a module kept as it lies ...)
};

// `name` is the image's name as given (for the notes only). Modules are
// unpacked within the inventory's budget (`unpack_budget`, 0: its default);
// past it, a module's file holds its data as they lie.
Unpacked unpack_image(const std::string& name, base::ByteView image, const image::Layout& layout,
                      std::uint64_t unpack_budget = 0);

// Writes the files into `folder`, made when it is not there. A folder that
// holds anything is refused unless `replace`; then the files the manifest
// there names (and it) are removed first, and every other file stays. The
// manifest is written last, so a folder whose writing failed halfway holds
// none and is never packed. Returns why not, when it fails.
std::optional<std::string> write_folder(const std::string& folder, const Unpacked& unpacked, bool replace);

}  // namespace kitra::folder
