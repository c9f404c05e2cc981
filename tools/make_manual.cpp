// Writes kitra's manual, made from the catalogue: "make_manual roff VERSION
// FILE" writes the man page, "make_manual text VERSION FILE" the plain-text
// manual. Run by the build, so the installed manual always lists the options
// the built tool has.
#include <cstdio>
#include <string>
#include <vector>

#include "manual/manual_page.h"
#include "platform/files.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    if (args.size() != 4 || (args[1] != "roff" && args[1] != "text")) {
        std::fprintf(stderr, "usage: make_manual roff|text VERSION FILE\n");
        return 2;
    }
    const kitra::manual::Document doc = kitra::manual::kitra_manual(args[2]);
    const std::string page = args[1] == "roff" ? kitra::manual::to_roff(doc) : kitra::manual::to_text(doc);
    if (!kitra::platform::write_file(args[3], std::vector<std::uint8_t>(page.begin(), page.end()))) {
        std::fprintf(stderr, "make_manual: can't write %s\n", args[3].c_str());
        return 1;
    }
    return 0;
}
