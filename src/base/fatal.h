// A stop of the whole run. Thrown where an operation must end the run at once
// (a codec error, a crafted structure, a fatal limit) and caught once in main,
// which prints the text and discards every change the run made to the image.
#pragma once

#include <stdexcept>
#include <string>

namespace kitra {

struct Fatal : std::runtime_error {
    // `text` is printed exactly as given (include the line end it needs).
    explicit Fatal(std::string text, int exit_status = 1)
        : std::runtime_error(std::move(text)), status(exit_status) {}
    int status;
};

}  // namespace kitra
