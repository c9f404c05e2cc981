#include "support/run_kitra.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kitra::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
    char name[] = "/tmp/kitra-test-XXXXXX";
    path = ::mkdtemp(name);
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
}

std::vector<std::string> TempDir::files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

Started start_kitra(const std::vector<std::string>& args, const fs::path& dir, const Launch& launch) {
    Started run;
    run.io = std::make_shared<TempDir>();
    const fs::path in_path = run.io->path / "stdin", out_path = run.io->path / "stdout",
                   err_path = run.io->path / "stderr";
    {
        std::ofstream in(in_path, std::ios::binary);
        in << launch.input;
    }
    std::vector<std::string> argv_text{"kitra"};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);

    run.pid = ::fork();
    if (run.pid == 0) {
        if (::chdir(dir.c_str()) != 0) ::_exit(127);
        const int in = ::open(in_path.c_str(), O_RDONLY);
        const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (launch.last)
            ::setenv("_last", launch.last->c_str(), 1);
        else
            ::unsetenv("_last");
        if (launch.file_size_limit) {
            const rlimit limit{*launch.file_size_limit, *launch.file_size_limit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(127);
        }
        ::execv(KITRA_BINARY, argv.data());
        ::_exit(127);
    }
    return run;
}

Outcome finish_kitra(const Started& run) {
    int wstatus = 0;
    ::waitpid(run.pid, &wstatus, 0);
    Outcome o;
    o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    o.out = slurp(run.io->path / "stdout");
    o.err = slurp(run.io->path / "stderr");
    return o;
}

Outcome run_kitra(const std::vector<std::string>& args, const fs::path& dir, const std::string& input,
                  const std::optional<std::string>& last) {
    Launch launch;
    launch.input = input;
    launch.last = last;
    return finish_kitra(start_kitra(args, dir, launch));
}

}  // namespace kitra::testing
