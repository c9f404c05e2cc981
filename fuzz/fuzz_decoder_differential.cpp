// Runs the fast "-lh5-" decoder beside the plain one kept with the tests
// (tests/codec/reference_lh5_decoder.h) and requires the same result: the
// same bytes, or "Bad table" from both.
//
// First byte even: the rest is a raw stream, preceded by the original size
// (16 bits, taken modulo a power of two up to 64 KiB chosen by the first
// byte, so that most runs are short).
// First byte odd: the rest, after 8 bytes of damage, is an input that is
// packed; the stream is then damaged (two bit flips at 16-bit positions taken
// modulo its size, and a cut unless the cut field is 0xFFFF) and decoded to
// the input's size plus the first byte's upper bits.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/fatal.h"
#include "codec/lzh_decoder.h"
#include "codec/lzh_encoder.h"
#include "codec/reference_lh5_decoder.h"

namespace {

unsigned u16_at(const std::uint8_t* p) {
    return p[0] | unsigned{p[1]} << 8;
}

// The result of one decoder: its bytes, or the text of its stop.
struct Outcome {
    kitra::base::Bytes bytes;
    std::string stop;
};

template <typename Decode>
Outcome run(Decode&& decode) {
    Outcome o;
    try {
        o.bytes = decode();
    } catch (const kitra::Fatal& f) {
        o.stop = f.what();
    }
    return o;
}

void compare(kitra::base::ByteView stream, std::size_t size) {
    const Outcome fast = run([&] { return kitra::codec::decode_lh5(stream, size); });
    const Outcome plain = run([&] { return kitra::codec::test::reference_decode_lh5(stream, size); });
    if (fast.stop != plain.stop || fast.bytes != plain.bytes) __builtin_trap();
    if (!fast.stop.empty() && fast.stop != "Bad table\n") __builtin_trap();
    if (fast.stop.empty() && fast.bytes.size() != size) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kitra;
    if (size < 3) return 0;
    const unsigned mode = data[0];
    if ((mode & 1) == 0) {
        const std::size_t original = u16_at(data + 1) % (2u << (mode >> 1) % 16);
        compare(base::ByteView(data + 3, size - 3), original);
        return 0;
    }
    if (size < 9) return 0;
    const base::ByteView input(data + 9, size - 9);
    static codec::Encoder encoder;
    base::Bytes stream;
    (void)codec::encode(encoder, input, stream, codec::Report{}, false);
    if (stream.empty()) return 0;
    stream[u16_at(data + 1) % stream.size()] ^= static_cast<std::uint8_t>(1u << (data[3] & 7));
    stream[u16_at(data + 4) % stream.size()] ^= static_cast<std::uint8_t>(1u << (data[6] & 7));
    const unsigned cut = u16_at(data + 7);
    if (cut != 0xFFFF) stream.resize(cut % (stream.size() + 1));
    compare(stream, input.size() + (mode >> 1));
    return 0;
}
