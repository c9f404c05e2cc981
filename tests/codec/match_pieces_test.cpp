#include "codec/match_pieces.h"

#include <gtest/gtest.h>

#include "codec/codec_test_support.h"
#include "codec/lh5_format.h"

namespace kitra::codec {
namespace {

// The matches of positions 0 .. count - 1 as one finder finds them, and the
// finder after them.
struct OneFinder {
    FinderBuffers buffers;
    Finder finder;
    Match match;
    std::vector<MatchEntry> matches;
    OneFinder(base::ByteView input, std::size_t count)
        : finder{buffers.text.data(), &buffers.tree, input}, matches(count) {
        for (std::size_t done = 0; done < count; done += 1000)
            finder.chunk(match, done, matches.data() + done, std::min<std::size_t>(1000, count - done));
    }
};

struct Pieced {
    std::vector<MatchEntry> matches;
    FinderBuffers buffers;
    Finder finder;
    Match match;
    std::size_t found_again = 0;
    Pieced(base::ByteView input, std::size_t count, MatchPieces::Shape shape)
        : finder{buffers.text.data(), &buffers.tree, input} {
        MatchPieces pieces(input, count, shape);
        while (matches.size() < count) {
            const auto chunk = pieces.take();
            matches.insert(matches.end(), chunk.begin(), chunk.end());
        }
        pieces.finish_into(finder, match);
        found_again = pieces.pieces_found_again();
    }
};

TEST(MatchPieces, FindTheMatchesOfOneTree) {
    // Pieces of one window with one window of warm-up: the later trees often
    // remember other positions than the one that ran from the start, so
    // pieces are found again; with more warm-up most agree. Either way the
    // matches, and the finder handed back, are those of one tree.
    base::Bytes input = test::code_like(150000, 1);
    const base::Bytes text = test::text_like(100000, 2);
    const base::Bytes bitmap = test::bitmap_like(100000, 3);
    input.insert(input.end(), text.begin(), text.end());
    input.insert(input.end(), bitmap.begin(), bitmap.end());
    for (const std::size_t count : {input.size() - 257, std::size_t{8192 * 5}, std::size_t{8192 * 5 + 1}}) {
        const OneFinder one(input, count);
        std::size_t agreed = 0;
        std::size_t found_again = 0;
        for (const MatchPieces::Shape shape : {MatchPieces::Shape{1, 1}, MatchPieces::Shape{2, 4},
                                               MatchPieces::Shape{3, 2}, MatchPieces::Shape{64, 8}}) {
            const Pieced p(input, count, shape);
            const std::string what =
                std::to_string(count) + " in pieces of " + std::to_string(shape.piece_windows) + " windows";
            ASSERT_EQ(p.matches.size(), count) << what;
            EXPECT_TRUE(p.matches == one.matches) << what;
            EXPECT_TRUE(same_state(*p.finder.tree, p.match, *one.finder.tree, one.match)) << what;
            EXPECT_EQ(p.finder.pos, one.finder.pos) << what;
            EXPECT_EQ(p.finder.read_pos, one.finder.read_pos) << what;
            const std::size_t pieces =
                (count + shape.piece_windows * kWindowSize - 1) / (shape.piece_windows * kWindowSize);
            found_again += p.found_again;
            agreed += pieces - 1 - p.found_again;
        }
        if (count == input.size() - 257) {
            EXPECT_GT(found_again, 0u);
            EXPECT_GT(agreed, 0u);
        }
    }
}

TEST(MatchPieces, SameStateTellsTreesApart) {
    const base::Bytes input = test::code_like(40000, 4);
    OneFinder a(input, 20000);
    OneFinder b(input, 20000);
    EXPECT_TRUE(same_state(*a.finder.tree, a.match, *b.finder.tree, b.match));
    // One more position in one of them.
    b.finder.step(b.match);
    EXPECT_FALSE(same_state(*a.finder.tree, a.match, *b.finder.tree, b.match));
    a.finder.step(a.match);
    EXPECT_TRUE(same_state(*a.finder.tree, a.match, *b.finder.tree, b.match));
    // A node that remembers another position.
    MatchTree changed = *b.finder.tree;
    unsigned node = 0;
    for (unsigned leaf = kWindowSize; node == 0 && leaf < 2 * kWindowSize; ++leaf)
        if (changed.links[leaf].parent != 0 && changed.links[leaf].parent < kWindowSize)
            node = changed.links[leaf].parent;
    ASSERT_NE(node, 0u);
    changed.nodes[node].position ^= 1;
    EXPECT_FALSE(same_state(*a.finder.tree, a.match, changed, b.match));
    changed = *b.finder.tree;
    ++changed.nodes[node].child_count;
    EXPECT_FALSE(same_state(*a.finder.tree, a.match, changed, b.match));
    changed = *b.finder.tree;
    changed.nodes[kWindowSize + input[0]].position ^= 1;  // a root
    EXPECT_FALSE(same_state(*a.finder.tree, a.match, changed, b.match));
    Match other = b.match;
    ++other.position;
    EXPECT_FALSE(same_state(*a.finder.tree, a.match, *b.finder.tree, other));
}

TEST(MatchPieces, SameStateComparesLeavesTakenOut) {
    // A period far shorter than a match: every new string equals an older
    // one for 256 bytes and takes its leaf out of the tree, leaving a link to
    // itself that later continuations follow.
    base::Bytes input;
    const base::Bytes period = test::random_bytes(37, 6);
    while (input.size() < 30000) input.insert(input.end(), period.begin(), period.end());
    OneFinder a(input, 20000);
    OneFinder b(input, 20000);
    unsigned taken_out = 0;
    for (unsigned leaf = kWindowSize; taken_out == 0 && leaf < 2 * kWindowSize; ++leaf)
        if (b.finder.tree->links[leaf].parent == 0) taken_out = leaf;
    ASSERT_NE(taken_out, 0u);
    EXPECT_TRUE(same_state(*a.finder.tree, a.match, *b.finder.tree, b.match));
    MatchTree changed = *b.finder.tree;
    ++changed.links[taken_out].next;
    EXPECT_FALSE(same_state(*a.finder.tree, a.match, changed, b.match));
}

TEST(MatchPieces, StopEndsTheThreads) {
    const base::Bytes input = test::code_like(300000, 5);
    MatchPieces pieces(input, input.size() - 257, {1, 1});
    (void)pieces.take();
    pieces.stop();
    // The destructor joins threads that are finding, warming up or waiting
    // for room.
}

}  // namespace
}  // namespace kitra::codec
