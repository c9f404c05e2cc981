// The console device on Windows. A console takes UTF-16 text (WriteConsoleW),
// so names typed in any code page show as they were typed; its cursor is
// placed with SetConsoleCursorPosition. Files and pipes get the bytes as they
// are written, in binary mode: "\n" stays "\n", as on Linux.
#include <conio.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>

#include "platform/terminal.h"
#include "platform/windows_api.h"

namespace kitra::platform::terminal {

namespace {

HANDLE handle_of(std::FILE* stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

bool is_console(std::FILE* stream) {
    DWORD mode = 0;
    return stream != nullptr && GetConsoleMode(handle_of(stream), &mode) != 0;
}

// True when the text reached the console; false when `out` is no console
// after all (the caller then writes the bytes).
bool put_wide(HANDLE out, std::string_view utf8) {
    const std::wstring text = wide(utf8);
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 8192));
        if (WriteConsoleW(out, text.data() + done, want, &written, nullptr) == 0 || written == 0)
            return false;
        done += written;
    }
    return true;
}

// The console's own wrap: has the cursor already gone to the next row?
bool at_row_start(HANDLE out) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    return GetConsoleScreenBufferInfo(out, &info) != 0 && info.dwCursorPosition.X == 0;
}

// Ctrl-C typed as a key (a console read without processed input gets it
// as the byte 3) ends the run as Ctrl-C does everywhere else: the image is
// not yet written, so it stays as it was.
constexpr int kCtrlC = 3;
[[noreturn]] void stop_as_ctrl_c() {
    ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

}  // namespace

void set_up(Console& con) {
    // Binary mode: no "\r" is added before "\n" and no byte is taken for an
    // end of file, in anything the tool writes or reads on these streams.
    for (std::FILE* stream : {stdin, stdout, stderr}) (void)_setmode(_fileno(stream), _O_BINARY);
    con.out_is_terminal = is_console(con.out);
    con.in_is_terminal = is_console(con.in);
}

void write(Console& con, std::string_view text) {
    std::fflush(con.out);
    const HANDLE out = handle_of(con.out);
    // The listing's lines are laid out for an 80-column console, where a line
    // of 80 characters ends the row (the rule under the column heads has no
    // line end of its own). A console that wraps at its last column has
    // already gone to the next row; a wider one is sent to it. Columns count
    // characters, not the bytes of their UTF-8 form.
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((static_cast<unsigned char>(c) & 0xC0) == 0x80) continue;  // inside a character
        con.column = (c == '\n' || c == '\r') ? 0 : con.column + 1;
        if (con.column != kConsoleWidth) continue;
        std::size_t end = i + 1;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
        const std::string_view row = text.substr(start, end - start);
        if (!put_wide(out, row)) std::fwrite(row.data(), 1, row.size(), con.out);
        if (!at_row_start(out) && !put_wide(out, "\n")) std::fputc('\n', con.out);
        con.column = 0;
        start = end;
        i = end - 1;
    }
    const std::string_view rest = text.substr(start);
    if (!rest.empty() && !put_wide(out, rest)) std::fwrite(rest.data(), 1, rest.size(), con.out);
}

void move_to_column(Console& con, int column) {
    std::fflush(con.out);
    const HANDLE out = handle_of(con.out);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(out, &info) != 0) {
        COORD to = info.dwCursorPosition;
        to.X = static_cast<SHORT>(std::min<int>(column, info.dwSize.X - 1));
        SetConsoleCursorPosition(out, to);
    } else {
        std::fputc(' ', con.out);
    }
    con.column = column;
}

std::optional<char> read_key(Console& /*con*/) {
    const int c = _getch();
    if (c == kCtrlC) stop_as_ctrl_c();
    // A function or arrow key comes as two codes; it matches no choice.
    if (c == 0 || c == 0xE0) {
        (void)_getch();
        return '\0';
    }
    return static_cast<char>(c);
}

std::optional<std::string> read_line(Console& con) {
    const HANDLE in = handle_of(con.in);
    std::wstring line;
    for (;;) {
        wchar_t piece[256];
        DWORD got = 0;
        if (ReadConsoleW(in, piece, 256, &got, nullptr) == 0) return std::nullopt;
        if (got == 0) break;
        line.append(piece, got);
        if (line.back() == L'\n') break;
    }
    // Ctrl-Z at the start of a line is the console's end of input.
    if (line.empty() || line.front() == L'\x1A') return std::nullopt;
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    return narrow(line);
}

}  // namespace kitra::platform::terminal
