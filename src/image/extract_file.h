// Writing a file taken out of the image (an extracted module or area).
#pragma once

#include <string>

#include "base/bytes.h"
#include "platform/console.h"

namespace kitra::image {

// Writes `contents` to `file`, replacing any file of that name, and says so
// when it cannot. The image itself (`image_path`) is never the target: it
// would be replaced by a piece of itself, and the run's own write at the end
// would then overwrite the extracted file again.
bool write_extract_file(platform::Console& con, const std::string& image_path, const std::string& file,
                        const base::Bytes& contents);

}  // namespace kitra::image
