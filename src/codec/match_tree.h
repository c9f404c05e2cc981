// The encoder's match finder: a tree of every string that starts in the
// window, one internal node per point where strings that share a prefix part
// (its depth is the length of that prefix), with one root per first byte and
// the window positions themselves as leaves. Inserting a position finds the
// longest earlier match (up to 256 bytes, at most 8192 back) on the way down.
//
// Node numbers are 16-bit, 0 is none: internal nodes 1 .. 8191 (a free list),
// roots 8192 + byte, leaves 8192 .. 16383 (the coding positions; they share
// numbers with the roots, which is safe because a root is never a child and a
// leaf never has children). The children of a node are kept in hashed lists,
// one list per (node, next byte) bucket, whose heads are link entries 16384
// and up. Only the wanted child has the wanted parent in its bucket, so the
// hash decides speed, never results.
//
// Ancestors learn about new positions lazily: a position value with the
// 0x8000 mark has not yet been passed up to the node's own ancestors.
#pragma once

#include <cstdint>
#include <vector>

namespace kitra::codec {

struct Match {
    unsigned length = 0;
    unsigned position = 0;  // window position; may lie 8192 below the coding range
};

// A match as it is kept for later: both values fit 16 bits.
struct MatchEntry {
    std::uint16_t length;
    std::uint16_t position;
    bool operator==(const MatchEntry&) const = default;
};

struct MatchTree {
    static constexpr unsigned kNodes = 8192 + 256;  // internal nodes and roots
    static constexpr unsigned kHeadBits = 15;
    static constexpr unsigned kLinks = 2 * 8192 + (1u << kHeadBits);  // nodes, leaves, list heads

    // Internal nodes and roots.
    struct Node {
        std::uint16_t position;  // with the 0x8000 mark: not yet passed up
        std::uint8_t depth;
        std::uint8_t child_count;
    };
    // Internal nodes and leaves: the child list that holds them. List heads
    // use only `next`; free internal nodes chain the free list through it, and
    // a leaf replaced by an equal newer string points at that string with it.
    struct Link {
        std::uint16_t parent;
        std::uint16_t prev;
        std::uint16_t next;
    };

    MatchTree();

    std::vector<Node> nodes;
    std::vector<Link> links;
    std::uint16_t free_list = 1;
};

// Empties the tree: roots of depth 1, no leaf in the tree, every internal node
// free.
void reset(MatchTree& tree);

// Enters the string at `pos` (8192 .. 16383) of `text` (16640 bytes) and sets
// `match` to the longest earlier string it shares a prefix with. A match of
// length 4 or more left in `match` by the previous insertion (at pos - 1) is
// continued rather than searched for again.
void insert_string(MatchTree& tree, const std::uint8_t* text, unsigned pos, Match& match);

// Takes the leaf `pos` out of the tree before the position is reused.
void delete_string(MatchTree& tree, const std::uint8_t* text, unsigned pos);

// delete_string then insert_string: the step for every position after the first.
void replace_string(MatchTree& tree, const std::uint8_t* text, unsigned pos, Match& match);

// replace_string for the `count` positions after `pos` in turn (all below
// 16384), each match also kept in `out`: one call for a run of positions.
void replace_strings(MatchTree& tree, const std::uint8_t* text, unsigned pos, unsigned count, Match& match,
                     MatchEntry* out);

// True when two trees over the same window will find the same matches from
// here on: the same leaves in the tree (and the same newer strings for the
// leaves taken out by them), below internal nodes of the same depths, child
// counts and positions, and the same positions on the roots. The numbers of
// internal nodes and the order of the hashed lists are not compared: they
// never decide a match. `match_a` and `match_b` are the matches last found,
// which the next insertion may continue.
bool same_state(const MatchTree& a, const Match& match_a, const MatchTree& b, const Match& match_b);

}  // namespace kitra::codec
