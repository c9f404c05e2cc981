#include "edit/add_module.h"

namespace kitra::edit {

cli::ItemResult add_module(cli::Run& run, const cli::Item& item) {
    platform::print(run.con, "Adding %s is not supported by this version of kitra; the image is left unmodified.\n",
                    item.component_name.c_str());
    return {.failed = true, .end_loop = false};
}

}  // namespace kitra::edit
