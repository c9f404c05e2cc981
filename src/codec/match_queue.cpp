#include "codec/match_queue.h"

#include <algorithm>

namespace kitra::codec {

MatchQueue::MatchQueue() : entries_(kChunk * kChunks) {}

std::span<MatchEntry> MatchQueue::room() {
    std::unique_lock lock(mutex_);
    // Published entries are whole chunks (but the last), so a chunk never
    // wraps around the end of the ring.
    changed_.wait(lock, [&] { return stopped_ || published_ + kChunk - released_ <= entries_.size(); });
    if (stopped_) return {};
    return std::span<MatchEntry>(entries_).subspan(published_ % entries_.size(), kChunk);
}

void MatchQueue::publish(std::size_t n) {
    const std::lock_guard lock(mutex_);
    published_ += n;
    changed_.notify_all();
}

std::span<const MatchEntry> MatchQueue::take() {
    std::unique_lock lock(mutex_);
    // One chunk is taken at a time, so the finding side gets room back chunk
    // by chunk.
    released_ = taken_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return published_ > taken_; });
    const std::size_t n = std::min(published_ - taken_, kChunk);
    const std::span<const MatchEntry> chunk(entries_.data() + taken_ % entries_.size(), n);
    taken_ += n;
    return chunk;
}

void MatchQueue::stop() {
    const std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
}

}  // namespace kitra::codec
