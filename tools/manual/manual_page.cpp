#include "manual/manual_page.h"

#include <set>

#include "app/commands.h"
#include "base/text.h"
#include "cli/catalogue.h"
#include "microcode/microcode_commands.h"

namespace kitra::manual {

namespace {

using cli::Bitmap;
using cli::BootblockArea;
using cli::CatalogueEntry;
using cli::DefaultInput;
using cli::Executable;
using cli::Family;
using cli::Input;
using cli::Kind;
using cli::Place;

Block paragraph(std::string text) {
    return {Block::Form::kParagraph, {}, std::move(text)};
}
Block tagged(std::string tag, std::string text) {
    return {Block::Form::kTagged, std::move(tag), std::move(text)};
}
Block example(std::string lines) {
    return {Block::Form::kExample, {}, std::move(lines)};
}

std::string family_text(Family family) {
    const cli::FamilyRange range = cli::family_range(family);
    switch (family) {
        case Family::kVga:
            return "a VGA option ROM, in the first free of the slots 1 to 6, or over a ROM of the same "
                   "vendor, "
                   "device and class";
        case Family::kPci:
            return "a PCI option ROM, in the first free of the slots A to Z, or over a ROM of the same "
                   "vendor, "
                   "device and class";
        case Family::kIsa:
            return "an ISA option ROM: with a segment after RomFile in the slots A to D, without one in the "
                   "slots 1 to 4";
        case Family::kAcpiSdt:
            return "an ACPI table module (such as an SSDT) in one of the slots A to J, or over the module "
                   "of the same signature and OEM table ID";
        case Family::kGroup:
            return base::format(
                "a group module: /group followed by its number 0 to %d selects the type IDs "
                "%04X:0 to %04X:0",
                cli::kMaxGroupNumber, range.first, range.last);
        case Family::kNone:
            break;
    }
    return "a module";
}

std::string bitmap_text(Bitmap bitmap) {
    switch (bitmap) {
        case Bitmap::kFullScreen:  // the rule for every module, told once in DESCRIPTION
            return {};
        case Bitmap::kEpa:
            return "; a BMP picture is converted to an EPA logo";
        case Bitmap::kOsb:
            return "; a BMP picture is converted to an OSB picture";
        case Bitmap::kGuiOsb:
            return "; a BMP picture is converted to a GUI OSB picture";
        case Bitmap::kAsItIs:
            return "; a BMP picture is packed as it is";
    }
    return {};
}

std::string input_text(const Kind& kind) {
    switch (kind.input) {
        case Input::kPacked: {
            std::string text = bitmap_text(kind.bitmap);
            if (kind.executable == Executable::kWhole) text += "; an MZ executable is packed whole";
            return text;
        }
        case Input::kStored:
            return "; stored uncompressed, its data aligned to 16 bytes";
        case Input::kJpeg:
            return "; a JPEG picture";
        case Input::kGif:
            return "; a GIF picture";
        case Input::kMib:
            return "; a text document, stored in the -MIB- form";
        case Input::kPositionDependent:
            return base::format(
                "; %s, stored with its data aligned to %d bytes, relocated to the address it lands at and "
                "referenced from the bootblock",
                kind.pe32_kind != 0 ? base::format("a type %d PE32 image", kind.pe32_kind).c_str()
                : kind.patcher == cli::Patcher::kHtInit ? "HT init code"
                                                        : "memory-init code",
                kind.alignment);
        case Input::kNone:
        case Input::kSizeOnly:
        case Input::kRaw:
            break;
    }
    return {};
}

std::string bootblock_area_text(BootblockArea area) {
    switch (area) {
        case BootblockArea::kVgaRom:
            return "Writes RomFile, an on-board VGA ROM, into the bootblock's VGA ROM area (images with the "
                   "extended bootblock layout only)";
        case BootblockArea::kNvMemory:
            return "Writes RomFile, the nVidia memory module, into its bootblock area";
        case BootblockArea::kPmu:
            return "Writes RomFile, the PMU ROM, to its place in the bootblock";
        case BootblockArea::kNone:
            break;
    }
    return "Writes RomFile into the bootblock";
}

std::string placement_text(const CatalogueEntry& e) {
    const Kind& k = e.kind;
    switch (k.place) {
        case Place::kNowhere:
            if (k.input == Input::kSizeOnly)
                return "Packs RomFile and reports its packed size; the image is not changed";
            return "Lists the modules, the special areas and the free space of the image; /D must be the "
                   "last word";
        case Place::kBootOnInternet:
            return "Shows the Boot On Internet parameters, or sets them from the nine values that follow "
                   "(see "
                   "EXAMPLES)";
        case Place::kNcpucodeArea:
            return "Places RomFile, CPU microcode, uncompressed in the non-compressed microcode area at the "
                   "top of "
                   "the compressed area";
        case Place::kTopHole:
            return "Places RomFile byte for byte in the top hole, at the address given as /TopHole:address";
        case Place::kBootblockArea:
            return bootblock_area_text(k.bootblock_area);
        case Place::kHole:
            return "Writes RomFile byte for byte into its hole area (the word checksum after RomFile adds a "
                   "checksum at the end of the hole)";
        case Place::kArena:
            return "Adds RomFile as a module of the bootblock arena" + input_text(k);
        case Place::kChain:
            break;
    }
    std::string what;
    if (e.listing == cli::Listing::kFamily)
        what = family_text(k.family);
    else if (e.listing == cli::Listing::kByTypeId)
        what =
            "a module of the type ID given by the word after /other (hexadecimal digits, a colon, a suffix)";
    else if (!e.listing_name.empty())
        what = "the module listed as \"" + std::string(e.listing_name) + "\"";
    else
        what = "a module";
    return "Adds RomFile as " + what + input_text(k);
}

std::string default_text(int code) {
    const cli::Default d = cli::default_input(code);
    switch (d.input) {
        case DefaultInput::kNone:
            return {};
        case DefaultInput::kReadyModule:
            return base::format(" Without RomFile it adds the ready module %s.", std::string(d.name).c_str());
        case DefaultInput::kExecutable:
            return base::format(
                " Without RomFile it takes the load image of %s, writes it to %s and adds that.",
                std::string(d.name).c_str(), std::string(d.prepared).c_str());
        case DefaultInput::kFile:
            return base::format(" Without RomFile it adds %s.", std::string(d.name).c_str());
        case DefaultInput::kAcpiJoin:
            return " Without RomFile it adds ACPITBL.BIN with DSDT.AML behind it.";
        case DefaultInput::kAcpiExecutable:
            return base::format(
                " Without RomFile it writes the load image of %s with DSDT.AML behind it to %s "
                "and adds that.",
                std::string(d.name).c_str(), std::string(d.prepared).c_str());
    }
    return {};
}

std::string type_id_text(const CatalogueEntry& e) {
    if (e.listing == cli::Listing::kByTypeId) return "Type ID: the word after the option.";
    if (e.listing == cli::Listing::kFamily && e.kind.family != Family::kNone) {
        const cli::FamilyRange r = cli::family_range(e.kind.family);
        return base::format("Type ID %04X:0 to %04X:0.", r.first, r.last);
    }
    if (e.type_id_text.empty()) return "No module of its own (type ID none).";
    return "Type ID " + std::string(e.type_id_text) + ".";
}

Section options_section() {
    Section s{"OPTIONS", {}};
    s.blocks.push_back(paragraph(
        "Each option names a kind of component. Option names are compared without regard to letter case "
        "(/VGA, /Vga and /vga are one option). The listing below is made from the tool's own catalogue."));
    for (const CatalogueEntry& e : cli::catalogue())
        s.blocks.push_back(tagged(std::string(e.option), describe_option(e.code)));
    return s;
}

Section safety_section() {
    return {
        "SAFETY",
        {paragraph("A run never leaves an image half written. The image is read whole, changed in memory, "
                   "and written back only at the end of a run that changed it: a new file beside it, "
                   "flushed, then renamed over it. A run that fails, is interrupted, finds the disk full or "
                   "is killed leaves the image byte for byte as it was, and no file beside it (a killed "
                   "run only where the new file has no name yet, on Linux)."),
         paragraph("The new image keeps the old one's owner and group, mode bits, extended attributes and "
                   "ACL (on Windows its attributes). Where the owner cannot be kept, the set-user-ID and "
                   "set-group-ID bits are dropped. Other hard links of the image keep the old contents, "
                   "and the run says so."),
         paragraph("An image the user may not write (no write permission, a read-only attribute) is "
                   "refused like an image that cannot be opened. Only a regular file of at most 256 MB is "
                   "an image: a folder, a pipe, a device or a socket is refused at once and stays what it "
                   "was. Component files are read up to 256 MB."),
         paragraph("Extracted files are written the same way: a failed extract leaves an existing file "
                   "whole. A name typed for an extract is followed through a symbolic link, like the "
                   "image's name; a default name taken from the image is only the last component of the "
                   "stored name, is never followed through a link, and is refused when it holds control "
                   "bytes. A module whose contents do not match the CRC-16 in its header is written all "
                   "the same, but its item fails and says so."),
         paragraph("Text taken from the image (stored names, table fields) is printed with every control "
                   "byte as ?. Every refusal fails its item, so that /err reports it.")}};
}

// The new commands, from their own help: the usage line as the tag, the
// lines under it as one paragraph.
Section commands_section() {
    Section s{"COMMANDS", {}};
    s.blocks.push_back(paragraph(
        "Besides the legacy command lines, kitra InputFile --COMMAND [ARGUMENTS...] runs one of the commands "
        "below. A word after the image that starts with -- is never an option, so no legacy command line "
        "changes meaning. kitra --help lists the commands; kitra InputFile --COMMAND --help explains one. "
        "Results go to standard output, refusals and errors to the error stream. With --json a command "
        "writes "
        "one JSON document, whose schema member names the schema (under schema/ in the sources) and its "
        "version."));
    for (const cli::NewCommand& c : app::new_commands()) {
        const std::string help(c.help);
        const std::size_t usage_end = help.find('\n');
        std::string text;
        for (std::size_t at = usage_end; at < help.size();) {
            const std::size_t end = std::min(help.find('\n', at + 1), help.size());
            std::string line = help.substr(at + 1, end - at - 1);
            line.erase(0, line.find_first_not_of(' '));
            if (!line.empty()) text += (text.empty() ? "" : " ") + line;
            at = end;
        }
        s.blocks.push_back(tagged(help.substr(0, usage_end), text));
    }
    return s;
}

Section files_section() {
    Section s{"FILES", {}};
    s.blocks.push_back(paragraph(
        "kitra works in the current directory. The image is replaced whole at the end of a run that changed "
        "it: a new file is written beside the image, flushed and renamed over it (see SAFETY). It has no "
        "name while it is written where the file system allows (on Linux), else the name .kitra-XXXXXX. "
        "No other work file is made; modules are packed and unpacked in memory."));
    s.blocks.push_back(paragraph(
        "Files that a run may leave in the current directory: extracted files, under the name given after "
        "extract, typed at the prompt, or else the module's stored name; TOP_HOLE.BIN, the contents of the "
        "top hole (/TOPHOLE extract); tempdrive.rom, a hole's contents when no other name is typed; and the "
        "prepared built-in inputs (a dry run, --dry-run, writes none of them):"));
    std::set<std::string> prepared;
    std::set<std::string> read;
    for (const CatalogueEntry& e : cli::catalogue()) {
        const cli::Default d = cli::default_input(e.code);
        if (!d.prepared.empty()) prepared.emplace(d.prepared);
        if (d.input != DefaultInput::kNone) read.emplace(d.name);
        if (d.input == DefaultInput::kAcpiJoin || d.input == DefaultInput::kAcpiExecutable)
            read.emplace("DSDT.AML");
    }
    for (const std::string& name : prepared)
        s.blocks.push_back(
            tagged(name, "written from its built-in input when the option stands without RomFile"));
    std::string inputs = "Built-in inputs read when an option stands without RomFile:";
    bool first = true;
    for (const std::string& name : read) {
        inputs += (first ? " " : ", ") + name;
        first = false;
    }
    s.blocks.push_back(paragraph(inputs + "."));
    return s;
}

// The microcode commands: each under its usage line (the first line of its
// help), then what a user needs to know to change updates one at a time.
Section microcode_section() {
    Section s{"CPU MICROCODE", {}};
    s.blocks.push_back(paragraph(
        "Besides the legacy command lines, kitra lists, adds and removes single CPU microcode updates: kitra "
        "IMAGE --COMMAND, and kitra IMAGE --COMMAND --help explains one. Updates sit in three places: the "
        "bootblock's microcode area (listed only), the CPU microcode module (type ID 4001:0) and the "
        "uncompressed microcode area at the top of the compressed area. An Intel update is checked whole: "
        "header version 1, data and total sizes that agree, the checksum of the update and of its extended "
        "signature table; an AMD patch by its data checksum."));
    const char* const texts[] = {
        "Lists every update of each place, found wherever it starts (also where the /D table reads none, "
        "as after a table of pointers): index, place, offset, vendor, CPUID with family, model and stepping, "
        "the platform IDs it is for, revision, date, size and whether its checksum holds, with notes for a "
        "duplicate, an update superseded by a newer revision for the same CPUID and platform IDs, and one "
        "the /D table does not show whole. Bytes of a place that are not updates are shown. --json gives "
        "the same as one JSON document (schema/microcode.schema.json in the sources).",
        "Adds the updates of each FILE (one binary update, updates joined one after another, the .dat text "
        "form, or a CPU microcode module). An update replaces the one for the same CPUID and platform-ID "
        "mask when its revision is newer; an older or equal one is skipped with a note (--downgrade "
        "replaces it anyway); any other is added in CPUID order. The module is packed again and put in as "
        "/cpucode puts it, made as CPUCODE.BIN when the image has none; with --uncompressed the updates "
        "go to the uncompressed area. An update of another size than the 2048-byte records the module is "
        "read in is refused unless --force is given. kitra prints what it will do and the new size "
        "against the free space first; when it does not fit, it says by how many bytes and writes nothing "
        "(status 1). A place that holds anything besides whole updates (a table of pointers, padding) is "
        "not rewritten.",
        "Removes the updates each selector names from the module and the uncompressed area: a CPUID in "
        "hexadecimal (686 or 0x686), with ,pf=MASK or ,rev=REVISION after it, or index=N from --microcode. "
        "A selector that names no update fails, and nothing is written. The last update of a place takes "
        "the place with it.",
    };
    const auto commands = microcode::commands();
    for (std::size_t i = 0; i < commands.size() && i < std::size(texts); ++i) {
        const std::string_view help = commands[i].help;
        s.blocks.push_back(tagged(std::string(help.substr(0, help.find('\n'))), texts[i]));
    }
    s.blocks.push_back(paragraph(
        "Exit status: 0 done (also when there was nothing to change), 1 refused or failed (the image is "
        "left as it was), 2 a wrong command line."));
    return s;
}

// The image as a folder: what the folder holds and what a pack does with
// each change, then the two ways people work with it.
Section folder_section() {
    Section s{"THE IMAGE AS A FOLDER", {}};
    s.blocks.push_back(paragraph(
        "kitra IMAGE --unpack DIR writes the image as a folder: manifest.json (schema "
        "schema/folder.schema.json in the sources), body.bin (the system BIOS body, the contents of the "
        "type 5000 module that no legacy option reaches), modules/ (each module's unpacked contents, named "
        "by its option, its slot and the last component of its stored name, such as modules/pci-B-raid.rom), "
        "regions/ (the bytes outside the modules, named by their region: bootblock, base window, top hole, "
        "microcode area, holes, the bootblock's fixed areas; a region whose bytes are all one value, free "
        "space above all, is only that value and a length in the manifest) and streams/ (each packed "
        "module's data as it lies). The manifest records every module's header fields, padding, place and "
        "order, and digests of its file and of the module; it is written in name order, one member a "
        "line, so that a version-control diff of two unpacked images reads well. A folder that holds "
        "anything is refused unless --replace is given; then the files of the earlier unpack are replaced "
        "and every other file stays."));
    s.blocks.push_back(paragraph(
        "kitra IMAGE --pack DIR makes IMAGE from the folder: every module whose file, stream and manifest "
        "entry are as unpacked is put back byte for byte, its stream never packed again, so an untouched "
        "folder gives the image it was unpacked from. Then, as the legacy commands would: a module whose "
        "file is gone is released; one whose file changed is released and added again at the free end of "
        "the chain (or arena), packed, placed, aligned, rebased and referenced by the rules of its option "
        "(the manifest's \"option\"); an entry added to \"modules\" with file, name and type_id (or "
        "type_id_hex), and option and area where needed, is added the same way. Unlike a legacy add, no "
        "other module is replaced by it: the manifest says what goes. A changed body.bin is packed again "
        "(-lh5-) and the chain moved behind it, its PE32 and memory-init modules rebased and the "
        "bootblock's references patched; a body that does not fit is refused with the exact excess. Edited "
        "region files are written as they are. A changed image is finished like every change. Every "
        "refusal names the file and the manifest entry, and nothing is written."));
    s.blocks.push_back(paragraph(
        "kitra IMAGE --body FILE replaces the body in one step, and kitra IMAGE --body-extract FILE writes "
        "it, for scripts."));
    return s;
}

}  // namespace

std::string describe_option(int code) {
    const CatalogueEntry* e = cli::entry_for_code(code);
    if (e == nullptr) return {};
    return placement_text(*e) + "." + default_text(code) + " " + type_id_text(*e);
}

Document kitra_manual(const std::string& version) {
    Document doc{"kitra", version, "assemble legacy PC system-BIOS ROM images", {}};
    doc.sections.push_back({"SYNOPSIS",
                            {example("kitra InputFile option [RomFile|release|extract] ... [/err]\n"
                                     "kitra option [RomFile|release|extract] ...\n"
                                     "kitra InputFile /other type RomFile\n"
                                     "kitra InputFile /isa RomFile [segment:0]\n"
                                     "kitra InputFile /groupN RomFile\n"
                                     "kitra /TopHole:address RomFile\n"
                                     "kitra InputFile /BOI [nine values]\n"
                                     "kitra InputFile /D\n"
                                     "kitra InputFile --COMMAND [ARGUMENTS...]")}});
    doc.sections.push_back(
        {"DESCRIPTION",
         {paragraph(
              "kitra edits one system-BIOS ROM image, InputFile, in place. It packs option ROMs, logos, "
              "CPU microcode, ACPI tables, PE32 and memory-init modules and OEM code into LZH -lh5- "
              "modules of the image, replaces, releases and extracts them, places the bootblock and "
              "special regions, keeps every checksum and bootblock reference right, and lists what the "
              "image holds."),
          paragraph(
              "The items of the command line are taken in order. An item is an option, naming a kind of "
              "component, followed by at most one argument: a component file (RomFile), or one of the "
              "words release and extract. A word that is not an option ends the items. When the first "
              "word is itself an option, the image is named by the environment variable _last. kitra "
              "alone prints the list of options, pausing after each screen."),
          paragraph(
              "A run that changes the image makes its checksums right: the checksum block's two bytes, "
              "the microcode pointer and the bootblock checksum byte. The whole image is balanced to a "
              "zero sum only where it has a balance area (the 1 KiB at the image checksum word erased, or "
              "already balanced); where those bytes are firmware code or data, or are summed by the "
              "checksum block, they are left as they are."),
          paragraph(
              "Runs that would change one image at the same moment (a parallel build) take turns: a run "
              "waits for the one before it, says so after a second, and gives up after a minute. Runs "
              "that only list or extract do not wait.")}});
    doc.sections.push_back(
        {"WORDS",
         {tagged("RomFile", "The component file to add. A file that is already a module is added as it is."),
          tagged(
              "release",
              "Removes the module of the option's kind from the image; the modules behind it move down and "
              "the freed space becomes 0xFF. For the top hole, the microcode area and the holes, their "
              "area is cleared. Where several slots hold modules of the kind, kitra asks which one."),
          tagged("extract",
                 "Writes the unpacked contents of the module of the option's kind to the file named by the "
                 "next word; without one kitra asks for a name, and an empty answer takes the last component "
                 "of the module's stored name, in the current directory. A stored name that is absolute, has "
                 "a .. component or holds control bytes is refused as a default. The image is not changed."),
          tagged("noreserve",
                 "After a logo item given as the first word: the bitmap conversion does not keep the system "
                 "colours free."),
          tagged("checksum",
                 "After the RomFile of a /HOLE0 to /HOLE7 item: a checksum is added at the end "
                 "of the hole."),
          tagged("/err",
                 "Anywhere on the command line: the exit status tells which item failed (see EXIT STATUS). "
                 "It is no item; the items end where it stands."),
          tagged("/advice, /advice:all",
                 "Anywhere on the command line: when an add does not fit, one more line after \"have not "
                 "enough space\" names the bytes it lacks and the fewest modules whose release makes room, "
                 "each with the bytes it frees (never the system BIOS; position-dependent and bootblock "
                 "modules only with /advice:all). On a terminal the line comes unasked. The messages before "
                 "it and the exit status stay as they are. It is no item; the items end where it stands.")}});
    doc.sections.push_back(options_section());
    doc.sections.push_back(commands_section());
    doc.sections.push_back(
        {"ENVIRONMENT",
         {tagged("_last",
                 "Names the image when the first word is an option: the image is the value of _last "
                 "followed by .bin. When it is not set kitra prints \"Not settype so unknow BIOS "
                 "file name...\".")}});
    doc.sections.push_back(
        {"EXIT STATUS",
         {tagged("0",
                 "Success; the usage text; and, without /err, every failure of an item (each is reported "
                 "by its message), an image that cannot be opened and an unset _last."),
          tagged("N",
                 "With /err: the option code of the last item that failed, after the line \"!!! Combine "
                 "NAME have some error.\"."),
          tagged("1",
                 "A fatal error: a codec error (such as \"Bad table\"), more than ten ACPI SDT modules, "
                 "an ACPI table of the wrong size, an unsupported or wrong FixupDescriptor table, an image "
                 "that cannot be written or whose turn never comes; with /err also an image that cannot "
                 "be opened or used and an unset _last. A fatal error discards every change of the run: "
                 "the image stays as it was."),
          paragraph(
              "The commands (kitra InputFile --COMMAND) end with 0 when done, 1 when they failed (an "
              "image that cannot be read), 2 when their command line is wrong; --verify with 3 when it "
              "found damage; --diff as diff does: 0 when the images are equal, 1 when they differ, 2 on "
              "trouble.")}});
    doc.sections.push_back(microcode_section());
    doc.sections.push_back(folder_section());
    doc.sections.push_back(safety_section());
    doc.sections.push_back(files_section());
    doc.sections.push_back(
        {"EXAMPLES",
         {paragraph("List what an image holds:"),
          example("kitra bios.bin /D"),
          paragraph("Add or replace the VGA option ROM; with /err a failure sets the exit status:"),
          example("kitra bios.bin /vga vga.rom /err"),
          paragraph("Remove the VGA option ROM, and write the logo out as a BMP picture:"),
          example("kitra bios.bin /vga release\nkitra bios.bin /logo extract logo.bmp"),
          paragraph("Add a module of type 8000, and an ISA ROM placed at segment C800:"),
          example("kitra bios.bin /other 8000:0 data.bin\nkitra bios.bin /isa isa.rom C800:0"),
          paragraph("Add the update for a newer stepping of the board's CPU (CPUID 68A, platform ID 4) from "
                    "Intel's text form, after looking at what the image carries; an older revision for "
                    "the same CPUID and platform IDs is replaced:"),
          example("kitra bios.bin --microcode\nkitra bios.bin --microcode-add cpu0068a_plat10.dat"),
          paragraph("Make room by removing the updates for CPUs the board can never take: every update for "
                    "CPUID 650, and update 7 of the listing:"),
          example("kitra bios.bin --microcode-remove 650 index=7"),
          paragraph("Name the image by _last (here bios.bin) and add a module at a fixed address:"),
          example("_last=bios kitra /TopHole:FFFD0000 xxx.bin"),
          paragraph(
              "Set the Boot On Internet parameters (UseDHCP, server, static address, net mask, gateway, "
              "DNS, UseProxy, proxy address, proxy port), and show them:"),
          example("kitra bios.bin /BOI 1 192.168.0.1 192.168.0.20 255.255.255.0 192.168.0.254 "
                  "192.168.0.1 0 0.0.0.0 32896\nkitra bios.bin /BOI"),
          paragraph("Show every module, area and record of an image in 80 columns:"),
          example("kitra bios.bin --info"),
          paragraph("Write the same as one JSON document, for a build script:"),
          example("kitra bios.bin --json > bios.json"),
          paragraph("Check the image before flashing it; the exit status is 3 when something is damaged:"),
          example("kitra bios.bin --verify || echo \"do not flash bios.bin\""),
          paragraph(
              "Before an add to an image that is nearly full: its free space, then the add tried in "
              "memory with the advice of what to release, then the releases and the add tried together; "
              "nothing is written until the last line:"),
          example("kitra bios.bin --space\nkitra bios.bin --dry-run /oem3 oem3.bin /advice /err\n"
                  "kitra bios.bin --dry-run /logo release /acpi release /oem3 oem3.bin /err\n"
                  "kitra bios.bin /logo release /acpi release /oem3 oem3.bin /err"),
          paragraph("Show what an edit changed:"),
          example("cp bios.bin old.bin && kitra bios.bin /vga vga.rom\nkitra old.bin --diff bios.bin"),
          paragraph(
              "Patch a string in the system BIOS body (the same length, so nothing else moves) and pack "
              "the image again; --verify checks the result:"),
          example("kitra bios.bin --unpack bios\n"
                  "sed -i 's/Copyright 1998/Copyright 2026/' bios/body.bin\n"
                  "kitra bios.bin --pack bios\n"
                  "kitra bios.bin --verify"),
          paragraph("Keep an unpacked image under version control: a change to the image is then a change "
                    "of files. After a pack, unpack again over the folder so that its manifest and streams "
                    "describe the new image:"),
          example("kitra bios.bin --unpack board && git -C board init && git -C board add . && "
                  "git -C board commit -m 'BIOS 1.02'\n"
                  "cp vga-1.2.rom board/modules/vga-1-vga.rom\n"
                  "kitra bios.bin --pack board && kitra bios.bin --unpack board --replace\n"
                  "git -C board diff --stat && git -C board commit -am 'VGA BIOS 1.2'")}});
    return doc;
}

namespace {

// Text as roff reads it: a backslash is written \e, a hyphen \- (a minus,
// as options and file names want it), and a line may not start with a dot
// or an apostrophe (a request).
std::string roff_escaped(const std::string& text) {
    std::string out;
    bool line_start = true;
    for (char c : text) {
        if (line_start && (c == '.' || c == '\'')) out += "\\&";
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out.push_back(c);
        line_start = c == '\n';
    }
    return out;
}

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace

std::string to_roff(const Document& doc) {
    // No hyphenation: option and file names must stay whole.
    std::string out = ".TH " + upper(doc.name) + " 1 \"\" \"" + doc.name + " " + doc.version +
                      "\" \"User Commands\"\n.nh\n.SH NAME\n" + doc.name + " \\- " +
                      roff_escaped(doc.summary) + "\n";
    for (const Section& section : doc.sections) {
        out += ".SH \"" + section.title + "\"\n";
        for (const Block& b : section.blocks) {
            switch (b.form) {
                case Block::Form::kParagraph:
                    out += ".PP\n" + roff_escaped(b.text) + "\n";
                    break;
                case Block::Form::kTagged:
                    out += ".TP\n.B " + roff_escaped(b.tag) + "\n" + roff_escaped(b.text) + "\n";
                    break;
                case Block::Form::kExample:
                    out += ".PP\n.RS 4\n.nf\n" + roff_escaped(b.text) + "\n.fi\n.RE\n";
                    break;
            }
        }
    }
    return out;
}

namespace {

constexpr std::size_t kWidth = 78;
constexpr std::size_t kIndent = 7;
constexpr std::size_t kTagIndent = 14;

// `text` in lines of at most kWidth columns, each starting with `indent`
// blanks (the first with `first` already written); a word longer than a line
// stands alone.
void wrap(std::string& out, const std::string& text, std::size_t indent, std::size_t first) {
    std::size_t column = first;
    bool line_empty = true;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string word = text.substr(at, end - at);
        at = end + 1;
        if (word.empty()) continue;
        if (!line_empty && column + 1 + word.size() > kWidth) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            line_empty = true;
        }
        if (!line_empty) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        line_empty = false;
    }
    out += "\n";
}

}  // namespace

