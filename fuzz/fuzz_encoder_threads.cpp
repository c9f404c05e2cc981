// Codes an input on one thread and on two, with the finding threads cutting
// it in pieces of one or two windows after one to three windows of warm-up
// (so that nearly every piece boundary is met, and pieces whose starting tree
// differs from the exact one are found again), and requires the same stream,
// the same count and CRC, and the input back from the stream.
//
// First byte: the piece and warm-up sizes. The next two: the input's length,
// 16 KiB (the smallest input coded on two threads) plus up to 64 KiB. The
// rest is the material the input is made of: stretches of it from places it
// names itself, and runs of one byte, so that the input has long matches,
// repeats far apart and runs, as firmware does.
#include <cstddef>
#include <cstdint>

#include "codec/lzh_decoder.h"
#include "codec/lzh_encoder.h"

namespace {

kitra::base::Bytes make_input(const std::uint8_t* p, std::size_t n, std::size_t size) {
    kitra::base::Bytes in;
    in.reserve(size + 4096);
    for (std::size_t i = 0; in.size() < size; ++i) {
        const std::size_t from = p[i % n] * 31u % n;
        const std::size_t count = 1 + p[(i + 1) % n] * 4u;
        for (std::size_t k = 0; k < count; ++k) in.push_back(p[(from + k) % n]);
        if ((p[(i + 2) % n] & 3) == 0) in.insert(in.end(), p[(i + 3) % n] * 8u, p[(i + 4) % n]);
    }
    in.resize(size);
    return in;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kitra;
    if (size < 4) return 0;
    const unsigned mode = data[0];
    const std::size_t length = 16384 + (data[1] | unsigned{data[2]} << 8);
    const base::Bytes input = make_input(data + 3, size - 3, length);

    static codec::Encoder one;
    static codec::Encoder two;
    one.threads = 1;
    two.threads = 2;
    two.two_threads_from = 0;
    two.pieces = {1 + (mode & 1), 1 + (mode >> 1) % 3};
    base::Bytes a;
    base::Bytes b;
    const codec::EncodeResult ra = codec::encode(one, input, a, codec::Report{}, false);
    const codec::EncodeResult rb = codec::encode(two, input, b, codec::Report{}, false);
    if (ra.unpackable != rb.unpackable || ra.input_count != rb.input_count || ra.crc != rb.crc || a != b)
        __builtin_trap();
    if (!rb.unpackable && codec::decode_lh5(b, input.size()) != input) __builtin_trap();
    return 0;
}
