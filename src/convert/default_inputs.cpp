#include "convert/default_inputs.h"

#include "cli/catalogue.h"
#include "codec/module_header.h"
#include "codec/packer.h"
#include "convert/acpi_tables.h"
#include "convert/bitmap_signature.h"
#include "convert/executable.h"
#include "convert/logo_bitmap.h"
#include "platform/files.h"

namespace kitra::convert {

namespace {

using base::Bytes;
using base::ByteView;
using cli::Default;
using platform::print;

std::string text(std::string_view s) {
    return std::string(s);
}

void print_combine(cli::Run& run, std::string_view name) {
    print(run.con, "Combine %s file to %s...\n", text(name).c_str(), run.settings.image_name.c_str());
}

// A built-in input, read no further than a module may hold (the name may
// lead to a device or a pipe); std::nullopt when it cannot be read or is
// larger.
std::optional<Bytes> read_input(cli::Run& run, std::string_view name) {
    auto read = run.read_file(text(name), codec::kMaxUnpackedSize);
    if (auto* bytes = std::get_if<Bytes>(&read)) return std::move(*bytes);
    return std::nullopt;
}

// A built-in input that is not there.
std::nullopt_t not_found(cli::Run& run, std::string_view name) {
    print(run.con, "Not found %s file !!!\n", text(name).c_str());
    return std::nullopt;
}

// An executable that is not there reports its own name; the line that would
// name the missing input is then left empty.
std::nullopt_t open_error(cli::Run& run, std::string_view name) {
    print(run.con, "%s file open error !!!\n", text(name).c_str());
    print(run.con, "\n");
    return std::nullopt;
}

// A prepared input is written where the build expects it before it is packed.
bool write_prepared(cli::Run& run, std::string_view name, const Bytes& bytes) {
    if (run.write_file(text(name), bytes, platform::LinkRule::kFollow).empty()) return true;
    print(run.con, "Can't write %s; nothing is added.\n", text(name).c_str());
    return false;
}

BuiltIn packed(cli::Run& run, ByteView input, std::string_view stored_name, std::string_view type_id_text,
               std::string_view combine_name) {
    BuiltIn b{text(stored_name), codec::pack(input, codec::PackMode::kCompress, stored_name, type_id_text,
                                             run.encoder(), run.report())};
    print_combine(run, combine_name);
    return b;
}

// A ready module from the library path goes in as it is; a file there that
// is no module would put foreign bytes into the chain.
std::optional<BuiltIn> ready_module(cli::Run& run, const Default& d) {
    std::optional<Bytes> file = read_input(run, d.name);
    if (!file) return not_found(run, d.name);
    if (!codec::has_module_mark(*file, 0)) {
        print(run.con, "%s is not a module; nothing is added.\n", text(d.name).c_str());
        return std::nullopt;
    }
    print_combine(run, d.name);
    return BuiltIn{text(d.name), std::move(*file)};
}

std::optional<BuiltIn> plain_file(cli::Run& run, const Default& d, std::string_view type_id_text) {
    const std::optional<Bytes> file = read_input(run, d.name);
    if (!file) return not_found(run, d.name);
    // An empty module would replace the one in the image with nothing.
    if (file->empty()) {
        print(run.con, "%s is empty; nothing is added.\n", text(d.name).c_str());
        return std::nullopt;
    }
    return packed(run, *file, d.prepared, type_id_text, d.prepared);
}

// The body of MORVAEPA.EXE may be a picture: it becomes an EPA logo with the
// logo flags byte taken as 0, packed as "MorvaBmp.bmp" and announced as
// "MORVAEPA.BIN". A refused picture adds nothing.
std::optional<BuiltIn> epa_bitmap(cli::Run& run, const Default& d, ByteView body,
                                  std::string_view type_id_text) {
    constexpr std::string_view kConvertedName = "MorvaBmp.bmp";
    BitmapSettings settings;
    settings.no_reserve = run.settings.no_reserve;
    settings.signature =
        signature_for(run.image.bytes(), run.layout, codec::parse_type_id_text(type_id_text).id);
    auto bitmap = convert_bitmap(cli::Bitmap::kEpa, body, d.prepared, settings);
    if (const auto* refusal = std::get_if<std::string>(&bitmap)) {
        platform::write(run.con, *refusal);
        return std::nullopt;
    }
    return packed(run, std::get<Bytes>(bitmap), kConvertedName, type_id_text, d.prepared);
}

// An executable whose body is what the firmware needs (microcode, the EPA
// logo, the HPC code). An executable that has no body gives nothing, and its
// ".BIN" is left as it was: an empty module would replace the one in the
// image with nothing.
std::optional<BuiltIn> executable(cli::Run& run, const Default& d, std::string_view type_id_text) {
    const std::optional<Bytes> exe = read_input(run, d.name);
    if (!exe) return open_error(run, d.name);
    const ByteView body = is_executable(*exe) ? executable_body(*exe) : ByteView{};
    if (body.empty()) {
        print(run.con, "%s is no \"MZ\" executable with a body; nothing is added and %s is left as it was.\n",
              text(d.name).c_str(), text(d.prepared).c_str());
        return std::nullopt;
    }
    if (!write_prepared(run, d.prepared, Bytes(body.begin(), body.end()))) return std::nullopt;
    if (d.bitmap_body && base::matches(body, 0, "BM")) return epa_bitmap(run, d, body, type_id_text);
    return packed(run, body, d.prepared, type_id_text, d.prepared);
}

// The table module: a body with the DSDT behind it, joined in memory. A
// body built from "ACPITBL.EXE" is limited to 32 KiB; the joined input is
// then written afresh as "ACPITBL.BIN" (`write_back`). An existing
// "ACPITBL.BIN" used as the body is never appended to.
std::optional<BuiltIn> acpi_table(cli::Run& run, const Default& d, ByteView body, std::string_view body_name,
                                  bool limited_body, bool write_back, std::string_view type_id_text) {
    const std::optional<Bytes> dsdt = read_input(run, acpi::kDsdtFile);
    const AcpiJoin join = join_acpi_table(body, dsdt, limited_body);
    switch (join.problem) {
        case AcpiJoinProblem::kBodyTooLarge:
            print(run.con, "The table body of %s has %zu bytes, more than %llu; nothing is added.\n",
                  text(body_name).c_str(), body.size(), static_cast<unsigned long long>(acpi::kMaxBody));
            return std::nullopt;
        case AcpiJoinProblem::kTooLarge:
            print(run.con, "%s with %s behind it has %zu bytes, more than %llu; nothing is added.\n",
                  text(body_name).c_str(), text(acpi::kDsdtFile).c_str(),
                  body.size() + (dsdt ? dsdt->size() : 0), static_cast<unsigned long long>(acpi::kMaxJoin));
            return std::nullopt;
        case AcpiJoinProblem::kNone:
            break;
    }
    // An empty module would replace the tables in the image with nothing.
    if (join.table.empty() || (limited_body && body.empty())) {
        print(run.con, "%s holds no table body; nothing is added.\n", text(body_name).c_str());
        return std::nullopt;
    }
    if (write_back && !write_prepared(run, d.prepared, join.table)) return std::nullopt;
    return packed(run, join.table, d.prepared, type_id_text, d.prepared);
}

std::optional<BuiltIn> acpi_join(cli::Run& run, const Default& d, std::string_view type_id_text) {
    const std::optional<Bytes> body = read_input(run, d.name);
    if (!body) return not_found(run, d.name);
    return acpi_table(run, d, *body, d.name, false, false, type_id_text);
}

// "ACPITBL.EXE": its body, or, when it is no executable, the "ACPITBL.BIN"
// already there; either way at most 32 KiB, with the DSDT behind it.
std::optional<BuiltIn> acpi_executable(cli::Run& run, const Default& d, std::string_view type_id_text) {
    const std::optional<Bytes> exe = read_input(run, d.name);
    if (!exe) return open_error(run, d.name);
    if (exe->empty()) {
        print(run.con, "%s is empty; nothing is added.\n", text(d.name).c_str());
        return std::nullopt;
    }
    if (is_executable(*exe))
        return acpi_table(run, d, executable_body(*exe), d.name, true, true, type_id_text);
    const std::optional<Bytes> body = read_input(run, d.prepared);
    if (!body) {
        print(run.con, "%s is no \"MZ\" executable and %s can't be read; nothing is added.\n",
              text(d.name).c_str(), text(d.prepared).c_str());
        return std::nullopt;
    }
    return acpi_table(run, d, *body, d.prepared, true, false, type_id_text);
}

}  // namespace

std::optional<BuiltIn> take_default_input(cli::Run& run, int code, std::string_view type_id_text) {
    const Default d = cli::default_input(code);
    switch (d.input) {
        case cli::DefaultInput::kNone:
            break;
        case cli::DefaultInput::kReadyModule:
            return ready_module(run, d);
        case cli::DefaultInput::kFile:
            return plain_file(run, d, type_id_text);
        case cli::DefaultInput::kExecutable:
            return executable(run, d, type_id_text);
        case cli::DefaultInput::kAcpiJoin:
            return acpi_join(run, d, type_id_text);
        case cli::DefaultInput::kAcpiExecutable:
            return acpi_executable(run, d, type_id_text);
    }
    return std::nullopt;
}

}  // namespace kitra::convert
