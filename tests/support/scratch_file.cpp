#include "support/scratch_file.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kitra::testing {

std::FILE* scratch_file() {
#ifdef _WIN32
    // The runtime's tmpfile() wants the root of the drive; a user's temporary
    // folder is the place for it on Windows.
    wchar_t dir[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, dir) == 0 || GetTempFileNameW(dir, L"kit", 0, name) == 0) return nullptr;
    return _wfopen(name, L"w+bTD");
#else
    return std::tmpfile();
#endif
}

}  // namespace kitra::testing
