#include "codec/match_pieces.h"

#include <algorithm>
#include <cstdint>
#include <system_error>

#include "codec/lh5_format.h"

namespace kitra::codec {

namespace {

// The second finding thread starts when the coding thread has read this
// many matches (or the whole first piece, if shorter): a stream not worth
// packing is found out within its first blocks, and the second finding
// thread would only slow that down (the threads share two cores).
constexpr std::size_t kHeadStart = std::size_t{16} * 8192;

}  // namespace

struct MatchPieces::Slot {
    // Not cleared first: a stream that turns out unpackable early touches
    // only the pages it wrote.
    std::unique_ptr<MatchEntry[]> matches;
    // The tree after the warm-up, before the piece's first position.
    MatchTree start_tree;
    Match start_match;
    // The finder after the piece's last position.
    FinderBuffers end_buffers;
    Finder end;
    Match end_match;
    // Under the mutex:
    std::size_t piece = SIZE_MAX;  // the piece the slot holds (or is for)
    bool started = false;          // start_tree is kept
    std::size_t published = 0;     // matches handed over
    bool done = false;             // the finding thread has left the piece
    bool abandoned = false;        // found again by the coding thread
};

struct MatchPieces::Worker {
    FinderBuffers buffers;
    std::vector<MatchEntry> scratch = std::vector<MatchEntry>(kChunk);
    std::thread thread;
};

MatchPieces::MatchPieces(base::ByteView input, std::size_t count, Shape shape)
    : input_(input),
      count_(count),
      piece_(std::max<std::size_t>(1, shape.piece_windows) * kWindowSize),
      warm_up_(std::max<std::size_t>(1, shape.warm_up_windows) * kWindowSize),
      pieces_((count + piece_ - 1) / piece_),
      head_start_(std::min({kHeadStart, piece_, count})) {
    const std::size_t threads = std::min<std::size_t>(2, pieces_);
    // A slot per thread: the piece being read (its end is kept until the
    // next piece's start is compared with it) and the one found ahead. The
    // thread that found the piece being read waits for the coding thread to
    // finish it, which is soon: the coding thread reads as it finds, and
    // codes several times faster than a tree finds.
    slots_.resize(std::min(pieces_, threads));
    for (auto& s : slots_) {
        s = std::make_unique<Slot>();
        s->matches.reset(new MatchEntry[std::min(piece_, count)]);
    }
    for (std::size_t i = 0; i < threads; ++i) workers_.push_back(std::make_unique<Worker>());
    try {
        for (auto& w : workers_) w->thread = std::thread([this, &w = *w] { work(w); });
    } catch (const std::system_error&) {
        stop();
        for (auto& w : workers_)
            if (w->thread.joinable()) w->thread.join();
        throw;
    }
}

MatchPieces::~MatchPieces() {
    stop();
    for (auto& w : workers_)
        if (w->thread.joinable()) w->thread.join();
}

std::size_t MatchPieces::piece_size(std::size_t k) const {
    return std::min(piece_, count_ - k * piece_);
}

void MatchPieces::stop() {
    const std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
}

// The finder `f`, working in `buffers`, as the end of the piece in slot s:
// the buffers change places with the slot's.
void MatchPieces::keep_end(Slot& s, FinderBuffers& buffers, const Finder& f, const Match& m) {
    std::swap(buffers.text, s.end_buffers.text);
    std::swap(buffers.tree, s.end_buffers.tree);
    s.end = f;
    s.end.text = s.end_buffers.text.data();
    s.end.tree = &s.end_buffers.tree;
    s.end_match = m;
}

void MatchPieces::work(Worker& w) {
    for (;;) {
        std::size_t k = 0;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] {
                return stopped_ || claimed_ == pieces_ ||
                       (claimed_ < released_ + slots_.size() && (claimed_ == 0 || read_ >= head_start_));
            });
            if (stopped_ || claimed_ == pieces_) return;
            k = claimed_++;
            Slot& s = slot(k);
            s.piece = k;
            s.started = s.done = s.abandoned = false;
            s.published = 0;
        }
        find_piece(w, k);
    }
}

void MatchPieces::find_piece(Worker& w, std::size_t k) {
    Slot& s = slot(k);
    Finder f{w.buffers.text.data(), &w.buffers.tree, input_};
    Match m;
    const std::size_t first = k * piece_;
    const std::size_t n = piece_size(k);
    if (k > 0) {
        // The warm-up: positions from .. first - 1, their matches unused.
        const std::size_t from = first > warm_up_ ? first - warm_up_ : 0;
        f.start(m, from);
        for (std::size_t at = from + 1; at < first;) {
            const std::size_t step = std::min(kChunk, first - at);
            f.steps(m, w.scratch.data(), step);
            at += step;
            const std::lock_guard lock(mutex_);
            if (stopped_) return;
        }
        s.start_tree = w.buffers.tree;
        s.start_match = m;
        const std::lock_guard lock(mutex_);
        s.started = true;
        changed_.notify_all();
    }
    for (std::size_t done = 0; done < n;) {
        const std::size_t step = std::min(kChunk, n - done);
        f.chunk(m, first + done, s.matches.get() + done, step);
        done += step;
        const std::lock_guard lock(mutex_);
        s.published = done;
        if (stopped_ || s.abandoned) {
            s.done = true;
            changed_.notify_all();
            return;
        }
        changed_.notify_all();
    }
    // The finder's state goes with the piece; this thread takes the slot's
    // old buffers for its next piece, which starts afresh.
    keep_end(s, w.buffers, f, m);
    const std::lock_guard lock(mutex_);
    s.done = true;
    changed_.notify_all();
}

// Before piece k is read: its start compared with the end of the piece
// before, and the piece found again from that end where they differ.
void MatchPieces::check_start(std::size_t k) {
    if (k == 0) return;
    Slot& before = slot(k - 1);
    Slot& s = slot(k);
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return before.done && s.piece == k && s.started; });
    }
    if (!same_state(before.end_buffers.tree, before.end_match, s.start_tree, s.start_match)) {
        {
            std::unique_lock lock(mutex_);
            s.abandoned = true;
            changed_.wait(lock, [&] { return s.done; });
        }
        Finder f = before.end;
        Match m = before.end_match;
        f.steps(m, s.matches.get(), piece_size(k));
        keep_end(s, before.end_buffers, f, m);
        ++found_again_;
        const std::lock_guard lock(mutex_);
        s.published = piece_size(k);
    }
    const std::lock_guard lock(mutex_);
    released_ = k;  // the piece before is read and its end no longer needed
    changed_.notify_all();
}

std::span<const MatchEntry> MatchPieces::take() {
    if (taken_ == piece_size(current_)) {
        ++current_;
        taken_ = 0;
        checked_ = false;
    }
    if (!checked_) {
        check_start(current_);
        checked_ = true;
    }
    Slot& s = slot(current_);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return s.piece == current_ && s.published > taken_; });
    const std::size_t n = std::min(s.published - taken_, kChunk);
    const std::span<const MatchEntry> chunk(s.matches.get() + taken_, n);
    taken_ += n;
    if (read_ < head_start_) {
        read_ += n;
        if (read_ >= head_start_) changed_.notify_all();
    }
    return chunk;
}

void MatchPieces::finish_into(Finder& finder, Match& match) {
    if (pieces_ == 0) return;
    Slot& s = slot(pieces_ - 1);
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return s.piece == pieces_ - 1 && s.done; });
    }
    finder.copy_from(s.end);
    match = s.end_match;
}

}  // namespace kitra::codec
