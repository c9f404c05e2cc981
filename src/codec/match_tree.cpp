#include "codec/match_tree.h"

#include <cstring>

#include "codec/lh5_format.h"

namespace kitra::codec {

namespace {

constexpr unsigned kLeafBase = kWindowSize;  // leaves and roots start here
constexpr unsigned kHeadBase = 2 * kWindowSize;
constexpr std::uint16_t kMark = 0x8000;
static_assert(MatchTree::kLinks <= 0x10000, "list heads are named by 16-bit links");

// A multiplicative hash keeps the buckets short (few list steps per lookup).
inline unsigned hash(unsigned q, unsigned c) {
    return ((((q << 8) | c) * 0x9E3779B1u) >> (32 - MatchTree::kHeadBits)) + kHeadBase;
}

struct Tree {
    MatchTree::Node* nd;
    MatchTree::Link* ln;
    std::uint16_t& free_list;

    explicit Tree(MatchTree& t) : nd(t.nodes.data()), ln(t.links.data()), free_list(t.free_list) {}

    // The child of q that continues with byte c, or 0. The parent of link 0
    // is the sentinel that ends the scan.
    unsigned child(unsigned q, unsigned c) const {
        ln[0].parent = static_cast<std::uint16_t>(q);
        unsigned r = ln[hash(q, c)].next;
        while (ln[r].parent != q) r = ln[r].next;
        return r;
    }

    void make_child(unsigned q, unsigned c, unsigned r) const {
        const unsigned h = hash(q, c);
        const unsigned t = ln[h].next;
        ln[h].next = static_cast<std::uint16_t>(r);
        ln[r].next = static_cast<std::uint16_t>(t);
        ln[t].prev = static_cast<std::uint16_t>(r);
        ln[r].prev = static_cast<std::uint16_t>(h);
        ln[r].parent = static_cast<std::uint16_t>(q);
        ++nd[q].child_count;
    }

    // Puts `to` in the place of `from` in its child list.
    void take_place(unsigned from, unsigned to) const {
        unsigned t = ln[from].prev;
        ln[to].prev = static_cast<std::uint16_t>(t);
        ln[t].next = static_cast<std::uint16_t>(to);
        t = ln[from].next;
        ln[to].next = static_cast<std::uint16_t>(t);
        ln[t].prev = static_cast<std::uint16_t>(to);
    }

    void unlink(unsigned x) const {
        const unsigned p = ln[x].prev;
        const unsigned n = ln[x].next;
        ln[p].next = static_cast<std::uint16_t>(n);
        ln[n].prev = static_cast<std::uint16_t>(p);
    }

