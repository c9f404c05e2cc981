#include "codec/match_tree.h"

#include <cstring>

#include "codec/lh5_format.h"

namespace kitra::codec {

namespace {

constexpr unsigned kLeafBase = kWindowSize;  // leaves and roots start here
constexpr unsigned kHeadBase = 2 * kWindowSize;
constexpr std::uint16_t kMark = 0x8000;

inline unsigned hash(unsigned q, unsigned c) {
    return q + (c << 4) + kHeadBase;
}

struct Arrays {
    std::uint8_t* depth;
    std::uint8_t* child_count;
    std::uint16_t* position;
    std::uint16_t* parent;
    std::uint16_t* prev;
    std::uint16_t* next;

    explicit Arrays(MatchTree& t)
        : depth(t.depth.data()),
          child_count(t.child_count.data()),
          position(t.position.data()),
          parent(t.parent.data()),
          prev(t.prev.data()),
          next(t.next.data()) {}

    // The child of q that continues with byte c, or 0. Entry 0 of parent is
    // the sentinel that ends the scan.
    unsigned child(unsigned q, unsigned c) const {
        parent[0] = static_cast<std::uint16_t>(q);
        unsigned r = next[hash(q, c)];
        while (parent[r] != q) r = next[r];
        return r;
    }

    void make_child(unsigned q, unsigned c, unsigned r) const {
        const unsigned h = hash(q, c);
        const unsigned t = next[h];
        next[h] = static_cast<std::uint16_t>(r);
        next[r] = static_cast<std::uint16_t>(t);
        prev[t] = static_cast<std::uint16_t>(r);
        prev[r] = static_cast<std::uint16_t>(h);
        parent[r] = static_cast<std::uint16_t>(q);
        ++child_count[q];
    }

