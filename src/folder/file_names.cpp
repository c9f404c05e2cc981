#include "folder/file_names.h"

#include <algorithm>

namespace kitra::folder {

namespace {

constexpr std::size_t kMaxNameBytes = 64;

bool keeps(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view(".-_+~#()@,=").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

std::string cleaned_name(std::string_view stored_name) {
    // Names stored from DOS paths ("i:\eprom\vga.rom") keep their last part;
    // a C string ends at its first zero byte, as the listing shows it.
    stored_name = stored_name.substr(0, stored_name.find('\0'));
    const std::size_t cut = stored_name.find_last_of("/\\:");
    if (cut != std::string_view::npos) stored_name.remove_prefix(cut + 1);
    std::string name;
    for (const char c : stored_name) name += keeps(static_cast<unsigned char>(c)) ? c : '_';
    if (!name.empty() && name.front() == '.') name.front() = '_';
    if (name.size() > kMaxNameBytes) name.resize(kMaxNameBytes);
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    return name.empty() ? "module" : name;
}

std::string UniqueNames::take(const std::string& name) {
    std::string candidate = name;
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.rfind('/');
    const bool has_extension =
        dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1);
    for (int n = 2; taken_.count(lower(candidate)) != 0; ++n) {
        const std::string tag = "-" + std::to_string(n);
        candidate = has_extension ? name.substr(0, dot) + tag + name.substr(dot) : name + tag;
    }
    taken_.insert(lower(candidate));
    return candidate;
}

std::optional<std::string> unsafe_name(std::string_view name) {
    if (name.empty()) return "it is empty";
    if (name.front() == '/') return "it is absolute; names are relative to the folder";
    if (name.find('\\') != std::string_view::npos) return "it holds a \"\\\"; components are parted by \"/\"";
    if (name.find(':') != std::string_view::npos) return "it holds a \":\" (a drive or a stream)";
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        return "it holds a control byte";
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        const std::string_view part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return "it has an empty, \".\" or \"..\" component; names stay inside the folder";
        start = end + 1;
    }
    return std::nullopt;
}

std::string path_in(const std::string& folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    const char last = folder.back();
    return last == '/' || last == '\\' ? folder + std::string(name) : folder + "/" + std::string(name);
}

}  // namespace kitra::folder
