#include "codec/bit_reader.h"

namespace kitra::codec {

void BitReader::refill_slow() {
    while (count_ <= 56) {
        const std::uint64_t byte = pos_ < size_ ? data_[pos_++] : 0;
        bits_ |= byte << (56 - count_);
        count_ += 8;
    }
}

}  // namespace kitra::codec
