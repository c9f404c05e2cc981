#include "convert/mib_document.h"

#include <vector>

namespace kitra::convert {

namespace {

constexpr std::uint8_t kEndOfText = 0xFF;
constexpr std::uint32_t kSegmentLast = 0xFFFF;  // low 16 bits of the offsets that hold a filler

constexpr std::uint32_t even_up(std::uint32_t offset) {
    return offset + (offset & 1);
}

// The document as it grows. `lines` holds the start of every line begun so
// far, the current one last; `column` counts the characters of the current
// line.
class Layout {
  public:
    Layout() : doc_(mib::kText, 0x00) {}

    // A character of a line; false when it would no longer fit, together
    // with its line's closing bytes and the table, below the limit.
    bool put_character(std::uint8_t c) {
        if (column_ == mib::kLineWidth) close_line();
        std::uint32_t at = offset();
        if ((at & kSegmentLast) == kSegmentLast) ++at;  // a filler goes first
        if (even_up(at + 2) + table_size() >= mib::kLimit) return false;
        if (at != offset()) doc_.push_back(0x00);
        doc_.push_back(c);
        ++column_;
        return true;
    }

    // A line feed: the line ends with its zero byte at an odd offset (a
    // zero goes before it when needed), and the next one starts. An empty
    // line costs two bytes and a table entry, so it is measured too.
    bool put_line_feed() {
        if (column_ == 0 && even_up(offset() + 1) + table_size() >= mib::kLimit) return false;
        close_line();
        return true;
    }

    unsigned column() const { return column_; }

    // The text closed and the table behind it.
    base::Bytes finish() && {
        // The last line is closed unless its last byte already is a zero. Its
        // end is made even as well: the header keeps the table's start in an
        // encoded offset, which has no room for an odd one.
        if (offset() > mib::kText && doc_.back() != 0x00) doc_.push_back(0x00);
        if (offset() % 2 != 0) doc_.push_back(0x00);
        // A line begun after the final line feed (or a wrap) and never given
        // text is no line of the document.
        if (column_ == 0) lines_.pop_back();

        const std::uint32_t text_end = offset();
        for (const std::uint32_t start : lines_) {
            const std::uint16_t v = encode_mib_offset(start);
            doc_.push_back(static_cast<std::uint8_t>(v));
            doc_.push_back(static_cast<std::uint8_t>(v >> 8));
        }
        base::copy_into(doc_, 0, base::view_of(mib::kMark));
        base::copy_into(doc_, mib::kFixedBytes, mib::kFixed);
        base::write_u16(doc_, mib::kTextEnd, encode_mib_offset(text_end));
        base::write_u16(doc_, mib::kTableEnd, encode_mib_offset(offset()));
        return std::move(doc_);
    }

  private:
    std::uint32_t offset() const { return static_cast<std::uint32_t>(doc_.size()); }
    std::uint32_t table_size() const { return static_cast<std::uint32_t>(2 * lines_.size()); }

    // Ends the current line with a zero byte that leaves the next line on an
    // even offset, and begins the next line.
    void close_line() {
        doc_.push_back(0x00);
        if (offset() % 2 != 0) doc_.push_back(0x00);
        lines_.push_back(offset());
        column_ = 0;
    }

    base::Bytes doc_;
    std::vector<std::uint32_t> lines_{mib::kText};
    unsigned column_ = 0;
};

}  // namespace

std::uint16_t encode_mib_offset(std::uint32_t offset) {
    return static_cast<std::uint16_t>((offset & 0xFFFE) | (offset >= 0x10000 ? 1 : 0));
}

std::uint32_t decode_mib_offset(std::uint16_t stored) {
    return (stored & 0xFFFEu) + 0x10000u * (stored & 1u);
}

base::Bytes mib_document(base::ByteView text) {
    Layout doc;
    for (const std::uint8_t c : text) {
        if (c == kEndOfText) break;
        bool kept = true;
        if (c == '\n') {
            kept = doc.put_line_feed();
        } else if (c == '\t') {
            // Spaces up to the next tab stop; a wrap on the way starts the
            // count again on the new line.
            do kept = doc.put_character(' ');
            while (kept && doc.column() % mib::kTabWidth != 0);
        } else {
            kept = doc.put_character(c);
        }
        if (!kept) break;  // the rest of the text is dropped
    }
    return std::move(doc).finish();
}

}  // namespace kitra::convert
