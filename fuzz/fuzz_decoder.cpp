// Fuzzes the "-lh5-" decoder and the unpacker with arbitrary bytes.
//
// First byte even: the rest is a module's data, preceded by its original size
// (32-bit, taken modulo a power of two up to 1 MiB chosen by the byte after
// it, so that most runs are short) and its packed size (32-bit, capped at
// what is there).
// First byte odd: the rest is a module for unpack() (skipped when its original
// size is over 1 MiB, to keep runs fast).
// "Bad table", "Header sum error" and "Can't read" are expected stops; any
// memory error or other exception is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/fatal.h"
#include "codec/lzh_decoder.h"
#include "codec/packer.h"
#include "platform/console.h"

namespace {

constexpr std::uint32_t kMaxOriginal = 1u << 20;  // 2 << 19

std::uint32_t u32_at(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kitra;
    if (size < 1) return 0;
    const bool as_module = (data[0] & 1) != 0;
    ++data;
    --size;
    try {
        if (!as_module) {
            if (size < 9) return 0;
            const std::uint32_t original = u32_at(data) % (2u << (data[4] % 20));
            std::uint32_t packed = u32_at(data + 5);
            data += 9;
            size -= 9;
            if (packed > size) packed = static_cast<std::uint32_t>(size);
            const base::Bytes out = codec::decode_lh5(base::ByteView(data, packed), original);
            if (out.size() != original) __builtin_trap();
        } else {
            if (size >= 15 && u32_at(data + 11) > kMaxOriginal) return 0;
            (void)codec::unpack(base::ByteView(data, size), codec::Report{});
        }
    } catch (const Fatal&) {
    }
    return 0;
}
