#include "inspect/commands.h"

#include <array>
#include <string>
#include <vector>

#include "inspect/diff.h"
#include "inspect/inventory.h"
#include "inspect/inventory_json.h"
#include "inspect/inventory_text.h"
#include "inspect/space_report.h"
#include "inspect/verify.h"

namespace kitra::inspect {

namespace {

using cli::Arguments;
using cli::ImageView;
using platform::Console;

int inventory_command(const ImageView& image, Arguments args, Console& con);
int info_command(const ImageView& image, Arguments args, Console& con);
int verify_command(const ImageView& image, Arguments args, Console& con);
int diff_command(const ImageView& image, const ImageView& other, Arguments args, Console& con);
int space_command(const ImageView& image, Arguments args, Console& con);

const std::array<cli::NewCommand, 5> kCommands = {{
    {"--json", "everything the image holds, as one JSON document",
     "kitra IMAGE --json\n"
     "  Writes everything the image holds as one JSON document on standard output\n"
     "  (schema \"kitra-inventory/2\"): every module in chain order with its offset,\n"
     "  header fields, kind, slot, stored name, sizes, CRC-16 and header sum, the\n"
     "  identity of the option ROMs and the signature of the logos in it; the\n"
     "  special areas, the bootblock's records and modules, the holes, the Boot On\n"
     "  Internet values, every microcode update; the free space; and the image's\n"
     "  length, CRC-32 and SHA-256. The image is only read.\n",
     inventory_command},
    {"--info", "the same for people, in 80 columns",
     "kitra IMAGE --info [--json]\n"
     "  Shows what --json writes, in sections and columns that fit 80 characters;\n"
     "  stored names are cut to their column. With --json it writes the JSON\n"
     "  document instead. The image is only read.\n",
     info_command},
    {"--verify", "checks every module, checksum and option ROM",
     "kitra IMAGE --verify [--json]\n"
     "  Unpacks every module and checks its header sum and CRC-16; follows the\n"
     "  module chain to its free end and reports what lies after it; works out\n"
     "  what finishing would write and reports every byte it would change (a\n"
     "  checksum byte, a balance word, the bootblock checksum byte, the microcode\n"
     "  pointer: the image is then not finished); checks option ROM, microcode\n"
     "  update and PE32 image checksums. One line per finding with its offset and\n"
     "  what was expected, then the verdict; --json gives them as one document\n"
     "  (schema \"kitra-verify/1\"). The image is only read.\n"
     "  Exit status: 0 sound, 3 damage found, 1 the image cannot be read.\n",
     verify_command},
    {"--diff", "what changed between this image and another",
     "kitra IMAGE --diff OTHER [--json]\n"
     "  Compares IMAGE (the old) with OTHER (the new): modules matched by kind and\n"
     "  slot, reported as added, removed, moved, with another header, repacked\n"
     "  (the same contents in another stream) or changed (where and in how many\n"
     "  bytes the unpacked contents differ); option ROM identity and version\n"
     "  changes; microcode updates added, removed or changed; and the bytes\n"
     "  outside the modules as ranges named by their region. --json gives one\n"
     "  document (schema \"kitra-diff/2\"). The images are only read.\n"
     "  Exit status, as diff's: 0 equal, 1 different, 2 trouble.\n",
     nullptr, diff_command, nullptr, 2},
    {"--space", "used and free space of every area, and a map of the image",
     "kitra IMAGE --space [--json]\n"
     "  Shows how much of each area is used and how much is free: the compressed\n"
     "  area, the modules in it (free: what a new module may take below the module\n"
     "  limit), the top hole (free: what lies unused behind it), the microcode area\n"
     "  (free: what it could grow by, taken from the modules' free space), the\n"
     "  bootblock arena, the bootblock's fixed areas and the holes. Then a map of\n"
     "  the image, one line per region in address order: where it lies, its size,\n"
     "  and how much of it is used (for stretches of no structure of their own,\n"
     "  the bytes that are not erased). --json gives one document (schema\n"
     "  \"kitra-space/1\"). The image is only read; no module is unpacked.\n",
     space_command},
}};

const cli::NewCommand& command(std::string_view word) {
    for (const cli::NewCommand& c : kCommands)
        if (c.word == word) return c;
    return kCommands.front();
}

// The arguments after the command, with its "--json" switch taken out.
struct Options {
    bool json = false;
    std::vector<std::string> rest;
};
Options options(Arguments args) {
    Options o{false, std::vector<std::string>(args.begin(), args.end())};
    o.json = cli::take_switch(o.rest, "--json");
    return o;
}

int no_more(Console& con, std::string_view word, const std::vector<std::string>& rest) {
    return cli::wrong_command_line(con, command(word), "unexpected argument \"" + rest.front() + "\"");
}

int inventory_command(const ImageView& image, Arguments args, Console& con) {
    if (!args.empty()) {
        if (args.front() == "--verify" || args.front() == "--diff")
            return cli::wrong_command_line(
                con, command("--json"),
                "--json goes after the command it formats: kitra IMAGE " + args.front() + " ... --json");
        return no_more(con, "--json", {args.begin(), args.end()});
    }
    platform::write(con, inventory_json(take_inventory(image.path, image.bytes, image.layout)));
    return 0;
}

int info_command(const ImageView& image, Arguments args, Console& con) {
    const Options o = options(args);
    if (!o.rest.empty()) return no_more(con, "--info", o.rest);
    const Inventory inv = take_inventory(image.path, image.bytes, image.layout);
    platform::write(con, o.json ? inventory_json(inv) : inventory_text(inv));
    return 0;
}

int verify_command(const ImageView& image, Arguments args, Console& con) {
    const Options o = options(args);
    if (!o.rest.empty()) return no_more(con, "--verify", o.rest);
    const Verification v = verify_image(image.bytes, image.layout);
    platform::write(con, o.json ? verification_json(v, image.path, image.bytes.size())
                                : verification_text(v, image.path));
    return v.sound() ? 0 : kDamageStatus;
}

int diff_command(const ImageView& image, const ImageView& other, Arguments args, Console& con) {
    const Options o = options(args.subspan(1));
    if (!o.rest.empty()) return no_more(con, "--diff", o.rest);
    const Difference d =
        diff_images({image.path, image.bytes, image.layout}, {other.path, other.bytes, other.layout});
    platform::write(con, o.json ? difference_json(d) : difference_text(d));
    return d.equal ? 0 : 1;
}

int space_command(const ImageView& image, Arguments args, Console& con) {
    const Options o = options(args);
    if (!o.rest.empty()) return no_more(con, "--space", o.rest);
    const Inventory inv =
        take_inventory(image.path, image.bytes, image.layout, {.digests = false, .contents = false});
    const SpaceReport report = space_report(inv, image.bytes);
    platform::write(con, o.json ? space_json(report) : space_text(report));
    return 0;
}

}  // namespace

std::span<const cli::NewCommand> commands() {
    return kCommands;
}

}  // namespace kitra::inspect