    void insert(const std::uint8_t* text, unsigned pos, Match& m) const;
    void remove(const std::uint8_t* text, unsigned pos) const;
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

__attribute__((always_inline)) inline void Tree::insert(const std::uint8_t* text, unsigned pos,
                                                        Match& m) const {
    unsigned q = 0;
    unsigned r = 0;
    if (m.length >= 4) {
        // The string at pos continues the one before it: the new match is the
        // old one less its first byte, found from the leaf after the old match
        // (a leaf replaced by a newer equal string points at its successor).
        --m.length;
        r = (m.position + 1) | kLeafBase;
        while ((q = ln[r].parent) == 0) r = ln[r].next;
        while (nd[q].depth >= m.length) {
            r = q;
            q = ln[q].parent;
        }
        unsigned t = q;
        while (nd[t].position & kMark) {
            nd[t].position = static_cast<std::uint16_t>(pos);
            t = ln[t].parent;
        }
        if (t < kLeafBase) nd[t].position = static_cast<std::uint16_t>(pos | kMark);
    } else {
        q = text[pos] + kLeafBase;
        const unsigned c = text[pos + 1];
        r = child(q, c);
        if (r == 0) {
            make_child(q, c, pos);
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
            limit = nd[r].depth;
            m.position = nd[r].position & ~kMark;
        }
        if (m.position >= pos) m.position -= kWindowSize;
        const unsigned n = common_length(text + pos, text + m.position, m.length, limit);
        if (n < limit) {
            // Split r: a new node of depth n takes its place, with r and the
            // new leaf below it.
            m.length = n;
            const unsigned node = free_list;
            free_list = ln[node].next;
            nd[node].child_count = 0;
            take_place(r, node);
            ln[node].parent = ln[r].parent;
            nd[node].depth = static_cast<std::uint8_t>(n);
            nd[node].position = static_cast<std::uint16_t>(pos);
            make_child(node, text[m.position + n], r);
            make_child(node, text[pos + n], pos);
            return;
        }
        m.length = n;
        if (m.length >= kMaxMatch) break;
        nd[r].position = static_cast<std::uint16_t>(pos);
        q = r;
        const unsigned c = text[pos + m.length];
        r = child(q, c);
        if (r == 0) {
            make_child(q, c, pos);
            return;
        }
        ++m.length;
    }
    // A full-length match: the new leaf replaces the old one, which keeps a
    // link to it for continuations that start from the old leaf.
    take_place(r, pos);
    ln[pos].parent = static_cast<std::uint16_t>(q);
    ln[r].parent = 0;
    ln[r].next = static_cast<std::uint16_t>(pos);
}

__attribute__((always_inline)) inline void Tree::remove(const std::uint8_t* text, unsigned pos) const {
    if (ln[pos].parent == 0) return;
    unlink(pos);
    const unsigned r = ln[pos].parent;
    ln[pos].parent = 0;
    if (r >= kLeafBase || --nd[r].child_count > 1) return;

    // r keeps one child and goes. Pass its newest position up first: through
    // the marked ancestors to the first unmarked one, which gets the mark.
    unsigned t = nd[r].position & ~kMark;
    if (t >= pos) t -= kWindowSize;
    unsigned s = t;
    unsigned q = ln[r].parent;
    unsigned u = 0;
    while ((u = nd[q].position) & kMark) {
        u &= ~kMark;
        if (u >= pos) u -= kWindowSize;
        if (u > s) s = u;
        nd[q].position = static_cast<std::uint16_t>(s | kWindowSize);
        q = ln[q].parent;
    }
    if (q < kLeafBase) {
        if (u >= pos) u -= kWindowSize;
        if (u > s) s = u;
        nd[q].position = static_cast<std::uint16_t>(s | kWindowSize | kMark);
    }
    const unsigned only = child(r, text[t + nd[r].depth]);
    unlink(only);
    take_place(r, only);
    ln[only].parent = ln[r].parent;
    ln[r].parent = 0;
    ln[r].next = free_list;
    free_list = static_cast<std::uint16_t>(r);
}

}  // namespace

MatchTree::MatchTree() : nodes(kNodes), links(kLinks) {
    reset(*this);
}

void reset(MatchTree& t) {
    for (unsigned i = kLeafBase; i < kLeafBase + 256; ++i) {
        t.nodes[i].depth = 1;
        t.nodes[i].position = 0;
    }
    for (unsigned i = kLeafBase; i < 2 * kWindowSize; ++i) t.links[i].parent = 0;
    for (unsigned i = 1; i < kWindowSize - 1; ++i) t.links[i].next = static_cast<std::uint16_t>(i + 1);
    t.links[kWindowSize - 1].next = 0;
    for (unsigned i = kHeadBase; i < MatchTree::kLinks; ++i) t.links[i].next = 0;
    t.free_list = 1;
}

bool same_state(const MatchTree& a, const Match& match_a, const MatchTree& b, const Match& match_b) {
    if (match_a.length != match_b.length || match_a.position != match_b.position) return false;
    for (unsigned i = kLeafBase; i < kLeafBase + 256; ++i)
        if (a.nodes[i].position != b.nodes[i].position) return false;
    // Internal nodes are matched up from the leaves: a node of one tree and
    // the node of the other in its place, both ways.
    std::vector<std::uint16_t> a_to_b(kWindowSize, 0);
    std::vector<std::uint16_t> b_to_a(kWindowSize, 0);
    for (unsigned leaf = kLeafBase; leaf < 2 * kWindowSize; ++leaf) {
        unsigned x = a.links[leaf].parent;
        unsigned y = b.links[leaf].parent;
        if ((x == 0) != (y == 0)) return false;
        if (x == 0) {
            if (a.links[leaf].next != b.links[leaf].next) return false;
            continue;
        }
        while (x < kLeafBase && y < kLeafBase) {
            if (a_to_b[x] != 0 || b_to_a[y] != 0) {
                if (a_to_b[x] != y || b_to_a[y] != x) return false;
                x = y = 0;  // the rest of the way up is checked
                break;
            }
            a_to_b[x] = static_cast<std::uint16_t>(y);
            b_to_a[y] = static_cast<std::uint16_t>(x);
            const MatchTree::Node& p = a.nodes[x];
            const MatchTree::Node& q = b.nodes[y];
            if (p.depth != q.depth || p.position != q.position || p.child_count != q.child_count)
                return false;
            x = a.links[x].parent;
            y = b.links[y].parent;
        }
        if (x != y) return false;  // the same root (or both checked before)
    }
    return true;
}

void insert_string(MatchTree& tree, const std::uint8_t* text, unsigned pos, Match& m) {
    Tree(tree).insert(text, pos, m);
}

void delete_string(MatchTree& tree, const std::uint8_t* text, unsigned pos) {
    Tree(tree).remove(text, pos);
}

void replace_string(MatchTree& tree, const std::uint8_t* text, unsigned pos, Match& m) {
    const Tree t(tree);
    t.remove(text, pos);
    t.insert(text, pos, m);
}

void replace_strings(MatchTree& tree, const std::uint8_t* text, unsigned pos, unsigned count, Match& match,
                     MatchEntry* out) {
    const Tree t(tree);
    Match m = match;
    for (unsigned i = 0; i < count; ++i) {
        ++pos;
        t.remove(text, pos);
        t.insert(text, pos, m);
        out[i] = {static_cast<std::uint16_t>(m.length), static_cast<std::uint16_t>(m.position)};
    }
    match = m;
}

}  // namespace kitra::codec
