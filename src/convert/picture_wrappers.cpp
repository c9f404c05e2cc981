#include "convert/picture_wrappers.h"

#include <algorithm>

namespace kitra::convert {

base::Bytes wrap_jpeg(base::ByteView jpeg) {
    base::Bytes wrapped(kJpegPrefix + jpeg.size(), 0x00);
    std::copy(jpeg.begin(), jpeg.end(), wrapped.begin() + kJpegPrefix);
    return wrapped;
}

base::Bytes unwrap_jpeg(base::ByteView wrapped) {
    const base::ByteView picture = base::clipped(wrapped, kJpegPrefix, wrapped.size());
    return {picture.begin(), picture.end()};
}

}  // namespace kitra::convert
