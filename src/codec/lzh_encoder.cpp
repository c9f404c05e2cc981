#include "codec/lzh_encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>

#include "codec/bit_writer.h"
#include "codec/crc16.h"
#include "codec/match_finder.h"
#include "codec/match_pieces.h"

namespace kitra::codec {

namespace {

// The smallest input coded on two threads.
constexpr std::size_t kMinTwoThreads = std::size_t{2} * kWindowSize;
// A block is sent when a new group of eight items might not fit any more.
constexpr unsigned kSendAt = Encoder::kItemBufferSize - 3 * 8;

unsigned significant_bits(unsigned v) {
    return static_cast<unsigned>(std::bit_width(v));
}

// The state of one encode() call.
struct Session {
    Encoder& enc;
    base::ByteView input;
    const Report& report;
    bool progress;
    BitWriter out;
    std::size_t read_pos = 0;  // input bytes taken into the window
    std::uint16_t crc = 0;
    // item buffer
    unsigned item_pos = 0;
    unsigned flag_pos = 0;
    unsigned flag_mask = 0;

    Session(Encoder& e, base::ByteView in, base::Bytes& o, const Report& r, bool p)
        : enc(e), input(in), report(r), progress(p), out(o) {}

    // Counts the next (up to) n input bytes as read, as the window takes
    // them in: into the CRC and into the limit the stream must stay under.
    // Returns the count.
    unsigned take_input(unsigned n) {
        const auto take = static_cast<unsigned>(std::min<std::size_t>(n, input.size() - read_pos));
        crc = crc16(input.subspan(read_pos, take), crc);
        read_pos += take;
        out.set_limit(read_pos);
        return take;
    }

