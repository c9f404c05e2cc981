// The console: text out (standard output and the error stream), column moves
// for the listing's aligned fields, a single key press and a line of input.
// On a terminal (a Windows console) a column move is a cursor move; when
// standard output is a file or a pipe there is no cursor, so blanks are
// written up to the column (one blank when the text already reaches it) and
// the output stays readable. Text is UTF-8 bytes; what goes to a file or a
// pipe is the same bytes on every system.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "base/text.h"

namespace kitra::platform {

// The width the listing's columns are laid out for.
constexpr int kConsoleWidth = 80;

// A console whose `out` is null prints nothing (both streams): it reads a
// command line ahead without printing its messages twice.
struct Console {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    std::FILE* in = stdin;
    bool out_is_terminal = false;
    bool in_is_terminal = false;
    int column = 0;  // column of standard output's current line, as far as we wrote it
};

// A console on the process's standard streams.
Console standard_console();

void write(Console& con, std::string_view text);
void print(Console& con, const char* fmt, ...) KITRA_PRINTF_FORMAT(2, 3);
// Text on the error stream.
void print_error(Console& con, const char* fmt, ...) KITRA_PRINTF_FORMAT(2, 3);

void move_to_column(Console& con, int column);

// Puts what was written so far on the screen (or into the pipe) now.
void flush(Console& con);

// One key press without echo; std::nullopt at the end of input (a key that
// matches no choice).
std::optional<char> read_key(Console& con);
// One line without its line end; std::nullopt at the end of input.
std::optional<std::string> read_line(Console& con);

}  // namespace kitra::platform
