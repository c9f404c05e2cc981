// The editing operations and finishing on arbitrary images: an add, a
// replace within a family, the microcode area, the bootblock areas and the
// arena (whose module is the image's first 4 KiB, a PE32 image when the
// fuzzer makes one), releases and an extract, then the image's finishing.
// Every offset they follow comes from the image.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/fatal.h"
#include "cli/catalogue.h"
#include "cli/item.h"
#include "cli/item_type.h"
#include "cli/run_state.h"
#include "codec/crc16.h"
#include "codec/module_header.h"
#include "edit/add_module.h"
#include "edit/release_extract.h"
#include "image/layout.h"
#include "regions/arena_placement.h"
#include "regions/bootblock_modules.h"
#include "regions/finishing.h"

namespace {

using namespace kitra;

// A stored module the add puts into the chain without packing; its contents
// look like an option ROM with a PCI data structure.
base::Bytes ready_module(const char* type) {
    base::Bytes data(64, 0);
    data[0] = 0x55;
    data[1] = 0xAA;
    data[0x18] = 0x20;
    codec::HeaderFields f;
    f.name = "f.bin";
    f.stored = true;
    f.packed_size = f.original_size = static_cast<std::uint32_t>(data.size());
    f.type = codec::parse_type_id_text(type);
    f.crc = codec::crc16(data);
    base::Bytes m = codec::build_header(f);
    m.insert(m.end(), data.begin(), data.end());
    m.push_back(0);
    return m;
}

void run_item(cli::Run& run, const char* option, cli::ArgumentKind kind, base::Bytes component) {
    static const std::vector<std::string> args{"kitra", "fuzz.bin", "/x"};
    cli::Item item;
    item.index = 2;
    item.option_code = cli::lookup_option(option);
    item.type = cli::select_type(item.option_code, {args, 2, 0, run.layout.extended_layout}, run.con);
    item.option_code = item.type.option_code;
    item.kind = kind;
    item.argument = kind == cli::ArgumentKind::Release ? "release" : "extract";
    item.extract_name = "/dev/null";
    item.component_name = "f.bin";
    item.component = std::move(component);
    try {
        if (kind != cli::ArgumentKind::ComponentFile)
            (void)edit::release_or_extract(run, item);
        else if (item.component_kind().place == cli::Place::kBootblockArea)
            (void)regions::add_to_bootblock(run, item);
        else if (item.component_kind().place == cli::Place::kArena)
            (void)regions::add_to_arena(run, item);
        else
            (void)edit::add_module(run, item);
    } catch (const Fatal&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    base::Bytes bytes(std::max<std::size_t>(size, 0x20000), 0xFF);
    std::copy(data, data + size, bytes.begin());
    auto found = image::discover_layout(bytes, 0xFFFE8000, true);
    auto* layout = std::get_if<image::Layout>(&found);
    if (layout == nullptr) return 0;
    static std::FILE* sink = std::fopen("/dev/null", "w+");
    platform::Console con;
    con.out = con.err = con.in = sink;
    cli::Settings settings;
    settings.image_name = "fuzz.bin";
    cli::Run run(settings, image::Image("fuzz.bin", bytes), *layout, con);
    run_item(run, "/oem0", cli::ArgumentKind::ComponentFile, ready_module("4012:0"));
    run_item(run, "/vga", cli::ArgumentKind::ComponentFile, ready_module("4080:0"));
    run_item(run, "/NC_CPUCODE", cli::ArgumentKind::ComponentFile, ready_module("0:0"));
    run_item(run, "/TOPHOLE", cli::ArgumentKind::ComponentFile, base::Bytes(64, 0x11));
    base::Bytes vga(0x400, 0x33);
    vga[0] = 0x55, vga[1] = 0xAA, vga[2] = 1;
    run_item(run, "/btvga", cli::ArgumentKind::ComponentFile, vga);
    run_item(run, "/NVMM", cli::ArgumentKind::ComponentFile, base::Bytes(64, 0x22));
    run_item(run, "/NVPMU", cli::ArgumentKind::ComponentFile, base::Bytes(64, 0x22));
    const base::Bytes pe(bytes.begin(), bytes.begin() + 0x1000);
    run_item(run, "/BTMEM", cli::ArgumentKind::ComponentFile, pe);
    run_item(run, "/1PE32B", cli::ArgumentKind::ComponentFile, pe);
    run_item(run, "/BTMEM", cli::ArgumentKind::Release, {});
    run_item(run, "/oem0", cli::ArgumentKind::Release, {});
    run_item(run, "/vga", cli::ArgumentKind::Extract, {});
    run.component_mark = true;
    try {
        regions::finish_image(run);
    } catch (const Fatal&) {
    }
    return 0;
}
