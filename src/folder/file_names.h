// The names of the files of an unpacked image. A module's file is named
// from its kind, its slot and its stored name; but a stored name comes from
// the image and is data, never a path: only its last component is used,
// and every byte that could mean something to a file system or a shell
// becomes "_". Names are unique without regard to letter case, so that the
// folder means the same on a system that ignores case.
//
// The names a manifest gives (which a person may have edited) are checked
// before a file is read: relative, "/" between components, no component
// that leaves the folder.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace kitra::folder {

// `stored_name`'s last component with every byte but letters, digits and
// ".-_+~#()@,=" turned into "_", a leading "." too (no hidden files, no
// "." or ".."), trailing dots and blanks dropped, cut to 64 bytes; "module"
// when nothing is left.
std::string cleaned_name(std::string_view stored_name);

// Hands out names, each used once (letter case ignored): a name taken
// already gets "-2", "-3" ... before its extension.
class UniqueNames {
  public:
    std::string take(const std::string& name);

  private:
    std::set<std::string> taken_;  // in lower case
};

// Why `name` may not name a file of the folder, if it may not: empty,
// absolute, a drive or a "\", an empty, "." or ".." component, or a control
// byte (0x00-0x1F, 0x7F; bytes of UTF-8 are taken).
std::optional<std::string> unsafe_name(std::string_view name);

// `name` (checked) as a path below `folder`.
std::string path_in(const std::string& folder, std::string_view name);

}  // namespace kitra::folder
