#include "platform/console.h"

#include <termios.h>
#include <unistd.h>

#include <cstdarg>
#include <vector>

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
    con.out_is_terminal = isatty(fileno(stdout)) != 0;
    con.in_is_terminal = isatty(fileno(stdin)) != 0;
    return con;
}

void write(Console& con, std::string_view text) {
    if (text.empty() || con.out == nullptr) return;
    if (!con.out_is_terminal) {
        std::fwrite(text.data(), 1, text.size(), con.out);
        for (char c : text) con.column = (c == '\n' || c == '\r') ? 0 : con.column + 1;
        return;
    }
    // The listing's lines are laid out for an 80-column console, where a line
    // of 80 characters ends the row (the rule under the column heads has no
    // line end of its own). A wider terminal would go on in the same row and
    // the column moves would then land inside it, so the row is ended here.
    for (char c : text) {
        std::fputc(c, con.out);
        con.column = (c == '\n' || c == '\r') ? 0 : con.column + 1;
        if (con.column == kConsoleWidth) {
            std::fputc('\n', con.out);
            con.column = 0;
        }
    }
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
        std::fprintf(con.out, "\033[%dG", column + 1);  // cursor to column, same line
        con.column = column;
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
    std::fflush(con.out);
    const int fd = fileno(con.in);
    termios saved{};
    const bool raw = con.in_is_terminal && tcgetattr(fd, &saved) == 0;
    if (raw) {
        termios t = saved;
        t.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &t);
    }
    const int c = std::fgetc(con.in);
    if (raw) tcsetattr(fd, TCSANOW, &saved);
    if (c == EOF) return std::nullopt;
    return static_cast<char>(c);
}

std::optional<std::string> read_line(Console& con) {
    std::fflush(con.out);
    std::string line;
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(con.in)) != EOF) {
        any = true;
        if (c == '\n') break;
        line.push_back(static_cast<char>(c));
    }
    if (!any) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // The user's answer ended the line on the terminal.
    con.column = 0;
    return line;
}

}  // namespace kitra::platform