std::string to_text(const Document& doc) {
    std::string out = upper(doc.name) + "(1)" + std::string(kWidth - 2 * (doc.name.size() + 3), ' ') +
                      upper(doc.name) + "(1)\n\nNAME\n" + std::string(kIndent, ' ');
    wrap(out, doc.name + " - " + doc.summary, kIndent, kIndent);
    for (const Section& section : doc.sections) {
        out += "\n" + section.title + "\n";
        for (std::size_t i = 0; i < section.blocks.size(); ++i) {
            const Block& b = section.blocks[i];
            if (i != 0) out += "\n";
            switch (b.form) {
                case Block::Form::kParagraph:
                    out += std::string(kIndent, ' ');
                    wrap(out, b.text, kIndent, kIndent);
                    break;
                case Block::Form::kTagged:
                    out += std::string(kIndent, ' ') + b.tag;
                    if (kIndent + b.tag.size() < kTagIndent) {
                        out += std::string(kTagIndent - kIndent - b.tag.size(), ' ');
                    } else {
                        out += "\n" + std::string(kTagIndent, ' ');
                    }
                    wrap(out, b.text, kTagIndent, kTagIndent);
                    break;
                case Block::Form::kExample: {
                    std::size_t at = 0;
                    while (at <= b.text.size()) {
                        const std::size_t end = std::min(b.text.find('\n', at), b.text.size());
                        out += std::string(kIndent + 4, ' ') + b.text.substr(at, end - at) + "\n";
                        at = end + 1;
                    }
                    break;
                }
            }
        }
    }
    out += "\n" + doc.name + " " + doc.version + "\n";
    return out;
}

}  // namespace kitra::manual
