// Text documents laid out for the firmware: exact bytes for the small cases,
// the filler and encoded offsets across 0x10000, the cut below 0x20000.
#include "convert/mib_document.h"

#include <string>
#include <vector>

#include "convert/tool_fixture.h"

namespace kitra::convert {
namespace {

using base::Bytes;

Bytes doc_of(const std::string& text) {
    return mib_document(base::view_of(text));
}

// The whole document: header, `text` (the laid-out lines), and the table.
Bytes expected(const std::string& text, const std::vector<std::uint32_t>& lines) {
    Bytes d = {'-',  'M',  'I',  'B',  '-',  0x0B, 0x0C, 0x01, 0x00,
               0x03, 0x01, 0x04, 0x4E, 0x17, 0x05, 0x01, 0x04, 0x00};
    const auto t = static_cast<std::uint32_t>(22 + text.size());
    const auto e = static_cast<std::uint32_t>(t + 2 * lines.size());
    for (const std::uint32_t v : {t, e}) d.insert(d.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    d.insert(d.end(), text.begin(), text.end());
    for (const std::uint32_t v : lines) d.insert(d.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    return d;
}

std::string z(int n) {
    return std::string(static_cast<std::size_t>(n), '\0');
}

TEST(MibDocument, SmallTextsAreLaidOutByteForByte) {
    // Letters at 22 and 23, filler at 24, the line's zero at 25, table at 26.
    EXPECT_EQ(doc_of("AB\n"), expected("AB" + z(2), {22}));
    EXPECT_EQ(doc_of("A\n\nB\n"), expected("A" + z(1) + z(2) + "B" + z(1), {22, 24, 26}));
    // A last line without a line feed is closed and kept; the table still
    // starts at an even offset.
    EXPECT_EQ(doc_of("AB"), expected("AB" + z(2), {22}));
    EXPECT_EQ(doc_of("ABC"), expected("ABC" + z(1), {22}));
    // 0xFF ends the text; an empty text is a document without lines.
    EXPECT_EQ(doc_of("A\n\xFF"
                     "B\n"),
              expected("A" + z(1), {22}));
    EXPECT_EQ(doc_of(""), expected("", {}));
    // Carriage returns and bytes 0x80-0xFE are text like any other.
    EXPECT_EQ(doc_of("\x80\r\n"), expected("\x80\r" + z(2), {22}));
}

TEST(MibDocument, LongLinesWrapAt78AndTabsStopAtMultiplesOf8) {
    const std::string x100(100, 'x');
    EXPECT_EQ(doc_of(x100 + "\n"), expected(x100.substr(0, 78) + z(2) + x100.substr(78) + z(2), {22, 102}));
    EXPECT_EQ(doc_of("a\tb\n"), expected("a       b" + z(1), {22}));
    // A tab that meets the wrap goes on to the next stop of the new line.
    EXPECT_EQ(doc_of(std::string(72, 'x') + "\ty"),
              expected(std::string(72, 'x') + std::string(6, ' ') + z(2) + std::string(8, ' ') + "y" + z(1),
                       {22, 102}));
}

// Lines of 77 letters: 78 bytes each, from offset 22.
std::string lines_of_77(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += std::string(77, 'x') + "\n";
    return text;
}

std::uint32_t stored_u16(const Bytes& d, std::uint64_t offset) {
    return base::read_u16(d, offset);
}

TEST(MibDocument, TextCrossing64KiBHasAFillerAndCarriesBit16InBit0) {
    const Bytes d = doc_of(lines_of_77(900));
    // Line 839 starts at 65464 and holds 0xFFFF: a zero filler there, its
    // letters go on at 0x10000, and line 840 starts at 0x10008.
    EXPECT_EQ(d[0xFFFE], 'x');
    EXPECT_EQ(d[0xFFFF], 0);
    EXPECT_EQ(d[0x10000], 'x');
    const std::uint32_t t = 22 + 78 * 900 + 2;
    EXPECT_EQ(d.size(), t + 2 * 900);
    EXPECT_EQ(stored_u16(d, 18), (t & 0xFFFE) | 1);
    EXPECT_EQ(stored_u16(d, 20), (d.size() & 0xFFFE) | 1);
    EXPECT_EQ(stored_u16(d, t + 2 * 839), 65464u);
    EXPECT_EQ(stored_u16(d, t + 2 * 840), 0x0009u);
    EXPECT_EQ(decode_mib_offset(0x0009), 0x10008u);
    EXPECT_EQ(encode_mib_offset(0x10008), 0x0009u);
}

TEST(MibDocument, LongTextIsCutSoTheDocumentEndsBelow128KiB) {
    // 200 KiB of text: 1638 whole lines (one of them 80 bytes with its
    // filler) and 3 letters of the next fit; the last line is closed, and the
    // document ends at 131070: one more letter would take it to 0x20000.
    const Bytes d = doc_of(lines_of_77(2700));
    ASSERT_EQ(d.size(), 131070u);
    const std::uint32_t t = 22 + 78 * 1638 + 2 + 4;
    EXPECT_EQ(decode_mib_offset(static_cast<std::uint16_t>(stored_u16(d, 18))), t);
    EXPECT_EQ(decode_mib_offset(static_cast<std::uint16_t>(stored_u16(d, 20))), d.size());
    EXPECT_EQ(std::string(d.begin() + t - 6, d.begin() + t), "x" + z(1) + "xxx" + z(1));
    EXPECT_EQ(decode_mib_offset(static_cast<std::uint16_t>(stored_u16(d, d.size() - 2))), t - 4);
}

TEST(MibDocument, AnyFileAddedWithMibBecomesADocumentUnderItsOwnName) {
    // Neither a bitmap's nor an executable's first bytes change that.
    testing::ToolFixture f;
    f.write("BM.txt", base::Bytes{'B', 'M', '\n'});
    f.write("MZ.txt", base::Bytes{'M', 'Z', '\n', 'A', 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(f.run({"/mib", "BM.txt"}).out, "Adding BM.txt  100.0%\n");
    EXPECT_EQ(f.modules(), (std::vector<testing::Module>{{"BM.txt", 0x400F, expected("BM" + z(2), {22})}}));
    EXPECT_EQ(f.run({"/mib", "MZ.txt"}).out, "Adding MZ.txt  97.5%\n");
    EXPECT_EQ(
        f.modules(),
        (std::vector<testing::Module>{{"MZ.txt", 0x400F, expected("MZ" + z(2) + "A" + z(9), {22, 26})}}));
}

}  // namespace
}  // namespace kitra::convert
