#include "regions/space_advice.h"

#include <algorithm>
#include <iterator>
#include <numeric>

#include "base/text.h"
#include "cli/catalogue.h"
#include "codec/module_header.h"
#include "image/layout.h"
#include "regions/position_dependent.h"

namespace kitra::regions {

namespace {

using cli::AdvisedRelease;
using cli::SpaceAdvice;

// A set whose release turns out to free less than its sizes say (the pad of
// a position-dependent module behind it grew) is asked for again with the
// difference added, this many times at most.
constexpr int kTries = 8;

using base::ull;

std::string trimmed(std::string name) {
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

// The modules of the area a release may take, in chain order.
std::vector<AdvisedRelease> candidates(base::ByteView image, const ChainArea& area, bool all_kinds) {
    std::vector<AdvisedRelease> out;
    std::uint64_t pos = area.first;
    while (pos < area.limit) {
        const auto m = codec::module_at(image, pos);
        if (!m || pos + m->length() > area.limit) break;
        if (all_kinds || (!area.bootblock && !cli::is_position_dependent(m->type_id))) {
            AdvisedRelease r;
            r.offset = pos;
            r.type_id = m->type_id;
            r.name = trimmed(area.bootblock ? cli::bootblock_listing_name(m->type_id, m->type_suffix)
                                            : cli::listing_name(m->type_id, m->type_suffix));
            r.stored_name = m->name.substr(0, std::min(m->name.find('\0'), m->name.size()));
            r.frees = m->step();
            out.push_back(std::move(r));
        }
        pos += m->step();
    }
    return out;
}

std::uint64_t freed(const std::vector<const AdvisedRelease*>& set) {
    return std::accumulate(set.begin(), set.end(), std::uint64_t{0},
                           [](std::uint64_t sum, const AdvisedRelease* r) { return sum + r->frees; });
}

// The fewest modules (of `by_size`, smallest first) that free at least
// `need` bytes, and of those a set that gives up as few bytes as it can:
// exactly for one and two modules, by trading each module for the smallest
// that still does for more.
std::vector<const AdvisedRelease*> smallest_set(const std::vector<const AdvisedRelease*>& by_size,
                                                std::uint64_t need) {
    const std::size_t n = by_size.size();
    for (const AdvisedRelease* r : by_size)
        if (r->frees >= need) return {r};
    std::optional<std::pair<std::size_t, std::size_t>> pair;
    for (std::size_t i = 0, j = n; i + 1 < j;) {
        if (by_size[i]->frees + by_size[j - 1]->frees >= need) {
            if (!pair || by_size[i]->frees + by_size[j - 1]->frees <
                             by_size[pair->first]->frees + by_size[pair->second]->frees)
                pair = {i, j - 1};
            --j;
        } else {
            ++i;
        }
    }
    if (pair) return {by_size[pair->first], by_size[pair->second]};

    // The k largest are the most k modules can free.
    std::vector<bool> chosen(n, false);
    std::uint64_t sum = 0;
    std::size_t k = 0;
    for (std::size_t i = n; i > 0 && sum < need; --i, ++k) {
        chosen[i - 1] = true;
        sum += by_size[i - 1]->frees;
    }
    if (sum < need) return {};
    for (bool traded = true; traded;) {
        traded = false;
        for (std::size_t i = n; i > 0; --i) {
            if (!chosen[i - 1]) continue;
            for (std::size_t j = 0; j < i - 1; ++j) {
                if (chosen[j] || sum - by_size[i - 1]->frees + by_size[j]->frees < need) continue;
                sum = sum - by_size[i - 1]->frees + by_size[j]->frees;
                chosen[i - 1] = false;
                chosen[j] = true;
                traded = true;
                break;
            }
        }
    }
    std::vector<const AdvisedRelease*> set;
    for (std::size_t i = 0; i < n; ++i)
        if (chosen[i]) set.push_back(by_size[i]);
    return set;
}

// Where the chain would end with `set` released: its sizes taken off, unless
// a position-dependent module lies behind one of them, when the releases
// are made on a copy of the image. None when a release would be refused.
std::optional<std::uint64_t> end_after(base::ByteView image, const ChainArea& area,
                                       std::vector<const AdvisedRelease*> set) {
    std::sort(set.begin(), set.end(),
              [](const AdvisedRelease* a, const AdvisedRelease* b) { return a->offset > b->offset; });
    const std::uint64_t lowest = set.back()->offset;
    bool rebuilds = false;
    for (std::uint64_t pos = lowest; pos < area.end;) {
        const auto m = codec::module_at(image, pos);
        if (!m) break;
        rebuilds = rebuilds || cli::is_position_dependent(m->type_id);
        pos += m->step();
    }
    if (!rebuilds) return area.end - freed(set);
    base::Bytes copy(image.begin(), image.end());
    const image::Editable work(copy);
    for (const AdvisedRelease* r : set)
        if (compact(work, r->offset, r->frees, area.limit, {})) return std::nullopt;
    return image::chain_end(copy, area.first);
}

std::string hex(std::uint64_t v) {
    return base::format("%llXh", ull(v));
}

}  // namespace

SpaceAdvice find_release(base::ByteView image, const ChainArea& area, std::uint64_t shortfall,
                         const FitsAt& fits_at, bool all_kinds) {
    SpaceAdvice advice;
    advice.shortfall = shortfall;
    advice.all_kinds = all_kinds;
    const std::vector<AdvisedRelease> found = candidates(image, area, all_kinds);
    std::vector<const AdvisedRelease*> by_size;
    by_size.reserve(found.size());
    for (const AdvisedRelease& r : found) by_size.push_back(&r);
    // Smallest first; of equal sizes the one nearer the end of the chain,
    // whose release moves the fewest modules.
    std::stable_sort(by_size.begin(), by_size.end(), [](const AdvisedRelease* a, const AdvisedRelease* b) {
        return a->frees != b->frees ? a->frees < b->frees : a->offset > b->offset;
    });
    // What they free together, as the releases would leave the chain.
    const std::uint64_t all_end =
        by_size.empty() ? area.end : end_after(image, area, by_size).value_or(area.end);
    advice.most = all_end < area.end ? area.end - all_end : 0;
    if (!fits_at(all_end)) return advice;  // not even all of them make room
    std::uint64_t need = shortfall;
    for (int t = 0; t < kTries && need <= advice.most; ++t) {
        std::vector<const AdvisedRelease*> set = smallest_set(by_size, need);
        if (set.empty()) break;
        const std::optional<std::uint64_t> end = end_after(image, area, set);
        if (!end) break;
        if (fits_at(*end)) {
            std::sort(set.begin(), set.end(),
                      [](const AdvisedRelease* a, const AdvisedRelease* b) { return a->offset < b->offset; });
            for (const AdvisedRelease* r : set) advice.release.push_back(*r);
            return advice;
        }
        // It freed less than its sizes: ask for what it fell short by, and
        // at least a pad's worth more.
        const std::uint64_t expected = area.end - freed(set);
        need += std::max<std::uint64_t>(*end > expected ? *end - expected : 0, 16);
    }
    // The pads of the modules that move do not add up: from all of them,
    // each is left out, the smallest first, where the rest still make room.
    std::vector<const AdvisedRelease*> set = by_size;
    for (std::size_t i = 0; i < by_size.size(); ++i) {
        std::vector<const AdvisedRelease*> fewer;
        std::copy_if(set.begin(), set.end(), std::back_inserter(fewer),
                     [&](const AdvisedRelease* r) { return r != by_size[i]; });
        if (fewer.empty()) break;
        const std::optional<std::uint64_t> end = end_after(image, area, fewer);
        if (end && fits_at(*end)) set = std::move(fewer);
    }
    std::sort(set.begin(), set.end(),
              [](const AdvisedRelease* a, const AdvisedRelease* b) { return a->offset < b->offset; });
    for (const AdvisedRelease* r : set) advice.release.push_back(*r);
    return advice;
}

std::string advice_line(const SpaceAdvice& advice) {
    std::string line = "Advice: " + hex(advice.shortfall) + " bytes short";
    if (advice.bootblock_arena) line += " in the bootblock arena";
    if (!advice.releases_help) return line + "; " + advice.why + ".\n";
    if (advice.bootblock_arena && !advice.all_kinds)
        return line +
               "; only the arena's own modules could make room, and they are named only when asked "
               "(/advice:all).\n";
    if (advice.release.empty()) {
        line += "; releasing every module kitra may name frees " + hex(advice.most) + " bytes, not enough";
        if (!advice.all_kinds) line += " (position-dependent modules are named only when asked: /advice:all)";
        return line + ".\n";
    }
    line += "; releasing ";
    for (std::size_t i = 0; i < advice.release.size(); ++i) {
        const AdvisedRelease& r = advice.release[i];
        if (i > 0) line += i + 1 == advice.release.size() ? " and " : ", ";
        line += r.name + " \"" + base::printable(r.stored_name) + "\" (" + hex(r.frees) + " bytes)";
    }
    return line + " would make room.\n";
}

void advise_release(cli::Run& run, const ChainArea& area, std::uint64_t shortfall, const FitsAt& fits_at) {
    if (run.settings.advice == cli::Advice::kOff) return;
    const bool all_kinds = run.settings.advice == cli::Advice::kAll;
    SpaceAdvice advice;
    if (area.bootblock && !all_kinds)
        advice.shortfall = shortfall;
    else
        advice = find_release(run.image.bytes(), area, shortfall, fits_at, all_kinds);
    advice.bootblock_arena = area.bootblock;
    platform::write(run.con, advice_line(advice));
    run.advice.push_back(std::move(advice));
}

void advise_fixed(cli::Run& run, std::uint64_t shortfall, std::string_view why) {
    if (run.settings.advice == cli::Advice::kOff) return;
    SpaceAdvice advice;
    advice.shortfall = shortfall;
    advice.releases_help = false;
    advice.why = why;
    advice.all_kinds = run.settings.advice == cli::Advice::kAll;
    platform::write(run.con, advice_line(advice));
    run.advice.push_back(std::move(advice));
}

}  // namespace kitra::regions
