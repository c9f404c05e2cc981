#include "platform/folders.h"
#include "platform/windows_api.h"

namespace kitra::platform {

std::string make_folder(const std::string& path) {
    const std::wstring name = wide(path);
    if (CreateDirectoryW(name.c_str(), nullptr) != 0) return {};
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return {};
    return system_message(error);
}

std::optional<std::vector<std::string>> folder_names(const std::string& path) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(wide(path + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        // An empty drive root finds nothing at all; a missing folder fails.
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return std::vector<std::string>{};
        return std::nullopt;
    }
    std::vector<std::string> names;
    do {
        const std::string name = narrow(found.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(search, &found) != 0);
    FindClose(search);
    return names;
}

std::string remove_file(const std::string& path) {
    if (DeleteFileW(wide(path).c_str()) != 0) return {};
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
    return system_message(error);
}

}  // namespace kitra::platform
