#include "platform/console.h"

#include <cstdarg>
#include <vector>

#include "platform/terminal.h"

namespace kitra::platform {

namespace {

std::string vformat(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (needed <= 0) return {};
    std::vector<char> buffer(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), fmt, args);
    return std::string(buffer.data(), static_cast<std::size_t>(needed));
}

}  // namespace

Console standard_console() {
    Console con;
    terminal::set_up(con);
    return con;
}

void write(Console& con, std::string_view text) {
    if (text.empty() || con.out == nullptr) return;
    if (con.out_is_terminal) {
        terminal::write(con, text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), con.out);
    for (char c : text) con.column = (c == '\n' || c == '\r') ? 0 : con.column + 1;
}

void print(Console& con, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const std::string text = vformat(fmt, args);
    va_end(args);
    write(con, text);
}

void print_error(Console& con, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const std::string text = vformat(fmt, args);
    va_end(args);
    if (con.out == nullptr) return;
    std::fflush(con.out);  // keep the two streams in the order they were written
    std::fwrite(text.data(), 1, text.size(), con.err);
    std::fflush(con.err);
}

void move_to_column(Console& con, int column) {
    if (con.out == nullptr) return;
    if (con.out_is_terminal) {
        terminal::move_to_column(con, column);
        return;
    }
    if (con.column < column)
        write(con, std::string(static_cast<std::size_t>(column - con.column), ' '));
    else
        write(con, " ");
}

void flush(Console& con) {
    if (con.out != nullptr) std::fflush(con.out);
}

std::optional<char> read_key(Console& con) {
    flush(con);
    if (con.in_is_terminal) return terminal::read_key(con);
    const int c = std::fgetc(con.in);
    if (c == EOF) return std::nullopt;
    return static_cast<char>(c);
}

std::optional<std::string> read_line(Console& con) {
    flush(con);
    std::optional<std::string> line =
        con.in_is_terminal ? terminal::read_line(con) : terminal::read_stream_line(con.in);
    // The user's answer ended the line on the terminal.
    if (line) con.column = 0;
    return line;
}

namespace terminal {

std::optional<std::string> read_stream_line(std::FILE* in) {
    std::string line;
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(in)) != EOF) {
        any = true;
        if (c == '\n') break;
        line.push_back(static_cast<char>(c));
    }
    if (!any) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace terminal

}  // namespace kitra::platform
