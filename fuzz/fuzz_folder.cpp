// The image as a folder, on arbitrary images and in memory (the folder's
// files never leave the process): the image is unpacked and packed back
// from the untouched files, which must give the image byte for byte (any
// other result is a finding, and so is a Fatal escaping either way). Then
// one part of the folder changes as the input's last byte says (a module's
// file gone or grown, the body grown, a byte of a region flipped) and it is
// packed again: refusals and stops are fine, reading or writing outside a
// buffer is not.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>

#include "app/held_image.h"
#include "base/bytes.h"
#include "base/fatal.h"
#include "cli/run_state.h"
#include "folder/pack.h"
#include "folder/unpack.h"
#include "image/layout.h"
#include "regions/finishing.h"

namespace {

using kitra::base::Bytes;

// Small inputs unpack to little: a module that claims more than this in all
// is not unpacked (its file holds its data as they lie), so that an input
// runs in well under a second.
constexpr std::uint64_t kUnpackBudget = 16u << 20;

// Packs `files` as --pack does; the image made, or none when it was refused.
std::optional<Bytes> pack(const std::map<std::string, Bytes>& files) {
    using namespace kitra;
    platform::Console quiet;
    quiet.out = nullptr;
    quiet.err = nullptr;
    std::optional<cli::Run> run;
    const std::string name = "fuzz.bin";
    const cli::ImageStart start{name, quiet, [&](Bytes bytes) -> cli::Run* {
                                    const auto found = image::discover_layout(bytes, 0, false);
                                    const auto* layout = std::get_if<image::Layout>(&found);
                                    if (layout == nullptr || bytes.size() < image::kMinimumImageSize)
                                        return nullptr;
                                    run.emplace(cli::Settings{}, image::Image(name, std::move(bytes)),
                                                *layout, quiet);
                                    return &*run;
                                }};
    const auto read = [&](const std::string& file, std::uint64_t max_size) -> folder::FolderRead {
        const auto it = files.find(file);
        if (it == files.end()) return {};
        if (it->second.size() > max_size) return {std::nullopt, "too large"};
        return {it->second, {}};
    };
    if (folder::pack_files(start, "d", read) != 0 || !run) return std::nullopt;
    if (app::needs_finishing(*run)) regions::finish_image(*run);
    return run->image.bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kitra;
    // Small inputs are placed at the start of a 128 KiB erased image so that
    // the fuzzer reaches the structures without having to grow its inputs.
    Bytes bytes(std::max<std::size_t>(size, 0x20000), 0xFF);
    std::copy(data, data + size, bytes.begin());
    const auto found = image::discover_layout(bytes, 0, false);
    const auto* layout = std::get_if<image::Layout>(&found);
    if (layout == nullptr) return 0;
    const folder::Unpacked unpacked = folder::unpack_image("fuzz.bin", bytes, *layout, kUnpackBudget);
    std::map<std::string, Bytes> files;
    for (const folder::FolderFile& f : unpacked.files) files[f.name] = f.bytes;
    if (pack(files) != bytes) std::abort();  // an untouched folder is the image again

    if (size == 0) return 0;
    const std::uint8_t choice = data[size - 1];
    const folder::Manifest& m = unpacked.manifest;
    if (choice % 4 == 0 && !m.modules.empty()) files.erase(m.modules[choice / 4 % m.modules.size()].file);
    if (choice % 4 == 1 && !m.modules.empty())
        files[m.modules[choice / 4 % m.modules.size()].file].push_back(choice);
    if (choice % 4 == 2 && m.body)
        files[m.body->file].resize(files[m.body->file].size() + 0x100 * choice, 0x5A);
    if (choice % 4 == 3)
        for (const folder::RegionEntry& r : m.regions)
            if (r.file) {
                files[*r.file][choice % r.length] ^= 0xFF;
                break;
            }
    try {
        (void)pack(files);
    } catch (const Fatal&) {
        // A stop of the legacy rules (a FixupDescriptor table it cannot patch ...).
    }
    return 0;
}
