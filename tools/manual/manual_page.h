// The manual page of kitra, made from the catalogue when the tool is built,
// so that its list of options can never disagree with the code: each
// option's name, what it adds (read from its kind) and its type ID. One
// document, written out as a roff man page (kitra.1) and as plain text (the
// manual in the Windows package).
#pragma once

#include <string>
#include <vector>

namespace kitra::manual {

struct Block {
    enum class Form { kParagraph, kTagged, kExample };
    Form form = Form::kParagraph;
    std::string tag;   // kTagged: the word the paragraph explains
    std::string text;  // kParagraph, kTagged: running text; kExample: lines kept as they are
};

struct Section {
    std::string title;
    std::vector<Block> blocks;
};

struct Document {
    std::string name;     // "kitra"
    std::string version;  // "1.99"
    std::string summary;  // the NAME line after the dash
    std::vector<Section> sections;
};

// What one option adds, read from its catalogue entry.
std::string describe_option(int code);

// The whole manual of this version of kitra.
Document kitra_manual(const std::string& version);

// As a man page: roff with the man macros.
std::string to_roff(const Document& doc);

// As plain text, wrapped at 78 columns, with "\n" line ends.
std::string to_text(const Document& doc);

}  // namespace kitra::manual
