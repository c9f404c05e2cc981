#include "process_run.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace kitra::bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

ProcessRun run_process(const std::vector<std::string>& args, const fs::path& dir) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ProcessRun r;
    std::fflush(nullptr);  // the child must not write this process's buffered text again
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        if (!std::freopen("/dev/null", "r", stdin) || !std::freopen("/dev/null", "w", stdout) ||
            !std::freopen("/dev/null", "w", stderr))
            _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return r;
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.peak_kib = usage.ru_maxrss;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

ProcessRun median_run(int reps, const std::vector<std::string>& args, const fs::path& dir,
                      const std::function<void()>& setup) {
    std::vector<double> times;
    ProcessRun out;
    for (int i = 0; i < reps; ++i) {
        setup();
        const ProcessRun r = run_process(args, dir);
        if (r.status != 0) return r;
        times.push_back(r.seconds);
        out.peak_kib = std::max(out.peak_kib, r.peak_kib);
        out.status = 0;
    }
    std::sort(times.begin(), times.end());
    out.seconds = times[times.size() / 2];
    return out;
}

}  // namespace kitra::bench