    void send_block();
    void output(unsigned c, unsigned p);
    void write_small_lengths(const std::uint8_t* len, unsigned n, unsigned count_bits, int zero_run_after);
    void count_length_code_freq();
    void write_literal_lengths();
};

// Small-table lengths: 3 bits up to 6, longer ones as k - 4 one bits and a 0
// after the leading "111"; after entry zero_run_after - 1 a 2-bit count of
// the zero lengths that follow (up to entry 5) replaces them.
void Session::write_small_lengths(const std::uint8_t* len, unsigned n, unsigned count_bits,
                                  int zero_run_after) {
    while (n > 0 && len[n - 1] == 0) --n;
    out.put(count_bits, n);
    unsigned i = 0;
    while (i < n) {
        const unsigned k = len[i++];
        if (k <= 6)
            out.put(3, k);
        else
            out.put(k - 3, (1u << (k - 3)) - 2);
        if (static_cast<int>(i) == zero_run_after) {
            while (i < 6 && len[i] == 0) ++i;
            out.put(2, (i - 3) & 3);
        }
    }
}

// Runs of zero lengths among the literal/length lengths: 1 or 2 as that many
// symbols 0, 3 .. 18 as symbol 1 and 4 bits, 19 as symbol 0 then symbol 1
// with 15, longer as symbol 2 and 9 bits; a length k is symbol k + 2.
template <typename Emit>
void for_each_length_symbol(const std::uint8_t* len, Emit&& emit) {
    unsigned n = kLiteralSymbols;
    while (n > 0 && len[n - 1] == 0) --n;
    unsigned i = 0;
    while (i < n) {
        const unsigned k = len[i++];
        if (k != 0) {
            emit(k + 2, 0, 0);
            continue;
        }
        unsigned run = 1;
        while (i < n && len[i] == 0) {
            ++i;
            ++run;
        }
        if (run <= 2) {
            for (unsigned z = 0; z < run; ++z) emit(0, 0, 0);
        } else if (run <= 18) {
            emit(1, 4, run - 3);
        } else if (run == 19) {
            emit(0, 0, 0);
            emit(1, 4, 15);
        } else {
            emit(2, kLiteralCountBits, run - 20);
        }
    }
}

void Session::count_length_code_freq() {
    std::fill(enc.length_code_freq.begin(), enc.length_code_freq.begin() + kLengthCodeSymbols, 0);
    for_each_length_symbol(enc.literal_len.data(),
                           [&](unsigned sym, unsigned, unsigned) { ++enc.length_code_freq[sym]; });
}

void Session::write_literal_lengths() {
    unsigned n = kLiteralSymbols;
    while (n > 0 && enc.literal_len[n - 1] == 0) --n;
    out.put(kLiteralCountBits, n);
    for_each_length_symbol(enc.literal_len.data(), [&](unsigned sym, unsigned extra_bits, unsigned extra) {
        out.put(enc.length_code_len[sym], enc.length_code_code[sym]);
        if (extra_bits != 0) out.put(extra_bits, extra);
    });
}

void Session::send_block() {
    const Report& c = report;
    const unsigned root =
        build_code(enc.builder, kLiteralSymbols, enc.literal_freq, enc.literal_len, enc.literal_code, c);
    const unsigned size = enc.literal_freq[root];
    out.put(16, size);
    if (root >= kLiteralSymbols) {
        count_length_code_freq();
        const unsigned t_root = build_code(enc.builder, kLengthCodeSymbols, enc.length_code_freq,
                                           enc.length_code_len, enc.length_code_code, c);
        if (t_root >= kLengthCodeSymbols) {
            write_small_lengths(enc.length_code_len.data(), kLengthCodeSymbols, kLengthCodeCountBits,
                                kLengthCodeZeroRunAfter);
        } else {
            out.put(kLengthCodeCountBits, 0);
            out.put(kLengthCodeCountBits, t_root);
        }
        write_literal_lengths();
    } else {
        out.put(kLengthCodeCountBits, 0);
        out.put(kLengthCodeCountBits, 0);
        out.put(kLiteralCountBits, 0);
        out.put(kLiteralCountBits, root);
    }
    const unsigned p_root =
        build_code(enc.builder, kPositionSymbols, enc.position_freq, enc.position_len, enc.position_code, c);
    if (p_root >= kPositionSymbols) {
        write_small_lengths(enc.position_len.data(), kPositionSymbols, kPositionCountBits, -1);
    } else {
        out.put(kPositionCountBits, 0);
        out.put(kPositionCountBits, p_root);
    }

    const std::uint8_t* buf = enc.items.data();
    unsigned pos = 0;
    unsigned flags = 0;
    for (unsigned i = 0; i < size; ++i) {
        if (i % 8 == 0)
            flags = buf[pos++];
        else
            flags <<= 1;
        if (flags & 0x80) {
            const unsigned sym = buf[pos++] + 256u;
            out.put(enc.literal_len[sym], enc.literal_code[sym]);
            const unsigned p = (unsigned{buf[pos]} << 8) | buf[pos + 1];
            pos += 2;
            const unsigned k = significant_bits(p);
            out.put(enc.position_len[k], enc.position_code[k]);
            if (k > 1) out.put(k - 1, p);
        } else {
            const unsigned sym = buf[pos++];
            out.put(enc.literal_len[sym], enc.literal_code[sym]);
        }
        if (out.unpackable()) break;
    }
    out.flush();
    std::fill(enc.literal_freq.begin(), enc.literal_freq.begin() + kLiteralSymbols, 0);
    std::fill(enc.position_freq.begin(), enc.position_freq.begin() + kPositionSymbols, 0);
}

// Appends an item: literal byte c, or length symbol c (256 ..) with distance
// value p. A flag byte before each group of eight items marks the matches.
void Session::output(unsigned c, unsigned p) {
    flag_mask >>= 1;
    if (flag_mask == 0) {
        flag_mask = 0x80;
        if (item_pos >= kSendAt) {
            send_block();
            if (out.unpackable()) return;
            item_pos = 0;
        }
        flag_pos = item_pos++;
        enc.items[flag_pos] = 0;
    }
    enc.items[item_pos++] = static_cast<std::uint8_t>(c);
    ++enc.literal_freq[c];
    if (c >= 256) {
        enc.items[flag_pos] = static_cast<std::uint8_t>(enc.items[flag_pos] | flag_mask);
        enc.items[item_pos++] = static_cast<std::uint8_t>(p >> 8);
        enc.items[item_pos++] = static_cast<std::uint8_t>(p);
        ++enc.position_freq[significant_bits(p)];
    }
}

// The matches of the first `count` positions, found a chunk at a time ahead
// of their use: by two threads of their own when asked, else by this one.
// The threads are stopped and joined however encode() ends.
class MatchesAhead {
  public:
    MatchesAhead(Finder& finder, std::size_t count, bool threads, MatchPieces::Shape shape)
        : finder_(finder), count_(count) {
        if (!threads || count == 0) return;
        try {
            pieces_.emplace(finder.input, count, shape);
        } catch (const std::system_error&) {
            // no thread to be had: this one finds them
        }
    }
    MatchesAhead(const MatchesAhead&) = delete;
    MatchesAhead& operator=(const MatchesAhead&) = delete;

    Match next() {
        if (next_ == end_) refill();
        const MatchEntry e = *next_++;
        return {e.length, e.position};
    }
    // The matches at hand without waiting.
    std::size_t at_hand() const { return static_cast<std::size_t>(end_ - next_); }
    // Passes over n - 1 matches at hand (1 <= n <= at_hand()) and returns the
    // next one.
    Match skip(std::size_t n) {
        next_ += n - 1;
        const MatchEntry e = *next_++;
        return {e.length, e.position};
    }
    // After the last match: the window and the tree are the caller's, as the
    // last position left them.
    void hand_back() {
        if (!pieces_) return;
        Match m;
        pieces_->finish_into(finder_, m);
        pieces_.reset();
    }
    // Ends the finding threads, also before the last match.
    void finish() { pieces_.reset(); }

