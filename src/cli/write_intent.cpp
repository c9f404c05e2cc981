#include "cli/write_intent.h"

#include "cli/catalogue.h"
#include "cli/item.h"

namespace kitra::cli {

namespace {

bool item_may_change_image(const Item& item) {
    switch (item.kind) {
        case ArgumentKind::Release:
            return true;
        case ArgumentKind::Extract:
            return false;
        case ArgumentKind::None:
        case ArgumentKind::ComponentFile:
            break;
    }
    // Kinds of no place list the image or report a packed size.
    return item.component_kind().place != Place::kNowhere;
}

}  // namespace

bool may_change_image(const Settings& settings) {
    // The item loop prints its own messages when it reads these items again.
    platform::Console silent;
    silent.out = nullptr;
    const int argc = static_cast<int>(settings.args.size());
    for (int index = settings.first_option_index; index < argc;) {
        const int code = lookup_option(settings.args[static_cast<std::size_t>(index)]);
        if (code == 0) return false;  // a word that is no option ends the loop
        // A Boot On Internet item writes its values when it has them.
        if (kind_of(code).place == Place::kBootOnInternet) return true;
        const Item item = read_item(settings, index, true, silent);
        if (!item.type.valid) return false;
        if (item_may_change_image(item)) return true;
        index = next_item_index(item);
    }
    return false;
}

}  // namespace kitra::cli
