// A console whose standard output and error stream are captured in memory,
// for comparing exact text.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/console_report.h"
#include "codec/report.h"
#include "platform/console.h"

namespace kitra::testing {

struct CapturedConsole {
    char* out_data = nullptr;
    std::size_t out_size = 0;
    char* err_data = nullptr;
    std::size_t err_size = 0;
    platform::Console con;

    CapturedConsole() {
        con.out = open_memstream(&out_data, &out_size);
        con.err = open_memstream(&err_data, &err_size);
    }
    ~CapturedConsole() {
        std::fclose(con.out);
        std::fclose(con.err);
        std::free(out_data);
        std::free(err_data);
    }
    CapturedConsole(const CapturedConsole&) = delete;
    CapturedConsole& operator=(const CapturedConsole&) = delete;

    // The codec's text, into this console.
    codec::Report report() { return cli::console_report(con); }

    std::string out() {
        std::fflush(con.out);
        return {out_data, out_size};
    }
    std::string err() {
        std::fflush(con.err);
        return {err_data, err_size};
    }
};

}  // namespace kitra::testing
