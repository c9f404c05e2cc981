// The bounded queue that carries the matches found by the encoder's finding
// thread to its coding thread, one entry per input position, in order. The
// entries travel in chunks: the finding side is handed room for a whole
// chunk, fills it and publishes it, and the coding side takes one chunk at a
// time and gives it back when it has read it, so the two threads meet once
// per chunk, not once per position. The finding side runs at most the
// queue's size ahead.
//
// stop() ends it early from the coding side (the stream became unpackable, or
// an error unwinds encode()): room() then hands out nothing, and the finding
// thread gives up.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <span>
#include <vector>

#include "codec/match_tree.h"

namespace kitra::codec {

class MatchQueue {
  public:
    static constexpr std::size_t kChunk = 8192;
    static constexpr std::size_t kChunks = 4;

    MatchQueue();

    // Finding side: room for the next chunk (waits until the coding side has
    // given enough back), empty once the queue was stopped; then publish()
    // hands over the first n entries of it.
    std::span<MatchEntry> room();
    void publish(std::size_t n);

    // Coding side: gives back the chunk taken before and waits for the next
    // published entries, at most a chunk; the caller asks for no more than
    // are published.
    std::span<const MatchEntry> take();
    void stop();

  private:
    std::vector<MatchEntry> entries_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // Shared, under the mutex: entries handed over and given back, and stop.
    std::size_t published_ = 0;
    std::size_t released_ = 0;
    bool stopped_ = false;
    std::size_t taken_ = 0;
};

}  // namespace kitra::codec
