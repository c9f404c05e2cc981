#include "microcode/update_inputs.h"

#include "base/text.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "convert/microcode_dat.h"

namespace kitra::microcode {

namespace {

using base::Bytes;
using base::ByteView;

enum class Form { kBinary, kDat, kModule };

}  // namespace

std::variant<std::vector<InputUpdate>, std::string> read_input_updates(const std::string& name,
                                                                       ByteView contents,
                                                                       const codec::Report& report) {
    const std::string shown = base::printable(name);
    Form form = Form::kBinary;
    Bytes updates;
    convert::DatWords dat;
    if (codec::has_module_mark(contents, 0)) {
        form = Form::kModule;
        const auto m = codec::module_at(contents, 0);
        if (!m)
            return base::format(
                "%s is not a complete module: its header or data reach past the end of the file.\n",
                shown.c_str());
        auto unpacked = codec::unpack(contents.first(m->length()), report);
        if (!unpacked) return base::format("The module in %s cannot be unpacked.\n", shown.c_str());
        updates = std::move(*unpacked);
    } else if (convert::is_dat_text(contents)) {
        form = Form::kDat;
        auto read = convert::read_dat(contents);
        if (const auto* problem = std::get_if<std::string>(&read))
            return base::format("%s: %s.\n", shown.c_str(), problem->c_str());
        dat = std::move(std::get<convert::DatWords>(read));
        updates = dat.bytes;
    } else {
        updates.assign(contents.begin(), contents.end());
    }
    if (updates.empty()) return base::format("%s holds no update.\n", shown.c_str());

    auto read = convert::read_update_file(updates);
    if (const auto* problem = std::get_if<convert::UpdateFileProblem>(&read)) {
        std::string where =
            base::format("the update at offset %llXh", static_cast<unsigned long long>(problem->offset));
        if (form == Form::kDat) where += base::format(" (line %u)", dat.line_at(problem->offset));
        if (form == Form::kModule) where += " of the module's contents";
        return base::format("%s: %s is refused: %s.\n", shown.c_str(), where.c_str(),
                            problem->reason.c_str());
    }
    std::vector<InputUpdate> out;
    for (convert::Update& u : std::get<std::vector<convert::Update>>(read)) {
        const ByteView whole = base::slice(ByteView(updates), u.offset, u.size);
        out.push_back({name, std::move(u), Bytes(whole.begin(), whole.end())});
    }
    return out;
}

}  // namespace kitra::microcode
