// The codec and whole-run benchmark: in one run, side by side (the machine is
// noisy, so compare the rows of one run, not runs):
//   - in memory, kitra's "-lh5-" encoder on one thread and on two, and its
//     decoder, on several MiB of deterministic firmware-like data (x86-like
//     code, message text, bitmaps with zero runs) and on random data;
//   - whole processes, with their peak memory: kitra adding a large module
//     to a 16 MiB image and extracting it again, beside LHa for UNIX adding
//     the same file to an archive and extracting it when `lha` is LHa for
//     UNIX, and beside lhasa extracting the module kitra packed.
//
// Build and run in Release:
//   cmake --preset release && cmake --build --preset release && build/release/bench/lzh_bench
//
// Options: --mib N (size of the in-memory firmware-like data, default 6),
// --module-mib N (size of the module of the whole runs, default 8), --reps N
// (repetitions; in memory the best time is kept, whole runs show the median;
// default 5). --only encode|decode codes the in-memory data only, --reps
// times, for a profiler (add --threads 1 or 2 for the encoder).
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_data.h"
#include "codec/lzh_encoder.h"
#include "codec/packer.h"
#include "process_run.h"
#include "support/rng.h"

namespace {

using kitra::base::Bytes;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

using kitra::bench::firmware_like;
using kitra::bench::median_run;
using kitra::bench::noise_bytes;
using kitra::bench::ProcessRun;
using kitra::bench::run_process;
using kitra::testing::Rng;

using kitra::bench::best_seconds;

double mbps(std::size_t bytes, double seconds) {
    return static_cast<double>(bytes) / seconds / 1e6;
}

void write_file(const fs::path& p, const Bytes& b) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes read_file(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    Bytes b(fs::file_size(p));
    f.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return b;
}

// The output of a shell command (its first line), or "" when it fails.
std::string first_line_of(const std::string& command) {
    std::string line;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        if (std::fgets(buf, sizeof buf, p)) line = buf;
        pclose(p);
    }
    return line;
}

bool on_path(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

struct Options {
    std::size_t mib = 6;
    std::size_t module_mib = 8;
    int reps = 5;
    std::string only;
    unsigned threads = 2;
    kitra::codec::MatchPieces::Shape pieces;
};

kitra::codec::Encoder encoder_with(unsigned threads, kitra::codec::MatchPieces::Shape pieces = {}) {
    kitra::codec::Encoder e;
    e.threads = threads;
    e.pieces = pieces;
    return e;
}

Bytes pack_with(kitra::codec::Encoder& e, const Bytes& data) {
    return kitra::codec::pack(data, kitra::codec::PackMode::kQuiet, "bench.bin", "4015:0", e, {});
}

// --only: one kind of work, for a profiler; prints the best time of the
// process (all threads) and of the wall clock.
int profile(const Options& o) {
    const Bytes data = firmware_like(o.mib << 20);
    kitra::codec::Encoder e = encoder_with(o.threads, o.pieces);
    Bytes module = pack_with(e, data);
    double best_cpu = 1e30;
    double best_wall = 1e30;
    for (int i = 1; i < o.reps; ++i) {
        timespec a{};
        timespec b{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &a);
        const auto t0 = Clock::now();
        if (o.only == "decode") {
            if (*kitra::codec::unpack(module, {}) != data) return 1;
        } else {
            module = pack_with(e, data);
        }
        best_wall = std::min(best_wall, std::chrono::duration<double>(Clock::now() - t0).count());
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &b);
        best_cpu =
            std::min(best_cpu, static_cast<double>(b.tv_sec - a.tv_sec) + (b.tv_nsec - a.tv_nsec) * 1e-9);
    }
    if (o.reps > 1)
        std::printf("%s: %.1f MB/s (process cpu) %.1f MB/s (wall)\n", o.only.c_str(),
                    mbps(data.size(), best_cpu), mbps(data.size(), best_wall));
    return 0;
}

void in_memory(const Options& o) {
    struct Set {
        const char* name;
        Bytes data;
    };
    const std::vector<Set> sets{{"firmware-like", firmware_like(o.mib << 20)},
                                {"random", noise_bytes(2u << 20)}};
    kitra::codec::Encoder one = encoder_with(1);
    kitra::codec::Encoder two = encoder_with(2);
    std::printf("In memory (best of %d):\n", o.reps);
    std::printf("%-14s %9s %7s %16s %17s %12s\n", "data", "size", "ratio", "encode 1 thread",
                "encode 2 threads", "decode");
    for (const Set& s : sets) {
        Bytes module;
        const double enc1 = best_seconds(o.reps, [&] { module = pack_with(one, s.data); });
        const double enc2 = best_seconds(o.reps, [&] { module = pack_with(two, s.data); });
        Bytes out;
        const double dec = best_seconds(o.reps * 2, [&] { out = *kitra::codec::unpack(module, {}); });
        if (out != s.data) std::fprintf(stderr, "round trip failed for %s\n", s.name);
        const std::size_t n = s.data.size();
        char ratio[16];
        std::snprintf(ratio, sizeof ratio, "%.3f%s",
                      static_cast<double>(kitra::base::read_u32(module, 7)) / static_cast<double>(n),
                      module[5] == '0' ? "*" : "");
        std::printf("%-14s %8.2fM %7s %11.1f MB/s %12.1f MB/s %7.1f MB/s\n", s.name,
                    static_cast<double>(n) / (1 << 20), ratio, mbps(n, enc1), mbps(n, enc2), mbps(n, dec));
    }
    std::printf(
        "ratio: packed / original (* stored as -lh0-: the encoder gave up; its encode figure is the\n"
        "cost of finding that out).\n\n");
}

