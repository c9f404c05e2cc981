// The console device on POSIX systems: a terminal takes ANSI cursor moves
// and is switched out of line mode for a single key.
#include <termios.h>
#include <unistd.h>

#include "platform/terminal.h"

namespace kitra::platform::terminal {

void set_up(Console& con) {
    con.out_is_terminal = isatty(fileno(con.out)) != 0;
    con.in_is_terminal = isatty(fileno(con.in)) != 0;
}

void write(Console& con, std::string_view text) {
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

void move_to_column(Console& con, int column) {
    std::fprintf(con.out, "\033[%dG", column + 1);  // cursor to column, same line
    con.column = column;
}

std::optional<char> read_key(Console& con) {
    const int fd = fileno(con.in);
    termios saved{};
    const bool raw = tcgetattr(fd, &saved) == 0;
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

// The terminal's own line editing shows what is typed.
std::optional<std::string> read_line(Console& con) {
    return read_stream_line(con.in);
}

}  // namespace kitra::platform::terminal
