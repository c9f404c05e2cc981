#include "codec/huffman_builder.h"

namespace kitra::codec {

namespace {

// Sifts heap[i] down: to the right child only when the left one is strictly
// more frequent, stopping when the entry is not more frequent than the child.
void sift_down(HuffmanBuilder& b, std::span<const std::uint16_t> freq, unsigned size, unsigned i) {
    const std::uint16_t k = b.heap[i];
    for (unsigned j = 2 * i; j <= size; j = 2 * i) {
        if (j < size && freq[b.heap[j]] > freq[b.heap[j + 1]]) ++j;
        if (freq[k] <= freq[b.heap[j]]) break;
        b.heap[i] = b.heap[j];
        i = j;
    }
    b.heap[i] = k;
}

// Leaves per depth, depths of 16 and more counted as 16.
void count_depths(HuffmanBuilder& b, unsigned symbols, unsigned root) {
    b.length_count.fill(0);
    struct Item {
        std::uint16_t node;
        std::uint16_t depth;
    };
    std::array<Item, std::size_t{2} * HuffmanBuilder::kMaxSymbols> stack;
    unsigned top = 0;
    stack[top++] = {static_cast<std::uint16_t>(root), 0};
    while (top > 0) {
        const Item it = stack[--top];
        if (it.node < symbols) {
            ++b.length_count[it.depth < 16 ? it.depth : 16];
            continue;
        }
        const auto d = static_cast<std::uint16_t>(it.depth + 1);
        stack[top++] = {b.right[it.node], d};
        stack[top++] = {b.left[it.node], d};
    }
}

}  // namespace

unsigned build_code(HuffmanBuilder& b, unsigned symbols, std::span<std::uint16_t> freq,
                    std::span<std::uint8_t> lengths, std::span<std::uint16_t> codes, const Report& report) {
    unsigned size = 0;
    b.heap[1] = 0;
    for (unsigned s = 0; s < symbols; ++s) {
        lengths[s] = 0;
        if (freq[s] != 0) b.heap[++size] = static_cast<std::uint16_t>(s);
    }
    if (size < 2) {
        codes[b.heap[1]] = 0;
        return b.heap[1];
    }
    for (unsigned i = size / 2; i >= 1; --i) sift_down(b, freq, size, i);

    unsigned recorded = 0;
    unsigned next_node = symbols;
    unsigned k = 0;
    do {
        const unsigned i = b.heap[1];
        if (i < symbols) b.order[recorded++] = static_cast<std::uint16_t>(i);
        b.heap[1] = b.heap[size--];
        sift_down(b, freq, size, 1);
        const unsigned j = b.heap[1];
        if (j < symbols) b.order[recorded++] = static_cast<std::uint16_t>(j);
        k = next_node++;
        freq[k] = static_cast<std::uint16_t>(freq[i] + freq[j]);
        b.heap[1] = static_cast<std::uint16_t>(k);
        sift_down(b, freq, size, 1);
        b.left[k] = static_cast<std::uint16_t>(i);
        b.right[k] = static_cast<std::uint16_t>(j);
    } while (size > 1);

    // Limit the lengths to 16: while the Kraft sum is over 2^16, move one leaf
    // from depth 16 and one from the deepest shorter depth down a level.
    count_depths(b, symbols, k);
    std::uint32_t kraft = 0;
    for (unsigned d = 16; d > 0; --d) kraft += b.length_count[d] << (16 - d);
    while (kraft != 0x10000) {
        report.error("17");
        --b.length_count[16];
        for (unsigned d = 15; d > 0; --d) {
            if (b.length_count[d] != 0) {
                --b.length_count[d];
                b.length_count[d + 1] += 2;
                break;
            }
        }
        --kraft;
    }
    // The least frequent symbols, recorded first, get the longest codes.
    unsigned next = 0;
    for (unsigned d = 16; d > 0; --d)
        for (unsigned c = b.length_count[d]; c > 0; --c)
            lengths[b.order[next++]] = static_cast<std::uint8_t>(d);

    std::array<std::uint16_t, 18> start{};
    for (unsigned d = 1; d <= 16; ++d)
        start[d + 1] = static_cast<std::uint16_t>((start[d] + b.length_count[d]) << 1);
    for (unsigned s = 0; s < symbols; ++s) codes[s] = start[lengths[s]]++;
    return k;
}

}  // namespace kitra::codec