void print_run(const char* what, const ProcessRun& r, std::size_t bytes) {
    if (r.status != 0) {
        std::printf("%-34s failed (exit status %d)\n", what, r.status);
        return;
    }
    std::printf("%-34s %8.1f ms %8.1f MB/s %9.1f MiB\n", what, r.seconds * 1e3, mbps(bytes, r.seconds),
                static_cast<double>(r.peak_kib) / 1024);
}

void whole_runs(const Options& o, const fs::path& build, const fs::path& dir) {
    const fs::path kitra = build / "kitra";
    const fs::path maker = build / "make_sample";
    if (!fs::exists(kitra) || !fs::exists(maker)) {
        std::printf("Whole runs left out: %s and %s are needed (build the release preset whole).\n",
                    kitra.c_str(), maker.c_str());
        return;
    }
    const Bytes module_data = firmware_like(o.module_mib << 20);
    const std::size_t n = module_data.size();
    if (run_process({maker.string(), dir.string(), "16384"}, dir).status != 0) {
        std::printf("Whole runs left out: make_sample failed.\n");
        return;
    }
    fs::rename(dir / "sample.bin", dir / "pristine.bin");
    write_file(dir / "big.bin", module_data);
    const auto fresh = [&] {
        fs::copy_file(dir / "pristine.bin", dir / "image.bin", fs::copy_options::overwrite_existing);
    };

    std::printf("Whole processes, a %.2f MiB firmware-like module and a 16 MiB image (median of %d):\n",
                static_cast<double>(n) / (1 << 20), o.reps);
    std::printf("%-34s %11s %13s %13s\n", "run", "time", "module MB/s", "peak memory");
    print_run("kitra add (/oem3 big.bin)",
              median_run(o.reps, {kitra.string(), "image.bin", "/oem3", "big.bin"}, dir, fresh), n);
    fresh();
    run_process({kitra.string(), "image.bin", "/oem3", "big.bin"}, dir);
    const auto no_output = [&] { fs::remove(dir / "out.bin"); };
    print_run(
        "kitra extract (/oem3 extract)",
        median_run(o.reps, {kitra.string(), "image.bin", "/oem3", "extract", "out.bin"}, dir, no_output), n);
    if (!fs::exists(dir / "out.bin") || read_file(dir / "out.bin") != module_data)
        std::printf("  (kitra extracted other bytes)\n");

    // The module kitra packs is an archive as it is (its separator byte is
    // the archive's end mark).
    kitra::codec::Encoder e = encoder_with(2);
    const Bytes module =
        kitra::codec::pack(module_data, kitra::codec::PackMode::kQuiet, "big.bin", "4015:0", e, {});
    write_file(dir / "kitra.lzh", module);
    const bool lha_unix = first_line_of("lha --version 2>&1").find("LHa for UNIX") != std::string::npos;
    const auto no_big = [&] { fs::remove(dir / "x" / "big.bin"); };
    fs::create_directory(dir / "x");
    if (lha_unix) {
        const auto no_archive = [&] { fs::remove(dir / "lha.lzh"); };
        print_run("LHa for UNIX add (lha a)",
                  median_run(o.reps, {"lha", "aq", "lha.lzh", "big.bin"}, dir, no_archive), n);
        print_run("LHa for UNIX extract (lha x)",
                  median_run(o.reps, {"lha", "xq", "../kitra.lzh"}, dir / "x", no_big), n);
    } else {
        std::printf("%-34s not installed\n", "LHa for UNIX add and extract");
    }
    if (on_path("lhasa")) {
        print_run("lhasa extract (lhasa x)",
                  median_run(o.reps, {"lhasa", "xq", "../kitra.lzh"}, dir / "x", no_big), n);
        if (!fs::exists(dir / "x" / "big.bin") || read_file(dir / "x" / "big.bin") != module_data)
            std::printf("  (lhasa extracted other bytes)\n");
    } else {
        std::printf("%-34s not installed\n", "lhasa extract");
    }
    std::printf(
        "time: the whole process; MB/s: module bytes per second; peak memory: the process's largest\n"
        "resident size.\n");
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        const char* value = argv[i + 1];
        if (opt == "--mib")
            o.mib = std::strtoul(value, nullptr, 10);
        else if (opt == "--module-mib")
            o.module_mib = std::strtoul(value, nullptr, 10);
        else if (opt == "--reps")
            o.reps = std::max(1, std::atoi(value));
        else if (opt == "--only")
            o.only = value;
        else if (opt == "--threads")
            o.threads = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        else if (opt == "--piece-windows")
            o.pieces.piece_windows = std::strtoul(value, nullptr, 10);
        else if (opt == "--warm-up-windows")
            o.pieces.warm_up_windows = std::strtoul(value, nullptr, 10);
        else
            std::fprintf(stderr, "lzh_bench: unknown option %s\n", opt.c_str());
    }
    if (!o.only.empty()) return profile(o);

    char dir_template[] = "/tmp/kitra-bench-XXXXXX";
    if (!mkdtemp(dir_template)) return 1;
    const fs::path dir = dir_template;
    const fs::path build = fs::read_symlink("/proc/self/exe").parent_path().parent_path();
    in_memory(o);
    whole_runs(o, build, dir);
    fs::remove_all(dir);
    return 0;
}
