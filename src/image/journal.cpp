#include "image/journal.h"

#include <algorithm>
#include <iterator>

namespace kitra::image {

namespace {

// Runs of one value at least this long are kept as the value and a length.
// Shorter ones stay with the bytes around them: a record of its own costs
// more than the bytes it would spare.
constexpr std::uint64_t kLongRun = 256;

// Cuts `old` into pieces to keep: long runs of one value, and the bytes
// between them. Calls `piece(offset in old, length, run value or nothing)`.
template <typename Piece>
void for_each_piece(base::ByteView old, Piece piece) {
    std::uint64_t literal = 0;  // start of the bytes not yet handed on
    std::uint64_t i = 0;
    while (i < old.size()) {
        std::uint64_t j = i + 1;
        while (j < old.size() && old[j] == old[i]) ++j;
        if (j - i >= kLongRun) {
            if (literal < i) piece(literal, i - literal, false);
            piece(i, j - i, true);
            literal = j;
        }
        i = j;
    }
    if (literal < old.size()) piece(literal, old.size() - literal, false);
}

}  // namespace

void Journal::save(base::ByteView bytes, std::uint64_t offset, std::uint64_t length) {
    base::check_range(bytes, offset, length);
    const std::uint64_t end = offset + length;
    // The saved range that holds `offset`, else the first one after it.
    auto next = first_.upper_bound(offset);
    if (next != first_.begin()) {
        const auto before = std::prev(next);
        if (before->first + before->second.length > offset) next = before;
    }
    std::uint64_t from = offset;
    while (from < end) {
        // Parts saved by an earlier write get an undo record of their own;
        // parts not written before are kept once, in first_.
        const bool written = next != first_.end() && next->first <= from;
        const std::uint64_t to = written ? std::min(end, next->first + next->second.length)
                                         : (next == first_.end() ? end : std::min(end, next->first));
        const base::ByteView old = bytes.subspan(from, to - from);
        for_each_piece(old, [&](std::uint64_t at, std::uint64_t n, bool run) {
            Saved s;
            s.length = n;
            if (run)
                s.fill = old[at];
            else
                s.bytes.assign(old.begin() + static_cast<std::ptrdiff_t>(at),
                               old.begin() + static_cast<std::ptrdiff_t>(at + n));
            if (written) {
                undo_.push_back({from + at, false, std::move(s)});
            } else {
                first_.emplace(from + at, std::move(s));
                undo_.push_back({from + at, true, {}});
            }
        });
        if (written) ++next;
        from = to;
    }
}

void Journal::put_back(base::MutableByteView bytes, std::uint64_t offset, const Saved& saved) {
    if (saved.bytes.empty())
        base::fill(bytes, offset, saved.length, saved.fill);
    else
        base::copy_into(bytes, offset, saved.bytes);
}

void Journal::roll_back(base::MutableByteView bytes, std::size_t mark) {
    while (undo_.size() > mark) {
        const Undo& u = undo_.back();
        if (u.first) {
            if (const auto it = first_.find(u.offset); it != first_.end()) {
                put_back(bytes, u.offset, it->second);
                first_.erase(it);
            }
        } else {
            put_back(bytes, u.offset, u.saved);
        }
        undo_.pop_back();
    }
}

bool Journal::differs(base::ByteView bytes) const {
    return std::any_of(first_.begin(), first_.end(), [&](const auto& entry) {
        const base::ByteView now = base::slice(bytes, entry.first, entry.second.length);
        const Saved& s = entry.second;
        if (s.bytes.empty()) return std::any_of(now.begin(), now.end(), [&](auto b) { return b != s.fill; });
        return !std::equal(now.begin(), now.end(), s.bytes.begin());
    });
}

void Journal::settle() {
    undo_.clear();
    first_.clear();
}

}  // namespace kitra::image
