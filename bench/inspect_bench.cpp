// The inspect commands' benchmark: --verify and --json on a 16 MiB image
// with 8 MiB of modules, against one decode of every module (the target: at
// most twice its time), in memory and as whole processes.
//
// The image is the bundled sample at 16 MiB with firmware-like data (bench
// data: code, text, bitmaps) packed as modules of 1 MiB each behind its
// chain until the modules take 8 MiB of the image, then finished.
//
// Build and run in Release:
//   cmake --preset release && cmake --build --preset release && build/release/bench/inspect_bench
//
// Options: --module-mib N (module bytes in the image, default 8), --reps N
// (repetitions: in memory the best time is kept, whole runs show the median;
// default 7).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_image.h"
#include "codec/packer.h"
#include "image/listing_format.h"
#include "inspect/inventory.h"
#include "inspect/inventory_json.h"
#include "inspect/verify.h"
#include "process_run.h"

namespace {

using kitra::base::Bytes;
namespace fs = std::filesystem;
namespace inspect = kitra::inspect;

using Options = kitra::bench::ImageBenchOptions;

using kitra::bench::TestImage;

using kitra::bench::best_seconds;

// The baseline: the system BIOS and every module of the chain, unpacked once
// (the bootblock's two small modules aside).
std::size_t decode_every_module(const TestImage& t) {
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

void in_memory(const TestImage& t, const Options& o) {
    std::size_t sink = 0;
    const double decode = best_seconds(o.reps, [&] { sink += decode_every_module(t); });
    const double json = best_seconds(o.reps, [&] {
        sink += inspect::inventory_json(inspect::take_inventory("image.bin", t.bytes, t.layout)).size();
    });
    const double verify = best_seconds(o.reps, [&] {
        sink += inspect::verification_text(inspect::verify_image(t.bytes, t.layout), "image.bin").size();
    });
    std::printf("In memory (best of %d):\n", o.reps);
    std::printf("    %-34s %10s %8s\n", "work", "time", "ratio");
    std::printf("    %-34s %7.1f ms %8s\n", "decode every module once", decode * 1e3, "1.00");
    std::printf("    %-34s %7.1f ms %8.2f\n", "--json (inventory and document)", json * 1e3, json / decode);
    std::printf("    %-34s %7.1f ms %8.2f\n", "--verify (checks and report)", verify * 1e3, verify / decode);
    if (sink == 0) std::printf("(nothing decoded)\n");
}

void whole_runs(const TestImage& t, const Options& o, const fs::path& build) {
    const fs::path kitra = build / "kitra";
    if (!fs::exists(kitra)) {
        std::printf("Whole runs left out: %s not found.\n", kitra.c_str());
        return;
    }
    const fs::path dir = fs::temp_directory_path() / "kitra_inspect_bench";
    fs::create_directories(dir);
    {
        std::ofstream f(dir / "image.bin", std::ios::binary);
        f.write(reinterpret_cast<const char*>(t.bytes.data()), static_cast<std::streamsize>(t.bytes.size()));
    }
    std::printf("Whole processes (median of %d):\n", o.reps);
    const auto row = [&](const char* what, std::vector<std::string> args) {
        args.insert(args.begin(), kitra.string());
        const kitra::bench::ProcessRun r = kitra::bench::median_run(o.reps, args, dir, [] {});
        if (r.status != 0)
            std::printf("    %-34s failed (status %d)\n", what, r.status);
        else
            std::printf("    %-34s %7.1f ms %8.1f MiB\n", what, r.seconds * 1e3,
                        static_cast<double>(r.peak_kib) / 1024);
    };
    row("kitra image.bin /D", {"image.bin", "/D"});
    row("kitra image.bin --json", {"image.bin", "--json"});
    row("kitra image.bin --verify", {"image.bin", "--verify"});
    fs::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = kitra::bench::image_bench_options(argc, argv);
    const TestImage t = kitra::bench::make_test_image(o.module_mib);
    std::printf("Image: %.0f MiB, %zu modules of firmware-like data taking %.2f MiB (%.2f MiB unpacked)\n",
                static_cast<double>(t.bytes.size()) / (1 << 20), t.modules,
                static_cast<double>(t.module_bytes) / (1 << 20),
                static_cast<double>(t.unpacked_bytes) / (1 << 20));
    in_memory(t, o);
    whole_runs(t, o, fs::absolute(argv[0]).parent_path().parent_path());
    return 0;
}
