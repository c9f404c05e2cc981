// The folder commands' benchmark: --unpack then --pack of a 16 MiB image
// with 8 MiB of modules (bench_image.h), against one decode of every
// module, in memory and as whole processes (the target: under a second for
// both, and no module packed again on an untouched round trip). A pack with
// one 1 MiB module changed shows what packing one module again costs.
//
// Build and run in Release:
//   cmake --preset release && cmake --build --preset release && build/release/bench/folder_bench
//
// Options: --module-mib N (module bytes in the image, default 8), --reps N
// (repetitions: in memory the best time is kept, whole runs show the median;
// default 7).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bench_image.h"
#include "cli/run_state.h"
#include "codec/packer.h"
#include "folder/pack.h"
#include "folder/unpack.h"
#include "image/listing_format.h"
#include "process_run.h"

namespace {

using kitra::base::Bytes;
namespace fs = std::filesystem;
namespace folder = kitra::folder;

using Options = kitra::bench::ImageBenchOptions;

using kitra::bench::best_seconds;

std::size_t decode_every_module(const kitra::bench::TestImage& t) {
    std::size_t bytes = 0;
    std::vector<kitra::codec::ModuleInfo> modules = kitra::image::listed_modules(t.bytes, t.layout);
    modules.push_back(*kitra::codec::module_at(t.bytes, t.layout.system_bios_offset));
    for (const kitra::codec::ModuleInfo& m : modules) {
        const auto contents = kitra::codec::unpack(
            kitra::base::slice(kitra::base::ByteView(t.bytes), m.offset, m.length()), {});
        bytes += contents ? contents->size() : 0;
    }
    return bytes;
}

// --pack in memory: the folder's files from a map, the image made as the
// command makes it (finishing left out: an untouched folder needs none).
Bytes pack(const std::map<std::string, Bytes>& files) {
    using namespace kitra;
    platform::Console quiet;
    quiet.out = nullptr;
    quiet.err = nullptr;
    std::optional<cli::Run> run;
    const std::string name = "image.bin";
    const cli::ImageStart start{name, quiet, [&](Bytes bytes) -> cli::Run* {
                                    const auto layout = image::discover_layout(bytes, 0, false);
                                    run.emplace(cli::Settings{}, image::Image(name, std::move(bytes)),
                                                std::get<image::Layout>(layout), quiet);
                                    return &*run;
                                }};
    const auto read = [&](const std::string& file, std::uint64_t) -> folder::FolderRead {
        const auto it = files.find(file);
        if (it == files.end()) return {};
        return {it->second, {}};
    };
    if (folder::pack_files(start, "d", read) != 0 || !run) return {};
    return run->image.bytes();
}

void in_memory(const kitra::bench::TestImage& t, const Options& o) {
    std::size_t sink = 0;
    const double decode = best_seconds(o.reps, [&] { sink += decode_every_module(t); });
    std::map<std::string, Bytes> files;
    const double unpack = best_seconds(o.reps, [&] {
        const folder::Unpacked u = folder::unpack_image("image.bin", t.bytes, t.layout);
        files.clear();
        for (const folder::FolderFile& f : u.files) files[f.name] = f.bytes;
    });
    Bytes packed;
    const double pack_time = best_seconds(o.reps, [&] { packed = pack(files); });
    std::printf("In memory (best of %d):\n", o.reps);
    std::printf("    %-34s %10s %8s\n", "work", "time", "ratio");
    std::printf("    %-34s %7.1f ms %8s\n", "decode every module once", decode * 1e3, "1.00");
    std::printf("    %-34s %7.1f ms %8.2f\n", "unpack (manifest and files)", unpack * 1e3, unpack / decode);
    std::printf("    %-34s %7.1f ms %8.2f\n", "pack (untouched)", pack_time * 1e3, pack_time / decode);
    std::printf("    the packed image is %s\n",
                packed == t.bytes ? "the image, byte for byte" : "NOT the image");
    if (sink == 0) std::printf("(nothing decoded)\n");
}

void whole_runs(const kitra::bench::TestImage& t, const Options& o, const fs::path& build) {
    const fs::path kitra = build / "kitra";
    if (!fs::exists(kitra)) {
        std::printf("Whole runs left out: %s not found.\n", kitra.c_str());
        return;
    }
    const fs::path dir = fs::temp_directory_path() / "kitra_folder_bench";
    fs::remove_all(dir);
    fs::create_directories(dir);
    {
        std::ofstream f(dir / "image.bin", std::ios::binary);
        f.write(reinterpret_cast<const char*>(t.bytes.data()), static_cast<std::streamsize>(t.bytes.size()));
    }
    std::printf("Whole processes (median of %d):\n", o.reps);
    double total = 0;
    const auto row = [&](const char* what, std::vector<std::string> args,
                         const std::function<void()>& setup) {
        args.insert(args.begin(), kitra.string());
        const kitra::bench::ProcessRun r = kitra::bench::median_run(o.reps, args, dir, setup);
        if (r.status != 0) {
            std::printf("    %-40s failed (status %d)\n", what, r.status);
            return;
        }
        std::printf("    %-40s %7.1f ms %8.1f MiB\n", what, r.seconds * 1e3,
                    static_cast<double>(r.peak_kib) / 1024);
        total += r.seconds;
    };
    row("kitra image.bin --unpack d", {"image.bin", "--unpack", "d"}, [&] { fs::remove_all(dir / "d"); });
    row("kitra new.bin --pack d (untouched)", {"new.bin", "--pack", "d"},
        [&] { fs::remove(dir / "new.bin"); });
    std::printf("    %-40s %7.1f ms\n", "unpack then pack", total * 1e3);
    std::ifstream in(dir / "new.bin", std::ios::binary);
    const Bytes back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::printf("    new.bin is %s\n", back == t.bytes ? "image.bin, byte for byte" : "NOT image.bin");
    {
        // One 1 MiB module changed: packed again, the chain closed up behind
        // its old place, the image finished.
        std::fstream f(dir / "d" / "modules" / "oem0-piece.bin",
                       std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(4096);
        f.write("changed", 7);
    }
    row("kitra new.bin --pack d (1 module changed)", {"new.bin", "--pack", "d"},
        [&] { fs::remove(dir / "new.bin"); });
    fs::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = kitra::bench::image_bench_options(argc, argv);
    const kitra::bench::TestImage t = kitra::bench::make_test_image(o.module_mib);
    std::printf("Image: %.0f MiB, %zu modules of firmware-like data taking %.2f MiB (%.2f MiB unpacked)\n",
                static_cast<double>(t.bytes.size()) / (1 << 20), t.modules,
                static_cast<double>(t.module_bytes) / (1 << 20),
                static_cast<double>(t.unpacked_bytes) / (1 << 20));
    in_memory(t, o);
    whole_runs(t, o, fs::absolute(argv[0]).parent_path().parent_path());
    return 0;
}
