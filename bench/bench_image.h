// The image of the benchmarks that read or rebuild whole images (inspect,
// folder): the bundled sample at 16 MiB with firmware-like data (bench
// data: code, text, bitmaps) packed as modules of 1 MiB each behind its
// chain until the modules take `module_mib` MiB of the image, then
// finished as the run that added them would leave it.
#pragma once

#include <cstddef>

#include "base/bytes.h"
#include "image/layout.h"

namespace kitra::bench {

struct TestImage {
    base::Bytes bytes;
    image::Layout layout;
    std::size_t module_bytes = 0;
    std::size_t unpacked_bytes = 0;
    std::size_t modules = 0;
};

TestImage make_test_image(std::size_t module_mib);

// The command line of the benchmarks of whole images: --module-mib N (the
// modules' share of the image) and --reps N.
struct ImageBenchOptions {
    std::size_t module_mib = 8;
    int reps = 7;
};
ImageBenchOptions image_bench_options(int argc, char** argv);

}  // namespace kitra::bench
