#include "cli/item.h"

#include "cli/options.h"

namespace kitra::cli {

Item read_item(const Settings& settings, int index, bool extended_layout, platform::Console& con) {
    const auto& args = settings.args;
    const int argc = static_cast<int>(args.size());
    const auto word = [&](int i) -> const std::string& { return args[static_cast<std::size_t>(i)]; };
    Item item;
    item.index = index;
    const TypeContext context{args, index, settings.group_number, extended_layout};
    item.type = select_type(lookup_option(word(index)), context, con);
    item.option_code = item.type.option_code;
    if (!item.type.valid) return item;

    const int argument_index = index + 1 + item.type.type_words;
    // "/err" and the advice words are switches of the whole run, never an
    // item's file name.
    if (argument_index < argc && lookup_option(word(argument_index)) == 0 &&
        !equal_ignoring_case(word(argument_index), "/err") && !is_advice_word(word(argument_index))) {
        item.argument = word(argument_index);
        if (equal_ignoring_case(item.argument, "release")) {
            item.kind = ArgumentKind::Release;
        } else if (equal_ignoring_case(item.argument, "extract")) {
            item.kind = ArgumentKind::Extract;
            if (argument_index + 1 < argc) item.extract_name = word(argument_index + 1);
        } else {
            item.kind = ArgumentKind::ComponentFile;
        }
    }
    return item;
}

int next_item_index(const Item& item) {
    int index = item.index + (item.kind != ArgumentKind::None ? 2 : 1) + item.type.type_words;
    if (item.option_code == option::kIsa && item.kind == ArgumentKind::ComponentFile &&
        item.type.isa_segment != 0)
        ++index;
    return index;
}

}  // namespace kitra::cli
