#include "platform/files.h"

namespace kitra::platform {

FileWriter atomic_file_writer() {
    return [](const std::string& path, const std::vector<std::uint8_t>& bytes, LinkRule links) {
        return write_file_atomically(path, bytes, links);
    };
}

FileReader plain_file_reader() {
    return [](const std::string& path, std::uint64_t max_size) { return read_file_up_to(path, max_size); };
}

}  // namespace kitra::platform
