// Writing a file taken out of the image (an extracted module or area).
#pragma once

#include <string>

#include "base/bytes.h"
#include "platform/console.h"
#include "platform/files.h"

namespace kitra::image {

// Where the name of an extract file comes from.
enum class ExtractName : std::uint8_t {
    kGiven,   // typed by the user, or a fixed name of the tool: a symbolic link is followed
    kStored,  // a module's stored name, taken from the image: a link of that name is replaced, never followed
};

// Writes `contents` to `file` through `write` (the run's writer: a new file
// renamed over it, like the image itself, so a failed write leaves a file of
// that name whole and nothing beside it). Says so when it cannot. The image itself (`image_path`) is
// never the target: it would be replaced by a piece of itself, and the
// run's own write at the end would then overwrite the extracted file again.
bool write_extract_file(platform::Console& con, const std::string& image_path, const std::string& file,
                        const base::Bytes& contents, const platform::FileWriter& write,
                        ExtractName name = ExtractName::kGiven);

}  // namespace kitra::image
