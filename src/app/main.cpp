#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "app/run.h"
#include "base/fatal.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/process.h"

int main(int argc, char** argv) {
    std::vector<std::string> args = kitra::platform::arguments(argc, argv);
    if (args.empty()) args.emplace_back("kitra");
    const std::optional<std::string> last = kitra::platform::environment_variable("_last");

    kitra::platform::fail_writes_past_size_limit();
    kitra::platform::Console con = kitra::platform::standard_console();
    int status = 0;
    try {
        status = kitra::app::run_tool(std::move(args), last, con);
    } catch (const kitra::Fatal& stop) {
        kitra::platform::write(con, stop.what());
        status = stop.status;
    } catch (const std::bad_alloc&) {
        kitra::platform::write(con, "Out of memory.\n");
        status = 1;
    } catch (const std::exception& e) {
        kitra::platform::write(con, std::string("Internal error: ") + e.what() + "\n");
        status = 1;
    }
    std::fflush(stdout);
    return status;
}
