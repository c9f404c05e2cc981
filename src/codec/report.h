// The codec prints nothing itself. Its progress text (the "Adding" line, a dot
// per 8 KiB coded, the ratio) and its few notices go to whoever runs it
// through these callbacks: `out` for standard output, `err` for the error
// stream. An empty callback drops the text.
#pragma once

#include <functional>
#include <string_view>

namespace kitra::codec {

struct Report {
    std::function<void(std::string_view)> out;
    std::function<void(std::string_view)> err;

    void text(std::string_view s) const {
        if (out) out(s);
    }
    void error(std::string_view s) const {
        if (err) err(s);
    }
};

}  // namespace kitra::codec
