// Folders as the tool uses them: an unpacked image is a folder of files
// that kitra makes, lists and clears of its own earlier files.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kitra::platform {

// Makes the folder `path` (its parent must exist); one already there is
// fine. Returns an empty string, else the reason.
std::string make_folder(const std::string& path);

// The names of what the folder `path` holds ("." and ".." left out), in no
// order; std::nullopt when it cannot be read (missing, no folder).
std::optional<std::vector<std::string>> folder_names(const std::string& path);

// Removes the name `path` (a symbolic link itself, never what it leads
// to); a name that is not there is no failure. Returns an empty string,
// else the reason.
std::string remove_file(const std::string& path);

}  // namespace kitra::platform
