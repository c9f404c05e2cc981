#include "support/run_kitra.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <random>
#include <sstream>

namespace kitra::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::mt19937_64 names{std::random_device{}()};
    for (;;) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "kitra-test-%012llx",
                      static_cast<unsigned long long>(names() & 0xFFFFFFFFFFFFULL));
        path = fs::temp_directory_path() / suffix;
        if (fs::create_directory(path)) break;
    }
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

#ifdef _WIN32

// One argument of a command line, quoted as the runtime's parser reads it
// back: backslashes are literal except before a quote.
std::wstring quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, L'\\');
    out.push_back(L'"');
    return out;
}

std::wstring widened(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end())).wstring();
}

HANDLE inheritable(const fs::path& path, DWORD access, DWORD creation) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(path.wstring().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, creation,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

#endif

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
#ifdef _WIN32
    // The arguments are UTF-8, as kitra reads them back.
    std::wstring command = L"kitra";
    for (const std::string& a : args) command += L" " + quoted(widened(a));
    const HANDLE in = inheritable(in_path, GENERIC_READ, OPEN_EXISTING);
    const HANDLE out = inheritable(out_path, GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE err = inheritable(err_path, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    // The child's environment: this one, with _last as the launch says.
    std::wstring environment;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
            if (_wcsnicmp(entry, L"_last=", 6) != 0) environment.append(entry).push_back(L'\0');
        }
        FreeEnvironmentStringsW(block);
    }
    if (launch.last) environment.append(L"_last=" + widened(*launch.last)).push_back(L'\0');
    environment.push_back(L'\0');
    PROCESS_INFORMATION info{};
    const std::wstring program = fs::path(KITRA_BINARY).wstring();
    const BOOL started =
        CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                       environment.data(), dir.wstring().c_str(), &startup, &info);
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    if (started != 0) {
        CloseHandle(info.hThread);
        run.process = std::shared_ptr<void>(info.hProcess, [](void* h) { CloseHandle(h); });
    }
#else
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
        if (launch.user && (::setgroups(0, nullptr) != 0 || ::setgid(launch.user->second) != 0 ||
                            ::setuid(launch.user->first) != 0))
            ::_exit(127);
        ::execv(KITRA_BINARY, argv.data());
        ::_exit(127);
    }
#endif
    return run;
}

Outcome finish_kitra(const Started& run) {
    Outcome o;
#ifdef _WIN32
    if (run.process) {
        WaitForSingleObject(run.process.get(), INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(run.process.get(), &code);
        o.status = static_cast<int>(code);
    }
#else
    int wstatus = 0;
    ::waitpid(run.pid, &wstatus, 0);
    o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
#endif
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
