// LZH codec throughput, side by side in one run (the machine is noisy):
// kitra's encoder and decoder on several MiB of firmware-like data (code,
// text, bitmaps with zero runs) and on random data, and lhasa extracting the
// same modules as whole processes.
//
// Build and run in Release:
//   cmake --preset release && cmake --build --preset release --target lzh_bench &&
//   build/release/bench/lzh_bench
//
// Options: --mib N (size of the firmware-like data, default 6), --reps N
// (repetitions, best time kept, default 5). lhasa is looked up on PATH; without
// it its columns are left out.
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codec/lzh_encoder.h"
#include "codec/packer.h"
#include "platform/console.h"
#include "support/rng.h"

namespace {

using kitra::base::Bytes;
using Clock = std::chrono::steady_clock;

using kitra::testing::Rng;

// Real-mode x86 code: a few hundred "instructions" reused with varying
// operands, near calls, string tables and padding.
void add_code(Bytes& b, std::size_t n, Rng& r) {
    static const std::vector<std::vector<std::uint8_t>> kOps = {{0x8B, 0x46},
                                                                {0x89, 0x46},
                                                                {0x8B, 0x5E},
                                                                {0x50},
                                                                {0x53},
                                                                {0x51},
                                                                {0x52},
                                                                {0x58},
                                                                {0x5B},
                                                                {0xC3},
                                                                {0x74},
                                                                {0x75},
                                                                {0xEB},
                                                                {0x3C},
                                                                {0x80, 0x3E},
                                                                {0xB8},
                                                                {0xBB},
                                                                {0xE4},
                                                                {0xE6},
                                                                {0x66, 0x8B, 0x07},
                                                                {0x0F, 0xB6, 0xC0},
                                                                {0xF6, 0xC4},
                                                                {0x33, 0xC0},
                                                                {0xFA},
                                                                {0xFB},
                                                                {0x2E, 0xFF, 0x16}};
    const std::size_t end = b.size() + n;
    while (b.size() < end) {
        const unsigned k = r.below(100);
        if (k < 70) {
            const auto& op = kOps[r.below(static_cast<unsigned>(kOps.size()))];
            b.insert(b.end(), op.begin(), op.end());
            for (unsigned i = r.below(3); i > 0; --i) b.push_back(static_cast<std::uint8_t>(r.below(64) * 2));
        } else if (k < 85) {
            b.push_back(0xE8);
            const unsigned target = r.below(0x2000);
            b.push_back(static_cast<std::uint8_t>(target));
            b.push_back(static_cast<std::uint8_t>(target >> 8));
        } else if (k < 95) {
            b.push_back(static_cast<std::uint8_t>(r.next()));
        } else {
            b.insert(b.end(), r.below(16), k < 98 ? 0x00 : 0x90);
        }
    }
    b.resize(end);
}

void add_text(Bytes& b, std::size_t n, Rng& r) {
    static const char* const kWords[] = {
        "Press ",   "F1 ",     "to ",      "continue",   ", ",       "DEL ",      "enter ",  "SETUP\r\n",
        "CMOS ",    "memory ", "error",    " checksum ", "bad",      "Keyboard ", "not ",    "found\r\n",
        "Primary ", "Master ", "Slave ",   "Secondary ", "IDE ",     "drive ",    "boot ",   "device\r\n",
        "%s ",      "%04X ",   "Disabled", "Enabled",    "Auto\r\n", "USB ",      "legacy ", "support "};
    const std::size_t end = b.size() + n;
    while (b.size() < end) {
        const char* w = kWords[r.below(32)];
        b.insert(b.end(), w, w + std::strlen(w));
        if (r.below(12) == 0) b.push_back(0);
    }
    b.resize(end);
}

// A 4-bit logo bitmap: rows of background (zero) with runs of colour.
void add_bitmap(Bytes& b, std::size_t n, Rng& r) {
    const std::size_t end = b.size() + n;
    while (b.size() < end) {
        const unsigned k = r.below(10);
        if (k < 6)
            b.insert(b.end(), 1 + r.below(600), 0x00);
        else if (k < 9)
            b.insert(b.end(), 1 + r.below(40), static_cast<std::uint8_t>(0x11 * r.below(16)));
        else
            for (unsigned i = 1 + r.below(24); i > 0; --i) b.push_back(static_cast<std::uint8_t>(r.next()));
    }
    b.resize(end);
}

Bytes firmware_like(std::size_t size) {
    Rng r(2026);
    Bytes b;
    b.reserve(size);
    while (b.size() < size) {
        const std::size_t piece = std::min<std::size_t>(size - b.size(), 16384 + r.below(65536));
        const unsigned kind = r.below(10);
        if (kind < 5)
            add_code(b, piece, r);
        else if (kind < 7)
            add_text(b, piece, r);
        else
            add_bitmap(b, piece, r);
    }
    return b;
}

Bytes noise_bytes(std::size_t size) {
    Rng r(7);
    Bytes b(size);
    for (auto& x : b) x = static_cast<std::uint8_t>(r.next());
    return b;
}

template <typename F>
double best_seconds(int reps, F&& f) {
    double best = 1e30;
    for (int i = 0; i < reps; ++i) {
        const auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

double mbps(std::size_t bytes, double seconds) {
    return static_cast<double>(bytes) / seconds / 1e6;
}

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void write_file(const std::filesystem::path& p, const Bytes& b) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes read_file(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    Bytes b(std::filesystem::file_size(p));
    f.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t mib = 6;
    int reps = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--mib") == 0) mib = std::strtoul(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--reps") == 0) reps = std::atoi(argv[i + 1]);
    }
    kitra::codec::Encoder encoder;
    const bool have_lhasa = run("command -v lhasa >/dev/null 2>&1") == 0;
    char dir_template[] = "/tmp/kitra-bench-XXXXXX";
    const std::filesystem::path dir = mkdtemp(dir_template);

