#include "platform/process.h"
#include "platform/windows_api.h"

namespace kitra::platform {

std::vector<std::string> arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr) return {argv, argv + argc};
    std::vector<std::string> args;
    args.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) args.push_back(narrow(words[i]));
    LocalFree(words);
    return args;
}

std::optional<std::string> environment_variable(const char* name) {
    const std::wstring key = wide(name);
    const DWORD needed = GetEnvironmentVariableW(key.c_str(), nullptr, 0);
    if (needed == 0) return std::nullopt;  // not set (an empty value needs 1)
    std::wstring value(needed, L'\0');
    const DWORD got = GetEnvironmentVariableW(key.c_str(), value.data(), needed);
    if (got >= needed) return std::nullopt;
    value.resize(got);
    return narrow(value);
}

}  // namespace kitra::platform
