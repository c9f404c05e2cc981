// A console whose standard output and error stream are captured in memory,
// for comparing exact text.
#pragma once

#include <cstdio>
#include <string>

#include "cli/console_report.h"
#include "codec/report.h"
#include "platform/console.h"
#include "support/scratch_file.h"

namespace kitra::testing {

struct CapturedConsole {
    platform::Console con;

    CapturedConsole() {
        con.out = scratch_file();
        con.err = scratch_file();
    }
    ~CapturedConsole() {
        std::fclose(con.out);
        std::fclose(con.err);
    }
    CapturedConsole(const CapturedConsole&) = delete;
    CapturedConsole& operator=(const CapturedConsole&) = delete;

    // The codec's text, into this console.
    codec::Report report() { return cli::console_report(con); }

    std::string out() { return scratch_contents(con.out); }
    std::string err() { return scratch_contents(con.err); }
};

}  // namespace kitra::testing
