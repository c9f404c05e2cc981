#include "platform/console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/text.h"
#include "support/scratch_file.h"

namespace kitra::platform {
namespace {

struct Captured {
    Console con;
    Captured() {
        con.out = testing::scratch_file();
        con.err = con.out;
    }
    ~Captured() { std::fclose(con.out); }
    std::string text() { return testing::scratch_contents(con.out); }
};

TEST(Console, ColumnMovesPadWithBlanksWhenNotATerminal) {
    Captured c;
    write(c.con, "ab");
    move_to_column(c.con, 5);
    write(c.con, "x\nlong text");
    move_to_column(c.con, 4);  // already past: one blank
    write(c.con, "y");
    EXPECT_EQ(c.text(), "ab   x\nlong text y");
}

TEST(Console, KeyAndLineInputAtEndOfInput) {
    Console con;
    con.in = testing::scratch_file();
    std::fputs("k\nname\n", con.in);
    std::rewind(con.in);
    con.out = testing::scratch_file();
    EXPECT_EQ(read_key(con), 'k');
    EXPECT_EQ(read_line(con), "");  // the rest of the line after the key
    EXPECT_EQ(read_line(con), "name");
    EXPECT_EQ(read_line(con), std::nullopt);
    EXPECT_EQ(read_key(con), std::nullopt);
    std::fclose(con.in);
    std::fclose(con.out);
}

TEST(Console, EscapeFromImageTextIsShownAsQuestionMark) {
    EXPECT_EQ(base::printable("a\x1b[2Jb"), "a?[2Jb");
}

}  // namespace
}  // namespace kitra::platform

namespace kitra::platform {
namespace {

TEST(Console, OnATerminalColumnsAreCursorMovesAndRowsEndAt80Columns) {
    Captured c;
    c.con.out_is_terminal = true;
    write(c.con, std::string(80, '='));
    write(c.con, "ab");
    move_to_column(c.con, 40);
    write(c.con, "x");
#ifdef _WIN32
    // A stream taken for a console that is none: the text still arrives, a
    // column move as a blank.
    EXPECT_EQ(c.text(), std::string(80, '=') + "\nab x");
#else
    EXPECT_EQ(c.text(), std::string(80, '=') + "\nab\033[41Gx");
#endif
    EXPECT_EQ(c.con.column, 41);
}

}  // namespace
}  // namespace kitra::platform
