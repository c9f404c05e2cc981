#include "edit/extract_name.h"

#include <algorithm>

#include "base/text.h"
#include "cli/catalogue.h"

namespace kitra::edit {

std::string stored_name_of(const codec::ModuleInfo& module) {
    const std::string& name = module.name;
    return name.substr(0, std::min(name.find('\0'), name.size()));
}

std::optional<std::string> given_extract_name(const cli::Item& item) {
    if (!item.extract_name) return std::nullopt;
    const std::string& word = *item.extract_name;
    if (cli::lookup_option(word) != 0) return std::nullopt;
    for (std::string_view keyword : {"/err", "noreserve", "checksum"})
        if (cli::equal_ignoring_case(word, keyword)) return std::nullopt;
    if (cli::is_advice_word(word)) return std::nullopt;
    return word;
}

bool usable_as_default_name(std::string_view name) {
    if (name.empty() || name.front() == '/') return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        if (name.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

std::string last_component(std::string_view stored_name) {
    const std::size_t cut = stored_name.find_last_of("/\\:");
    return std::string(cut == std::string_view::npos ? stored_name : stored_name.substr(cut + 1));
}

std::optional<ExtractFile> extract_file_name(cli::Run& run, const cli::Item& item,
                                             const std::string& stored_name) {
    if (auto given = given_extract_name(item)) return ExtractFile{std::move(*given)};
    platform::print(run.con, "Enter an extract file Name :(%s) ", base::printable(stored_name).c_str());
    std::optional<std::string> answer = platform::read_line(run.con);
    if (answer && !answer->empty()) return ExtractFile{std::move(*answer)};
    std::string file = last_component(stored_name);
    if (!usable_as_default_name(stored_name) || file.empty() || file == "." || file == "..") {
        platform::print(run.con,
                        "The module's stored name \"%s\" is not a safe file name (empty, absolute or with a "
                        "\"..\" component); nothing is extracted. Name the file after \"extract\".\n",
                        base::printable(stored_name).c_str());
        return std::nullopt;
    }
    if (std::any_of(stored_name.begin(), stored_name.end(),
                    [](char c) { return base::is_control_byte(static_cast<unsigned char>(c)); })) {
        platform::print(run.con,
                        "The module's stored name \"%s\" holds control bytes; nothing is extracted. Name the "
                        "file after \"extract\".\n",
                        base::printable(stored_name).c_str());
        return std::nullopt;
    }
    return ExtractFile{std::move(file), image::ExtractName::kStored};
}

}  // namespace kitra::edit
