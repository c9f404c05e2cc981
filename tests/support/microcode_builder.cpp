#include "support/microcode_builder.h"

#include "base/text.h"
#include "support/image_builder.h"

namespace kitra::testing {

using base::Bytes;
using base::read_u32;
using base::write_u32;

namespace {

std::uint32_t word_sum(const Bytes& b, std::size_t from, std::size_t to) {
    std::uint32_t sum = 0;
    for (std::size_t at = from; at < to; at += 4) sum += read_u32(b, at);
    return sum;
}

}  // namespace

Bytes intel_update(const IntelUpdateFields& s) {
    const std::size_t table = s.extended.empty() ? 0 : 20 + 12 * s.extended.size();
    const std::size_t total = s.old_form ? 2048 : s.total_size;
    const std::size_t data = total - 48 - table;
    Bytes u = pseudo_random_bytes(total, s.seed * 7919 + s.revision);
    const std::uint32_t header[12] = {1,
                                      s.revision,
                                      s.date,
                                      s.cpuid,
                                      0,
                                      1,
                                      s.platform_mask,
                                      s.old_form ? 0 : static_cast<std::uint32_t>(data),
                                      s.old_form ? 0 : static_cast<std::uint32_t>(total),
                                      0,
                                      0,
                                      0};
    for (std::size_t i = 0; i < 12; ++i) write_u32(u, i * 4, header[i]);
    const std::uint32_t checksum = 0u - word_sum(u, 0, 48 + data);
    write_u32(u, 16, checksum);
    if (table != 0) {
        const std::size_t t = 48 + data;
        write_u32(u, t, static_cast<std::uint32_t>(s.extended.size()));
        write_u32(u, t + 4, 0);
        for (std::size_t i = 8; i < 20; i += 4) write_u32(u, t + i, 0);
        for (std::size_t i = 0; i < s.extended.size(); ++i) {
            const std::size_t e = t + 20 + 12 * i;
            write_u32(u, e, s.extended[i].cpuid);
            write_u32(u, e + 4, s.extended[i].platform_mask);
            write_u32(
                u, e + 8,
                s.cpuid + s.platform_mask + checksum - s.extended[i].cpuid - s.extended[i].platform_mask);
        }
        write_u32(u, t + 4, 0u - word_sum(u, t, total));
    }
    return u;
}

Bytes amd_patch(std::uint32_t patch_id, std::uint32_t processor_revision, std::uint32_t north,
                std::uint32_t south) {
    Bytes p = pseudo_random_bytes(2048, patch_id ^ processor_revision);
    const std::uint32_t header[8] = {0x20100315, patch_id, 0x8001, 0, north, south, processor_revision, 0};
    for (std::size_t i = 0; i < 8; ++i) write_u32(p, i * 4, header[i]);
    write_u32(p, 12, word_sum(p, 64, 1856));
    return p;
}

Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::string dat_text(base::ByteView bytes) {
    std::string out = "/*  Microcode made for a test  */\n";
    for (std::size_t at = 0; at + 4 <= bytes.size(); at += 4)
        out += base::format("0x%08x,%s", read_u32(bytes, at), at % 16 == 12 ? "\n" : "\t");
    return out;
}

}  // namespace kitra::testing
