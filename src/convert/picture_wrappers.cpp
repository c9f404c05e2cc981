#include "convert/picture_wrappers.h"

namespace kitra::convert {

base::Bytes wrap_jpeg(base::ByteView jpeg) {
    base::Bytes wrapped(kJpegPrefix, 0x00);
    wrapped.insert(wrapped.end(), jpeg.begin(), jpeg.end());
    return wrapped;
}

base::Bytes unwrap_jpeg(base::ByteView wrapped) {
    const base::ByteView picture = base::clipped(wrapped, kJpegPrefix, wrapped.size());
    return {picture.begin(), picture.end()};
}

}  // namespace kitra::convert
