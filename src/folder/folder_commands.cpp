#include "folder/folder_commands.h"

#include <string>
#include <vector>

#include "base/text.h"
#include "cli/run_state.h"
#include "codec/packer.h"
#include "folder/body.h"
#include "folder/pack.h"
#include "folder/unpack.h"
#include "image/extract_file.h"
#include "inspect/module_check.h"
#include "platform/files.h"

namespace kitra::folder {

namespace {

using platform::print;
using platform::print_error;
using ull = unsigned long long;

int unpack_command(const cli::ImageView& image, cli::Arguments args, platform::Console& con);
int pack_command(const cli::ImageStart& start, cli::Arguments args);
int body_command(cli::Run& run, cli::Arguments args);
int body_extract_command(const cli::ImageView& image, cli::Arguments args, platform::Console& con);

const cli::NewCommand kCommands[] = {
    {"--unpack", "writes the image as a folder: a manifest, a file per part",
     "kitra IMAGE --unpack DIR [--replace]\n"
     "Writes IMAGE as the folder DIR: manifest.json (schema \"kitra-folder/1\") and one\n"
     "file per part. body.bin is the system BIOS body unpacked; modules/ holds each\n"
     "module's unpacked contents, named by its option, slot and stored name\n"
     "(modules/pci-B-raid.rom); regions/ the bytes outside the modules, named by\n"
     "their region (bootblock, base window, special areas, fixed areas, holes); a\n"
     "region of one repeated byte, free space above all, is only that byte and a\n"
     "length in the manifest. streams/ keeps the packed data of each module as it\n"
     "lies, so that --pack puts an unchanged module back without packing it again.\n"
     "The manifest records every module's header fields, padding and order, and\n"
     "digests that tell what changed; it is sorted and stable, so that a\n"
     "version-control diff of two unpacked images reads well. The image is only\n"
     "read.\n"
     "\n"
     "  --replace  DIR may hold an earlier unpack: its files (those its manifest\n"
     "             names) are replaced; other files there stay\n",
     unpack_command},
    {"--pack", "makes the image from a folder --unpack wrote",
     "kitra IMAGE --pack DIR\n"
     "Makes IMAGE (replaced, or made when it is not there) from the folder DIR that\n"
     "--unpack wrote. From an untouched folder the image is the one unpacked, byte\n"
     "for byte, no module packed again. A module whose file changed is released and\n"
     "added again, one whose file is gone is released, and an entry added to the\n"
     "manifest's modules (\"file\", \"name\", \"type_id\"; \"option\" and \"area\" as\n"
     "needed) is added: at the free end of the chain (or arena), packed, placed,\n"
     "aligned, rebased and referenced by the rules of its option, as the legacy\n"
     "commands would. A changed body.bin is packed again and the chain moved behind\n"
     "it; edited region files are written as they are. The image is then finished\n"
     "(checksums) like every change. Every refusal names the file and its manifest\n"
     "entry, and nothing is written.\n",
     nullptr, nullptr, nullptr, 1, pack_command},
    {"--body", "replaces the system BIOS body with a file",
     "kitra IMAGE --body FILE\n"
     "Replaces the system BIOS body (the contents of the first module, type 5000)\n"
     "with FILE, packed as -lh5- under the module's stored name. When the module\n"
     "packs to another size, the module chain behind it moves, its PE32 and\n"
     "memory-init modules rebased and the bootblock's references patched; a body\n"
     "that does not fit is refused with the excess. The image is then finished.\n",
     nullptr, nullptr, body_command},
    {"--body-extract", "writes the system BIOS body to a file",
     "kitra IMAGE --body-extract FILE\n"
     "Writes the system BIOS body, unpacked, to FILE. The image is only read.\n",
     body_extract_command},
};

const cli::NewCommand& command(std::string_view word) {
    for (const cli::NewCommand& c : kCommands)
        if (c.word == word) return c;
    return kCommands[0];
}

// The one operand of a command, with its switches taken out: std::nullopt
// after the refusal of a wrong command line (`status` set).
std::optional<std::string> operand(platform::Console& con, std::string_view word,
                                   std::vector<std::string>& rest, const char* what, int& status) {
    for (const std::string& w : rest)
        if (w.starts_with("--")) {
            status = cli::wrong_command_line(con, command(word), base::printable(w) + " is no switch of it");
            return std::nullopt;
        }
    if (rest.size() != 1) {
        status = cli::wrong_command_line(con, command(word),
                                         rest.empty()
                                             ? std::string("it needs ") + what
                                             : "unexpected argument \"" + base::printable(rest[1]) + "\"");
        return std::nullopt;
    }
    return rest[0];
}

int unpack_command(const cli::ImageView& image, cli::Arguments args, platform::Console& con) {
    std::vector<std::string> rest(args.begin(), args.end());
    const bool replace = cli::take_switch(rest, "--replace");
    int status = 0;
    const auto folder = operand(con, "--unpack", rest, "the folder to write", status);
    if (!folder) return status;
    const Unpacked u = unpack_image(image.path, image.bytes, image.layout);
    if (const auto refused = write_folder(*folder, u, replace)) {
        print_error(con, "kitra --unpack: %s. The folder holds no manifest of this image.\n",
                    refused->c_str());
        return 1;
    }
    std::size_t regions_in_files = 0;
    for (const RegionEntry& r : u.manifest.regions) regions_in_files += r.file ? 1 : 0;
    print(con, "Unpacked %s into %s: %s%zu modules, %zu regions (%zu of them as files); %zu files.\n",
          base::printable(image.path).c_str(), base::printable(*folder).c_str(),
          u.manifest.body ? "the system BIOS body, " : "", u.manifest.modules.size(),
          u.manifest.regions.size(), regions_in_files, u.files.size());
    for (const std::string& note : u.notes) print(con, "  note: %s\n", note.c_str());
    return 0;
}

int pack_command(const cli::ImageStart& start, cli::Arguments args) {
    std::vector<std::string> rest(args.begin(), args.end());
    int status = 0;
    const auto folder = operand(start.con, "--pack", rest, "the folder to pack", status);
    if (!folder) return status;
    return pack_folder(start, *folder);
}

int body_command(cli::Run& run, cli::Arguments args) {
    std::vector<std::string> rest(args.begin(), args.end());
    int status = 0;
    const auto file = operand(run.con, "--body", rest, "the file of the new body", status);
    if (!file) return status;
    const auto refuse = [&](const std::string& why) {
        print_error(run.con, "kitra --body: %s. The image is left unmodified.\n", why.c_str());
        return 1;
    };
    const auto body = find_body(run.image.bytes(), run.layout);
    if (!body)
        return refuse(base::printable(run.settings.image_name) +
                      " has no system BIOS module with a module chain behind it");
    auto contents = platform::read_file_up_to(*file, codec::kMaxUnpackedSize);
    if (!std::holds_alternative<base::Bytes>(contents)) return refuse("Can't read " + base::printable(*file));
    auto done = replace_body(run, std::get<base::Bytes>(contents), body->name,
                             base::format("%04X:%X", body->type_id, body->type_suffix));
    if (const auto* refused = std::get_if<std::string>(&done)) return refuse(*refused);
    const BodyReplaced& b = std::get<BodyReplaced>(done);
    print(run.con, "The system BIOS body of %s is now %s: a module of %llu bytes",
          base::printable(run.settings.image_name).c_str(), base::printable(*file).c_str(),
          static_cast<ull>(b.module_size));
    if (b.shift == 0)
        print(run.con, "; the module chain stays.\n");
    else
        print(run.con, "; the module chain moved %s by %llu bytes.\n", b.shift > 0 ? "up" : "down",
              static_cast<ull>(b.shift > 0 ? b.shift : -b.shift));
    return 0;
}

int body_extract_command(const cli::ImageView& image, cli::Arguments args, platform::Console& con) {
    std::vector<std::string> rest(args.begin(), args.end());
    int status = 0;
    const auto file = operand(con, "--body-extract", rest, "the file to write", status);
    if (!file) return status;
    const auto body = find_body(image.bytes, image.layout);
    if (!body) {
        print_error(con,
                    "kitra --body-extract: %s has no system BIOS module with a module chain behind it.\n",
                    base::printable(image.path).c_str());
        return 1;
    }
    const inspect::ModuleCheck check = inspect::check_module(image.bytes, *body);
    if (!check.contents) {
        print_error(
            con,
            "kitra --body-extract: the system BIOS module cannot be unpacked (%s); nothing is written.\n",
            check.problem.c_str());
        return 1;
    }
    if (!image::write_extract_file(con, image.path, *file, *check.contents, platform::atomic_file_writer()))
        return 1;
    print(con, "The system BIOS body of %s (%llu bytes) is extracted to %s.\n",
          base::printable(image.path).c_str(), static_cast<ull>(check.contents->size()),
          base::printable(*file).c_str());
    if (!check.crc16_holds()) {
        print_error(con,
                    "kitra --body-extract: the body's CRC-16 is %04X, the module's header says %04X: it is "
                    "damaged; the bytes unpacked are written all the same.\n",
                    check.computed_crc16.value_or(0), check.crc16);
        return 1;
    }
    return 0;
}

}  // namespace

std::span<const cli::NewCommand> commands() {
    return kCommands;
}

}  // namespace kitra::folder
