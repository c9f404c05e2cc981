#include "regions/htinit_patcher.h"

#include <string_view>

#include "image/records.h"
#include "regions/bootblock_checksum.h"
#include "regions/bootblock_references.h"

namespace kitra::regions {

namespace {

constexpr std::string_view kHtInitEntry = "HTINITENTRYPOINT";
constexpr std::uint64_t kHtInitRecord = kHtInitEntry.size() + 4;

}  // namespace

void patch_htinit(const image::Editable& target, std::uint32_t entry_point) {
    const base::ByteView image = target.bytes();
    if (image.size() < image::kBaseWindowSize) return;
    const std::uint64_t window = image::base_window_start(image.size());
    const auto hit = find_record(image, window, kMainSearchPositions, kHtInitEntry, kHtInitRecord);
    if (!hit) return;
    const auto record = locate_bootblock_record(image, patcher_search_start(image));
    const ChecksummedWrites writes{target, record ? record->checksum : std::nullopt};
    writes.write_u32(*hit + kHtInitEntry.size(), entry_point);
}

}  // namespace kitra::regions