    struct Set {
        const char* name;
        Bytes data;
    };
    std::vector<Set> sets;
    sets.push_back({"firmware-like", firmware_like(mib << 20)});
    sets.push_back({"random", noise_bytes(2u << 20)});

    std::printf("%-14s %9s %7s %11s %11s %13s %13s %13s %8s\n", "data", "size", "ratio", "encode", "decode",
                "decode+files", "lhasa p", "lhasa x", "speedup");
    for (const Set& s : sets) {
        Bytes module;
        const double enc = best_seconds(reps, [&] {
            module = kitra::codec::pack(s.data, kitra::codec::PackMode::kQuiet, "bench.bin", "4080:0",
                                        encoder, {});
        });
        const auto info_packed = kitra::base::read_u32(module, 7);
        const bool stored = module[5] == '0';
        Bytes out;
        const double dec = best_seconds(reps * 2, [&] { out = *kitra::codec::unpack(module, {}); });
        if (out != s.data) {
            std::fprintf(stderr, "round trip failed for %s\n", s.name);
            return 1;
        }
        // kitra as a whole file operation: read the module file, unpack, write the contents.
        const auto archive = dir / "bench.lzh";
        write_file(archive, module);
        const double dec_files = best_seconds(reps * 2, [&] {
            const Bytes m = read_file(archive);
            write_file(dir / "kitra.out", *kitra::codec::unpack(m, {}));
        });
        double lhasa_p = 0, lhasa_x = 0;
        if (have_lhasa) {
            const std::string in_dir = "cd '" + dir.string() + "' && ";
            lhasa_p = best_seconds(reps, [&] { run(in_dir + "lhasa pq bench.lzh >/dev/null"); });
            lhasa_x =
                best_seconds(reps, [&] { run(in_dir + "rm -f bench.bin && lhasa xq bench.lzh >/dev/null"); });
            if (read_file(dir / "bench.bin") != s.data) std::fprintf(stderr, "lhasa extracted other bytes\n");
        }
        const std::size_t n = s.data.size();
        char ratio[16];
        std::snprintf(ratio, sizeof ratio, "%.3f%s",
                      static_cast<double>(info_packed) / static_cast<double>(n), stored ? "*" : "");
        std::printf("%-14s %8.2fM %7s %6.1f MB/s %6.1f MB/s %8.1f MB/s", s.name,
                    static_cast<double>(n) / (1 << 20), ratio, mbps(n, enc), mbps(n, dec),
                    mbps(n, dec_files));
        if (have_lhasa)
            std::printf(" %8.1f MB/s %8.1f MB/s %7.1fx\n", mbps(n, lhasa_p), mbps(n, lhasa_x),
                        lhasa_x / dec_files);
        else
            std::printf("   (lhasa not found)\n");
    }
    std::printf(
        "ratio: packed / original (* stored as -lh0-: the encoder gave up). decode: unpack() in memory;\n"
        "decode+files: read module file, unpack, write contents; lhasa: whole process, best of %d;\n"
        "speedup: lhasa x time / kitra decode+files time.\n",
        reps);
    std::filesystem::remove_all(dir);
    return 0;
}
