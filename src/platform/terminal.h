// The console device behind platform/console.h, the part that differs from
// one operating system to the other: whether a standard stream is a
// terminal, text and cursor moves on it, and a key or a line typed on it.
// console.cpp keeps everything that is the same on every system and calls
// these only when the stream is a terminal.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "platform/console.h"

namespace kitra::platform::terminal {

// Sets up the process's standard streams (bytes go out as they are written)
// and tells which of them are terminals.
void set_up(Console& con);

// `text` on the terminal `con.out`; `con.column` follows it.
void write(Console& con, std::string_view text);

// The cursor to `column` of the current row.
void move_to_column(Console& con, int column);

// One key typed on the terminal `con.in`, without echo.
std::optional<char> read_key(Console& con);

// One line typed on the terminal `con.in`, without its line end.
std::optional<std::string> read_line(Console& con);

// One line of a stream that is not a terminal (a file or a pipe).
std::optional<std::string> read_stream_line(std::FILE* in);

}  // namespace kitra::platform::terminal