  private:
    void refill() {
        std::span<const MatchEntry> chunk;
        if (pieces_) {
            chunk = pieces_->take();
        } else {
            chunk_.resize(std::min(MatchPieces::kChunk, count_ - done_));
            finder_.chunk(match_, done_, chunk_.data(), chunk_.size());
            done_ += chunk_.size();
            chunk = chunk_;
        }
        next_ = chunk.data();
        end_ = chunk.data() + chunk.size();
    }

    Finder& finder_;
    std::size_t count_;
    const MatchEntry* next_ = nullptr;
    const MatchEntry* end_ = nullptr;
    // Found by threads:
    std::optional<MatchPieces> pieces_;
    // Found by this one:
    Match match_;
    std::vector<MatchEntry> chunk_;
    std::size_t done_ = 0;
};

}  // namespace

Encoder::Encoder()
    : threads(std::max(1u, std::thread::hardware_concurrency())),
      text(kFinderTextSize),
      items(kItemBufferSize) {}

EncodeResult encode(Encoder& enc, base::ByteView input, base::Bytes& out_bytes, const Report& report,
                    bool progress) {
    Session s(enc, input, out_bytes, report, progress);
    enc.literal_freq.fill(0);
    enc.position_freq.fill(0);

    // The matches of positions 0 .. ahead - 1 are found a chunk at a time
    // ahead of their use (by the other thread when there are two): all but
    // the last 257 positions of the input, where the match before a position
    // may be clipped to what remains (at most 256 bytes long, it fits
    // everywhere else, as at least 257 bytes remain in the window before its
    // end); those are found one at a time.
    Finder finder{enc.text.data(), &enc.tree, input};
    const std::size_t n = input.size();
    const std::size_t ahead = n > kMaxMatch + 1 ? n - (kMaxMatch + 1) : 0;
    MatchesAhead matches(finder, ahead,
                         enc.threads >= 2 && n >= std::max(enc.two_threads_from, kMinTwoThreads), enc.pieces);

    // One-step lazy matching, on the match at each position in turn.
    std::size_t at = 0;  // the position's index in the input
    Match match;
    auto find = [&] {
        if (at < ahead) {
            match = matches.next();
            return;
        }
        if (at == ahead) matches.hand_back();
        if (at == 0)
            finder.start(match);
        else
            finder.step(match);
    };
    long remaining = s.take_input(kWindowSize + kMaxMatch);
    unsigned pos = kWindowSize;
    find();
    auto clip = [&] {
        if (match.length > static_cast<unsigned long>(remaining))
            match.length = static_cast<unsigned>(remaining);
    };
    auto advance = [&] {
        --remaining;
        ++at;
        if (++pos == 2 * kWindowSize) {
            remaining += s.take_input(kWindowSize);
            pos = kWindowSize;
            if (progress) report.text(".");
        }
        find();
    };
    clip();
    // The positions inside a match: only the match at the last one counts.
    // Where their matches are at hand and the window need not slide, they
    // are passed over at once. (While a chunk of matches is a whole number
    // of windows, a chunk's end comes first; the slide is checked all the
    // same.)
    auto advance_by = [&](unsigned k) {
        while (k > 0) {
            std::size_t run = std::min<std::size_t>(k, 2 * kWindowSize - 1 - pos);
            run = at + run < ahead ? std::min(run, matches.at_hand()) : 0;
            if (run == 0) {
                advance();
                --k;
                continue;
            }
            remaining -= static_cast<long>(run);
            at += run;
            pos += static_cast<unsigned>(run);
            match = matches.skip(run);
            k -= static_cast<unsigned>(run);
        }
    };

    while (remaining > 0 && !s.out.unpackable()) {
        const Match last = match;
        advance();
        clip();
        if (match.length > last.length || last.length < kThreshold) {
            s.output(input[at - 1], 0);
        } else {
            s.output(last.length + kLengthSymbolBase, (pos - last.position - 2) & kWindowMask);
            advance_by(last.length - 1);
            clip();
        }
    }
    matches.finish();  // stops the finding threads when the stream became unpackable
    if (!s.out.unpackable()) {
        s.send_block();
        s.out.put(7, 0);
        s.out.flush();
    }
    return {s.out.unpackable(), s.read_pos, s.crc};
}

}  // namespace kitra::codec
