#include "edit/release_extract.h"

namespace kitra::edit {

cli::ItemResult release_or_extract(cli::Run& run, const cli::Item& item) {
    platform::print(run.con, "%s %s is not supported by this version of kitra; the image is left unmodified.\n",
                    run.settings.args[static_cast<std::size_t>(item.index)].c_str(), item.argument.c_str());
    return {.failed = true, .end_loop = false};
}

}  // namespace kitra::edit
