// Whole processes for the benchmarks: one run with its wall time and peak
// memory, and the median of several (POSIX only, as the benchmarks are).
#pragma once

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kitra::bench {

struct ProcessRun {
    double seconds = 0;
    long peak_kib = 0;
    int status = -1;
};

// Runs `args` in `dir` with standard input, output and error on /dev/null.
ProcessRun run_process(const std::vector<std::string>& args, const std::filesystem::path& dir);

// The median time and the largest peak of `reps` runs, each after `setup`;
// the first run that does not end with status 0 is returned as it is.
ProcessRun median_run(int reps, const std::vector<std::string>& args, const std::filesystem::path& dir,
                      const std::function<void()>& setup);

// The best wall time of `reps` calls of `f`, in seconds: the figure of work
// done in memory, where the least disturbed run is the truest.
template <typename F>
double best_seconds(int reps, F&& f) {
    double best = 1e30;
    for (int i = 0; i < reps; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

}  // namespace kitra::bench
