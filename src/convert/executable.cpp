#include "convert/executable.h"

namespace kitra::convert {

bool is_executable(base::ByteView file) {
    return file.size() >= mz::kMinimumSize && file[0] == 'M' && file[1] == 'Z';
}

base::ByteView executable_body(base::ByteView exe) {
    const std::uint64_t start = std::uint64_t{base::read_u16(exe, mz::kHeaderParagraphs)} * mz::kParagraph;
    return start >= exe.size() ? base::ByteView{} : exe.subspan(start);
}

}  // namespace kitra::convert