    // Puts node `to` in the place of `from` in its child list.
    void take_place(unsigned from, unsigned to) const {
        unsigned t = prev[from];
        prev[to] = static_cast<std::uint16_t>(t);
        next[t] = static_cast<std::uint16_t>(to);
        t = next[from];
        next[to] = static_cast<std::uint16_t>(t);
        prev[t] = static_cast<std::uint16_t>(to);
    }
};

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The length of the common prefix of a and b, from `from` up to `limit`.
inline unsigned common_length(const std::uint8_t* a, const std::uint8_t* b, unsigned from, unsigned limit) {
    unsigned n = from;
    while (n + 8 <= limit) {
        const std::uint64_t x = load64(a + n) ^ load64(b + n);
        if (x != 0) return n + static_cast<unsigned>(__builtin_ctzll(x)) / 8;
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

}  // namespace

MatchTree::MatchTree()
    : depth(kNodes), child_count(kNodes), position(kNodes), parent(kLinked), prev(kLinked), next(kHeads) {
    reset(*this);
}

void reset(MatchTree& t) {
    for (unsigned i = kLeafBase; i < kLeafBase + 256; ++i) {
        t.depth[i] = 1;
        t.position[i] = 0;
    }
    for (unsigned i = kLeafBase; i < 2 * kWindowSize; ++i) t.parent[i] = 0;
    for (unsigned i = 1; i < kWindowSize - 1; ++i) t.next[i] = static_cast<std::uint16_t>(i + 1);
    t.next[kWindowSize - 1] = 0;
    for (unsigned i = kHeadBase; i < MatchTree::kHeads; ++i) t.next[i] = 0;
    t.free_list = 1;
}

void insert_string(MatchTree& tree, const std::uint8_t* text, unsigned pos, Match& m) {
    const Arrays a(tree);
    unsigned q = 0;
    unsigned r = 0;
    if (m.length >= 4) {
        // The string at pos continues the one before it: the new match is the
        // old one less its first byte, found from the leaf after the old match
        // (a leaf replaced by a newer equal string points at its successor).
        --m.length;
        r = (m.position + 1) | kLeafBase;
        while ((q = a.parent[r]) == 0) r = a.next[r];
        while (a.depth[q] >= m.length) {
            r = q;
            q = a.parent[q];
        }
        unsigned t = q;
        while (a.position[t] & kMark) {
            a.position[t] = static_cast<std::uint16_t>(pos);
            t = a.parent[t];
        }
        if (t < kLeafBase) a.position[t] = static_cast<std::uint16_t>(pos | kMark);
    } else {
        q = text[pos] + kLeafBase;
        const unsigned c = text[pos + 1];
        r = a.child(q, c);
        if (r == 0) {
            a.make_child(q, c, pos);
            m.length = 1;
            return;
        }
        m.length = 2;
    }
    for (;;) {
        unsigned limit;
        if (r >= kLeafBase) {
            limit = kMaxMatch;
            m.position = r;
        } else {
            limit = a.depth[r];
            m.position = a.position[r] & ~kMark;
        }
        if (m.position >= pos) m.position -= kWindowSize;
        const unsigned n = common_length(text + pos, text + m.position, m.length, limit);
        if (n < limit) {
            // Split r: a new node of depth n takes its place, with r and the
            // new leaf below it.
            m.length = n;
            const unsigned node = tree.free_list;
            tree.free_list = a.next[node];
            a.child_count[node] = 0;
            a.take_place(r, node);
            a.parent[node] = a.parent[r];
            a.depth[node] = static_cast<std::uint8_t>(n);
            a.position[node] = static_cast<std::uint16_t>(pos);
            a.make_child(node, text[m.position + n], r);
            a.make_child(node, text[pos + n], pos);
            return;
        }
        m.length = n;
        if (m.length >= kMaxMatch) break;
        a.position[r] = static_cast<std::uint16_t>(pos);
        q = r;
        const unsigned c = text[pos + m.length];
        r = a.child(q, c);
        if (r == 0) {
            a.make_child(q, c, pos);
            return;
        }
        ++m.length;
    }
    // A full-length match: the new leaf replaces the old one, which keeps a
    // link to it for continuations that start from the old leaf.
    a.take_place(r, pos);
    a.parent[pos] = static_cast<std::uint16_t>(q);
    a.parent[r] = 0;
    a.next[r] = static_cast<std::uint16_t>(pos);
}

void delete_string(MatchTree& tree, const std::uint8_t* text, unsigned pos) {
    const Arrays a(tree);
    if (a.parent[pos] == 0) return;
    {
        const unsigned r = a.prev[pos];
        const unsigned s = a.next[pos];
        a.next[r] = static_cast<std::uint16_t>(s);
        a.prev[s] = static_cast<std::uint16_t>(r);
    }
    const unsigned r = a.parent[pos];
    a.parent[pos] = 0;
    if (r >= kLeafBase || --a.child_count[r] > 1) return;

    // r keeps one child and goes. Pass its newest position up first: through
    // the marked ancestors to the first unmarked one, which gets the mark.
    unsigned t = a.position[r] & ~kMark;
    if (t >= pos) t -= kWindowSize;
    unsigned s = t;
    unsigned q = a.parent[r];
    unsigned u = 0;
    while ((u = a.position[q]) & kMark) {
        u &= ~kMark;
        if (u >= pos) u -= kWindowSize;
        if (u > s) s = u;
        a.position[q] = static_cast<std::uint16_t>(s | kWindowSize);
        q = a.parent[q];
    }
    if (q < kLeafBase) {
        if (u >= pos) u -= kWindowSize;
        if (u > s) s = u;
        a.position[q] = static_cast<std::uint16_t>(s | kWindowSize | kMark);
    }
    const unsigned only = a.child(r, text[t + a.depth[r]]);
    {
        const unsigned p = a.prev[only];
        const unsigned n = a.next[only];
        a.next[p] = static_cast<std::uint16_t>(n);
        a.prev[n] = static_cast<std::uint16_t>(p);
    }
    a.take_place(r, only);
    a.parent[only] = a.parent[r];
    a.parent[r] = 0;
    a.next[r] = tree.free_list;
    tree.free_list = static_cast<std::uint16_t>(r);
}

}  // namespace kitra::codec
