// The matches of a long input, found by two threads at once for the
// encoder's coding thread.
//
// The positions are cut in pieces of a whole number of windows. A finding
// thread takes the next piece, starts a tree of its own some windows before
// it and runs it up to the piece (the warm-up), keeps a copy of that tree,
// and finds the piece's matches, handing them over a chunk at a time. A tree
// started later holds the same strings as the one that ran from the first
// byte, but it may remember different positions on its nodes, and those
// decide matches. So before the coding thread reads a piece it compares the
// tree kept at the piece's start with the tree the piece before ended with
// (same_state); where they differ, it finds the piece's matches again itself
// from the exact tree. The matches are the ones a single tree would find,
// either way; how often the trees agree only decides the speed.
//
// The finding threads run at most a few pieces ahead of the coding thread;
// all buffers are taken before the threads start. stop() ends the work early
// (the stream became unpackable, or an error unwinds the encoder); no thread
// outlives the object.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "base/bytes.h"
#include "codec/match_finder.h"
#include "codec/match_tree.h"

namespace kitra::codec {

class MatchPieces {
  public:
    // Positions per piece and per warm-up: whole windows.
    struct Shape {
        std::size_t piece_windows = 64;
        std::size_t warm_up_windows = 8;
    };
    static constexpr std::size_t kChunk = 8192;  // matches handed over at a time

    // Starts the finding threads for positions 0 .. count - 1 of `input`;
    // throws std::system_error when no thread can be had.
    MatchPieces(base::ByteView input, std::size_t count, Shape shape);
    MatchPieces(const MatchPieces&) = delete;
    MatchPieces& operator=(const MatchPieces&) = delete;
    ~MatchPieces();

    // The next matches in order (at most a chunk), waiting for them; ask for
    // no more than `count` in all.
    std::span<const MatchEntry> take();
    // After the last match: the finder as a single tree would have left it.
    void finish_into(Finder& finder, Match& match);
    void stop();

    // Pieces whose matches were found again because the trees differed.
    std::size_t pieces_found_again() const { return found_again_; }

  private:
    struct Slot;
    struct Worker;
    void work(Worker& w);
    void find_piece(Worker& w, std::size_t k);
    Slot& slot(std::size_t k) { return *slots_[k % slots_.size()]; }
    std::size_t piece_size(std::size_t k) const;
    void check_start(std::size_t k);
    static void keep_end(Slot& s, FinderBuffers& buffers, const Finder& f, const Match& m);

    base::ByteView input_;
    std::size_t count_;
    std::size_t piece_;
    std::size_t warm_up_;
    std::size_t pieces_;
    std::size_t head_start_;  // matches read before the second piece is begun
    std::vector<std::unique_ptr<Slot>> slots_;
    std::vector<std::unique_ptr<Worker>> workers_;

    std::mutex mutex_;
    std::condition_variable changed_;
    // Shared, under the mutex:
    std::size_t claimed_ = 0;   // pieces taken by the finding threads
    std::size_t released_ = 0;  // pieces whose slots may be used again
    std::size_t read_ = 0;      // matches the coding thread has read, up to a first count
    bool stopped_ = false;

    // The coding thread's:
    std::size_t current_ = 0;  // the piece being read
    std::size_t taken_ = 0;    // matches of it read
    bool checked_ = false;     // its start compared
    std::size_t found_again_ = 0;
};

}  // namespace kitra::codec
