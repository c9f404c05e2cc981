// The codec's text, sent to the run's console: progress and notices to
// standard output, its error-stream notices to the error stream.
#pragma once

#include "codec/report.h"
#include "platform/console.h"

namespace kitra::cli {

inline codec::Report console_report(platform::Console& con) {
    return {[&con](std::string_view text) { platform::write(con, text); },
            [&con](std::string_view text) {
                platform::print_error(con, "%.*s", static_cast<int>(text.size()), text.data());
            }};
}

}  // namespace kitra::cli
