// The name of the file an extract writes: the word after "extract", else the
// user's answer to a prompt, else the module's stored name. A stored name
// comes from the image and is data, not a trusted path: only its last
// component is used, in the current directory, and it is refused as a
// default when it is absolute, has a ".." component or holds control bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/item.h"
#include "cli/run_state.h"
#include "codec/module_header.h"
#include "image/extract_file.h"

namespace kitra::edit {

// The stored name as a C string would read it: up to its first zero byte.
std::string stored_name_of(const codec::ModuleInfo& module);

// The word after "extract" when it names a file: an option name or one of
// the run-wide switches ("/err", "noreserve", "checksum") that happens to
// follow "extract" is left for the item loop, not taken as a file name.
std::optional<std::string> given_extract_name(const cli::Item& item);

// A stored name that may become a file name without the user typing it: not
// empty, not absolute, no ".." component.
bool usable_as_default_name(std::string_view stored_name);

// The last component of a stored name: what follows its last "/", "\" or
// ":" (names stored from DOS paths such as "i:\eprom\vga.rom").
std::string last_component(std::string_view stored_name);

struct ExtractFile {
    std::string name;
    image::ExtractName source = image::ExtractName::kGiven;
};

// The extract file for a module with `stored_name`: the given name, or the
// answer to "Enter an extract file Name :(%s) ", an empty answer or the end
// of input meaning the stored name's last component. std::nullopt after a
// message when the stored name would have to be used and is refused.
std::optional<ExtractFile> extract_file_name(cli::Run& run, const cli::Item& item,
                                             const std::string& stored_name);

}  // namespace kitra::edit
