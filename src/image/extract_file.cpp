#include "image/extract_file.h"

#include "base/text.h"

namespace kitra::image {

bool write_extract_file(platform::Console& con, const std::string& image_path, const std::string& file,
                        const base::Bytes& contents, const platform::FileWriter& write, ExtractName name) {
    if (platform::same_file(file, image_path)) {
        platform::print(con, "%s is the image being edited; nothing is extracted over it.\n",
                        base::printable(file).c_str());
        return false;
    }
    const platform::LinkRule links =
        name == ExtractName::kGiven ? platform::LinkRule::kFollow : platform::LinkRule::kReplace;
    if (!write(file, contents, links).empty()) {
        platform::print(con, "Can't write the extract file %s; nothing is extracted.\n",
                        base::printable(file).c_str());
        return false;
    }
    return true;
}

}  // namespace kitra::image
