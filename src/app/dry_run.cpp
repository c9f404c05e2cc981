#include "app/dry_run.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/held_image.h"
#include "app/item_loop.h"
#include "base/fatal.h"
#include "base/json.h"
#include "base/text.h"
#include "cli/catalogue.h"
#include "cli/command_line.h"
#include "cli/item.h"
#include "cli/write_intent.h"
#include "image/layout.h"
#include "inspect/diff.h"
#include "inspect/inventory.h"
#include "inspect/inventory_json.h"
#include "inspect/inventory_text.h"
#include "inspect/space_report.h"
#include "platform/files.h"
#include "platform/process.h"
#include "regions/space_advice.h"

namespace kitra::app {

namespace {

using base::format;
using inspect::ModuleChange;
using inspect::ModuleDifference;
using inspect::RangeDifference;
using platform::Console;

int dry_run(const std::vector<std::string>& args, Console& con);

const cli::NewCommand kCommands[] = {
    {"--dry-run", "runs a legacy command line in memory; says what it would do",
     "kitra IMAGE --dry-run ITEM... [--json]\n"
     "  Runs the legacy command line kitra IMAGE ITEM... (with /err, /advice and\n"
     "  the other switches it may hold) on the image in memory, and writes\n"
     "  nothing: not the image, not an extracted file, not a prepared built-in\n"
     "  input (CPUCODE.BIN, ...), not TOP_HOLE.BIN. It prints what the real run\n"
     "  would print, then a summary: each item's result and what it did to the\n"
     "  modules (added, replaced, moved, removed, with their bytes in the image)\n"
     "  and to other bytes, what finishing would write, the free space before and\n"
     "  after, the files it would write and where, and whether the image would be\n"
     "  written back. Its exit status is the real run's. It takes no lock. With\n"
     "  --json the run's own text goes to the error stream and the summary is one\n"
     "  document (schema \"kitra-dry-run/1\").\n",
     nullptr, nullptr, nullptr, 1, nullptr, dry_run},
};

constexpr const char* kDryRunSchema = "kitra-dry-run/1";
// The words of an item as its line shows them.
constexpr std::size_t kWordsWidth = 56;

using base::ull;

std::string hex(std::uint64_t v) {
    return format("%llXh", ull(v));
}

// A file the run would write.
struct FileWrite {
    std::string path;       // as the run names it
    std::string full_path;  // where it would be
    std::uint64_t size = 0;
    bool replaces = false;  // a file of that name is there
    std::size_t item = 0;   // the item that writes it, from 1
};

struct ItemReport {
    ItemDone done;
    std::vector<std::string> words;
    bool release = false;  // its argument is "release"
    std::vector<ModuleDifference> modules;
    std::vector<RangeDifference> ranges;
    std::vector<cli::SpaceAdvice> advice;
    bool stopped = false;  // it stopped the run
};

struct FreeSpace {
    std::string word;
    std::string name;
    std::optional<std::uint64_t> before;
    std::optional<std::uint64_t> after;
};

struct Summary {
    std::string image;
    std::uint64_t length = 0;
    std::vector<std::string> command_line;  // the words after the image
    bool ran = false;                       // the image was opened and its items run
    std::vector<ItemReport> items;
    std::vector<std::string> not_run;  // from the word the loop stopped at, unless all are switches
    bool not_run_from_item = false;    // the loop stopped at the last item's extract name
    bool finished = false;
    std::vector<RangeDifference> finishing;
    std::vector<FreeSpace> free;
    std::vector<FileWrite> files;
    bool written = false;
    std::string stop;  // a stop that ends the run and discards its changes
    int status = 0;
};

// Words after which the item loop stops without a message, and that only
// set how the whole run goes.
bool is_switch(const std::string& word) {
    for (const char* w : {"/err", "noreserve", "checksum"})
        if (cli::equal_ignoring_case(word, w)) return true;
    return cli::is_advice_word(word);
}

std::vector<FreeSpace> free_space(const inspect::SpaceReport& before, const inspect::SpaceReport& after) {
    std::vector<FreeSpace> out;
    const auto find = [&](const inspect::SpaceArea& a) {
        return std::find_if(out.begin(), out.end(),
                            [&](const FreeSpace& f) { return f.word == a.word && f.name == a.name; });
    };
    for (const inspect::SpaceArea& a : before.areas) out.push_back({a.word, a.name, a.free, std::nullopt});
    for (const inspect::SpaceArea& a : after.areas) {
        auto it = find(a);
        if (it == out.end()) it = out.insert(out.end(), {a.word, a.name, std::nullopt, std::nullopt});
        it->after = a.free;
    }
    return out;
}

inspect::SpaceReport space_of(const std::string& name, base::ByteView bytes, const image::Layout& layout) {
    return inspect::space_report(
        inspect::take_inventory(name, bytes, layout, {.digests = false, .contents = false}), bytes);
}

// The legacy run, as run_tool runs it, without the hold and the commit: its
// files go to `s.files` instead of the file system.
int run_legacy(std::vector<std::string> line, Console& con, Summary& s) {
    // The words as typed: start-up cuts "/TopHole:address" to the option.
    const std::vector<std::string> typed = line;
    cli::StartUp start = cli::start_up(std::move(line), platform::environment_variable("_last"), con);
    if (!start.settings) return start.exit_status;
    cli::Settings& settings = *start.settings;
    if (cli::may_change_image(settings)) {
        if (const auto status = refused_image(settings.image_name, settings.error_mode, con)) return *status;
        if (const auto status = refused_write(settings.image_name, settings.error_mode, con)) return *status;
    }
    const bool top_hole_option = cli::kind_of(settings.first_option_code).place == cli::Place::kTopHole;
    const std::uint32_t top_hole_address = settings.top_hole_address;
    auto opened = read_image(settings.image_name, top_hole_address, top_hole_option);
    if (auto* problem = std::get_if<std::string>(&opened)) {
        platform::write(con, *problem);
        return settings.error_mode ? 1 : 0;
    }
    OpenedImage& img = std::get<OpenedImage>(opened);
    const base::Bytes original = img.image.bytes();
    const image::Layout original_layout = img.layout;
    cli::Run run(std::move(settings), std::move(img.image), img.layout, con);
    // What it would have written is kept, by full path, and read back where
    // a later item reads that file, as the real run would find it.
    std::map<std::string, base::Bytes> written;
    run.write_file = [&](const std::string& path, const base::Bytes& bytes, platform::LinkRule) {
        const std::string full = platform::full_path(path);
        s.files.push_back({path, full, bytes.size(), written.contains(full) || platform::file_exists(path),
                           s.items.size() + 1});
        written[full] = bytes;
        return std::string();
    };
    run.read_file = [&](const std::string& path,
                        std::uint64_t max_size) -> std::variant<base::Bytes, platform::ReadProblem> {
        const auto it = written.find(platform::full_path(path));
        if (it == written.end()) return platform::read_file_up_to(path, max_size);
        if (it->second.size() > max_size) return platform::ReadProblem::kTooLarge;
        return it->second;
    };
    s.ran = true;
    s.length = original.size();

    // What each item did: the image before it against the image after it.
    base::Bytes before = original;
    image::Layout before_layout = original_layout;
    std::size_t advice_before = 0;
    const auto& args = run.settings.args;
    ItemWatch watch;
    int current = 0;  // the item running
    watch.before = [&](const cli::Run& r, int index) {
        advice_before = r.advice.size();
        current = index;
    };
    watch.after = [&](const cli::Run& r, const ItemDone& done) {
        ItemReport item;
        item.done = done;
        const auto last = std::min<std::size_t>(static_cast<std::size_t>(done.next), args.size());
        item.words.assign(typed.begin() + done.index, typed.begin() + static_cast<std::ptrdiff_t>(last));
        const auto is = [&](const char* word) {
            return std::any_of(item.words.begin() + 1, item.words.end(),
                               [&](const std::string& w) { return cli::equal_ignoring_case(w, word); });
        };
        item.release = is("release");
        // An extract's file name is the word after it, where the loop then
        // stops: it belongs to the item.
        if (is("extract") && last < args.size() && cli::lookup_option(args[last]) == 0 &&
            !is_switch(args[last]))
            item.words.push_back(args[last]);
        const inspect::Difference d = inspect::diff_images(
            {s.image, before, before_layout}, {s.image, r.image.bytes(), r.layout}, {.unpack = false});
        item.modules = d.modules;
        item.ranges = d.ranges;
        item.advice.assign(r.advice.begin() + static_cast<std::ptrdiff_t>(advice_before), r.advice.end());
        s.items.push_back(std::move(item));
        before = r.image.bytes();
        before_layout = r.layout;
    };
    ItemsRun result;
    try {
        result = run_items(run, watch);
    } catch (const Fatal& stop) {
        // The item that stops the run, with its words as the loop reads them.
        platform::Console silent;
        silent.out = nullptr;
        const cli::Item item = cli::read_item(run.settings, current, run.layout.extended_layout, silent);
        const auto next =
            std::min<std::size_t>(static_cast<std::size_t>(cli::next_item_index(item)), args.size());
        ItemReport stopped;
        stopped.done = {current, static_cast<int>(next), item.option_code, true, true};
        stopped.words.assign(typed.begin() + current, typed.begin() + static_cast<std::ptrdiff_t>(next));
        stopped.stopped = true;
        s.items.push_back(std::move(stopped));
        throw;
    }

    // The words from where the loop stopped, unless they are switches only.
    std::size_t stop = std::min(static_cast<std::size_t>(result.stopped_at), args.size());
    if (!s.items.empty() && stop < args.size() &&
        static_cast<std::size_t>(s.items.back().done.index) + s.items.back().words.size() == stop + 1)
        ++stop;  // the extract name of the last item
    s.not_run_from_item = stop != static_cast<std::size_t>(result.stopped_at);
    if (std::any_of(args.begin() + static_cast<std::ptrdiff_t>(stop), args.end(),
                    [](const std::string& w) { return !is_switch(w); }))
        s.not_run.assign(args.begin() + static_cast<std::ptrdiff_t>(stop), args.end());
    s.finished = result.finished;
    const base::ByteView now = run.image.bytes();
    auto found = image::discover_layout(now, top_hole_address, top_hole_option);
    const image::Layout layout =
        std::holds_alternative<image::Layout>(found) ? std::get<image::Layout>(found) : run.layout;
    if (s.finished)
        s.finishing =
            inspect::diff_images({s.image, before, before_layout}, {s.image, now, layout}, {.unpack = false})
                .ranges;
    s.free = free_space(space_of(s.image, original, original_layout), space_of(s.image, now, layout));
    s.written = run.image.changed();
    if (s.written) note_other_links(run.image.path(), platform::link_count(run.image.path()), con);
    return result.status;
}

// What the diff calls a change, as what the item did.
const char* verb(const ItemReport& item, const ModuleDifference& m) {
    switch (m.change) {
        case ModuleChange::kAdded:
            return "adds";
        case ModuleChange::kRemoved:
            return item.release ? "releases" : "removes";
        case ModuleChange::kMoved:
            return "moves";
        case ModuleChange::kHeader:
        case ModuleChange::kRepacked:
        case ModuleChange::kChanged:
            break;
    }
    // A position-dependent module behind a removed one is made again for
    // its new place: it moves.
    return m.moved && cli::is_position_dependent(m.type_id) ? "moves" : "replaces";
}

const char* change_word(const char* verb) {
    const std::string v = verb;
    if (v == "adds") return "added";
    if (v == "releases") return "released";
    if (v == "removes") return "removed";
    if (v == "moves") return "moved";
    return "replaced";
}

std::string side_text(const inspect::ModuleSide& side) {
    return format("\"%s\", %s bytes at %08llXh", base::printable(side.name).c_str(), hex(side.step).c_str(),
                  ull(side.offset));
}

std::string module_text(const ItemReport& item, const ModuleDifference& m) {
    const char* v = verb(item, m);
    std::string text = format("       %-9s%s ", v, m.kind.name.c_str());
    const std::string word = v;
    if (word == "adds") return text + side_text(*m.new_side);
    if (word == "releases" || word == "removes") return text + side_text(*m.old_side);
    if (word == "moves")
        return text + format("\"%s\", %s bytes, %08llXh -> %08llXh",
                             base::printable(m.new_side->name).c_str(), hex(m.new_side->step).c_str(),
                             ull(m.old_side->offset), ull(m.new_side->offset));
    return text + side_text(*m.old_side) + " with " + side_text(*m.new_side);
}

// The ranges of other bytes, one line per region in the order met.
std::vector<std::string> range_texts(const std::vector<RangeDifference>& ranges) {
    struct Region {
        std::string name;
        std::uint64_t first = 0;
        std::uint64_t end = 0;
        std::uint64_t differing = 0;
    };
    std::vector<Region> regions;
    for (const RangeDifference& r : ranges) {
        auto it =
            std::find_if(regions.begin(), regions.end(), [&](const Region& x) { return x.name == r.region; });
        if (it == regions.end()) it = regions.insert(regions.end(), {r.region, r.offset, r.offset, 0});
        it->first = std::min(it->first, r.offset);
        it->end = std::max(it->end, r.offset + r.length);
        it->differing += r.differing;
    }
    std::vector<std::string> out;
    out.reserve(regions.size());
    for (const Region& r : regions)
        out.push_back(format("%s bytes of the %s, %08llXh-%08llXh", hex(r.differing).c_str(), r.name.c_str(),
                             ull(r.first), ull(r.end - 1)));
    return out;
}

std::string advice_text(const cli::SpaceAdvice& a) {
    std::string line = regions::advice_line(a);
    line.erase(0, std::string_view("Advice: ").size());
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "" : " ") + base::printable(w);
    return out;
}

std::string summary_text(const Summary& s) {
    std::string out;
    const auto line = [&](const std::string& text) { out += text + "\n"; };
    line("");
    line(format("Dry run of %s: nothing was written.", base::printable(s.image).c_str()));
    if (!s.ran) {
        line(format("  The run ends before any item; exit status %d.", s.status));
        return out;
    }
    for (std::size_t i = 0; i < s.items.size(); ++i) {
        const ItemReport& item = s.items[i];
        std::string result = item.stopped ? "stops the run" : item.done.failed ? "failed" : "done";
        if (item.done.ends_loop && !item.stopped) result += ", ends the loop";
        line(format("  %2zu. %-*s %s", i + 1, static_cast<int>(kWordsWidth),
                    inspect::fit(joined(item.words), kWordsWidth).c_str(), result.c_str()));
        for (const ModuleDifference& m : item.modules) line(module_text(item, m));
        for (const std::string& r : range_texts(item.ranges)) line("       changes  " + r);
        for (const cli::SpaceAdvice& a : item.advice) line("       advice   " + advice_text(a));
    }
    if (!s.not_run.empty() && s.not_run_from_item)
        line("  The item loop ends at the extract name; these words are not run: " + joined(s.not_run));
    else if (!s.not_run.empty())
        line(format("  The item loop stops at \"%s\"; these words are not run: %s",
                    base::printable(s.not_run.front()).c_str(), joined(s.not_run).c_str()));
    if (!s.stop.empty()) {
        line("  The run stops there: every change is discarded, and the image is left as it was.");
    } else if (!s.finished) {
        line("  The image would not be finished: the run changes nothing that needs it.");
    } else if (s.finishing.empty()) {
        line("  The image would be finished; its checksums are right as they are.");
    } else {
        line("  The image would be finished; finishing changes:");
        for (const std::string& r : range_texts(s.finishing)) line("       " + r);
    }
    if (s.stop.empty() && !s.free.empty()) {
        line(format("  %-28s %10s %10s", "Free space", "before", "after"));
        for (const FreeSpace& f : s.free) {
            std::string name = f.name;
            name.erase(0, name.find_first_not_of(' '));
            line(format("    %-26s %10s %10s", name.c_str(), f.before ? hex(*f.before).c_str() : "-",
                        f.after ? hex(*f.after).c_str() : "-"));
        }
    }
    if (!s.files.empty()) {
        line("  Files it would write:");
        for (const FileWrite& f : s.files)
            line(format("    %s, %s bytes, %s (item %zu): %s", base::printable(f.path).c_str(),
                        hex(f.size).c_str(), f.replaces ? "over the file there" : "a new file", f.item,
                        base::printable(f.full_path).c_str()));
    }
    line(format("  The image would %s; exit status %d.", s.written ? "be written back" : "be left as it is",
                s.status));
    return out;
}

void write_ranges(base::JsonWriter& w, std::string_view key, const std::vector<RangeDifference>& ranges) {
    w.key(key).begin_array();
    for (const RangeDifference& r : ranges)
        w.begin_object()
            .member("offset", r.offset)
            .member("length", r.length)
            .member("differing", r.differing)
            .member("region", r.region)
            .end_object();
    w.end_array();
}

void write_side(base::JsonWriter& w, std::string_view key, const std::optional<inspect::ModuleSide>& side) {
    w.key(key);
    if (!side) {
        w.null();
        return;
    }
    w.begin_object()
        .member("offset", side->offset)
        .member("size", side->step)
        .member("name", side->name)
        .end_object();
}

void write_advice(base::JsonWriter& w, const cli::SpaceAdvice& a) {
    w.begin_object().member("shortfall", a.shortfall).member("bootblock_arena", a.bootblock_arena);
    w.member("releases_help", a.releases_help);
    w.key("why");
    if (a.releases_help)
        w.null();
    else
        w.value(a.why);
    w.member("all_kinds", a.all_kinds).member("most", a.most);
    w.key("release").begin_array();
    for (const cli::AdvisedRelease& r : a.release) {
        w.begin_object().member("offset", r.offset);
        inspect::member_hex(w, "type_id", r.type_id, 4);
        w.member("name", r.name).member("stored_name", r.stored_name).member("frees", r.frees).end_object();
    }
    w.end_array().end_object();
}

std::string summary_json(const Summary& s) {
    base::JsonWriter w;
    w.begin_object().member("schema", kDryRunSchema);
    w.key("image").begin_object().member("name", s.image).key("length");
    if (s.ran)
        w.value(s.length);
    else
        w.null();
    w.end_object();
    w.key("command_line").begin_array();
    for (const std::string& word : s.command_line) w.value(word);
    w.end_array();
    w.member("ran", s.ran);
    w.key("items").begin_array();
    for (const ItemReport& item : s.items) {
        w.begin_object();
        w.key("words").begin_array();
        for (const std::string& word : item.words) w.value(word);
        w.end_array();
        w.member("option_code", item.done.option_code);
        w.member("result", item.stopped ? "stopped" : item.done.failed ? "failed" : "done");
        w.member("ends_loop", item.done.ends_loop);
        w.key("modules").begin_array();
        for (const ModuleDifference& m : item.modules) {
            w.begin_object()
                .member("change", change_word(verb(item, m)))
                .member("area", inspect::area_word(m.area));
            inspect::member_hex(w, "type_id", m.type_id, 4);
            w.key("kind");
            inspect::write_kind(w, m.kind);
            write_side(w, "old", m.old_side);
            write_side(w, "new", m.new_side);
            w.end_object();
        }
        w.end_array();
        write_ranges(w, "other_bytes", item.ranges);
        w.key("advice").begin_array();
        for (const cli::SpaceAdvice& a : item.advice) write_advice(w, a);
        w.end_array();
        w.end_object();
    }
    w.end_array();
    w.key("not_run").begin_array();
    for (const std::string& word : s.not_run) w.value(word);
    w.end_array();
    w.key("finishing").begin_object().member("finished", s.finished);
    write_ranges(w, "changes", s.finishing);
    w.end_object();
    w.key("free_space").begin_array();
    for (const FreeSpace& f : s.free) {
        std::string name = f.name;
        name.erase(0, name.find_first_not_of(' '));
        w.begin_object().member("area", f.word).member("name", name);
        w.key("before");
        if (f.before)
            w.value(*f.before);
        else
            w.null();
        w.key("after");
        if (f.after)
            w.value(*f.after);
        else
            w.null();
        w.end_object();
    }
    w.end_array();
    w.key("files").begin_array();
    for (const FileWrite& f : s.files)
        w.begin_object()
            .member("path", f.path)
            .member("full_path", f.full_path)
            .member("size", f.size)
            .member("replaces", f.replaces)
            .member("item", static_cast<std::uint64_t>(f.item))
            .end_object();
    w.end_array();
    w.key("stop");
    if (s.stop.empty())
        w.null();
    else
        w.value(s.stop);
    w.member("image_written", s.written).member("exit_status", s.status);
    w.end_object();
    return w.text();
}

int dry_run(const std::vector<std::string>& args, Console& con) {
    const cli::NewCommand& command = kCommands[0];
    std::vector<std::string> items(args.begin() + 3, args.end());
    const bool json = cli::take_switch(items, "--json");
    for (const std::string& word : items)
        if (word.starts_with("--"))
            return cli::wrong_command_line(con, command, base::printable(word) + " is no switch of it");
    if (items.empty())
        return cli::wrong_command_line(con, command, "it needs the items of a legacy command line");

    // With --json standard output holds the summary alone.
    Console run_con = con;
    if (json) {
        run_con.out = con.err;
        run_con.out_is_terminal = false;
        run_con.column = 0;
    }
    Summary s;
    s.image = args[1];
    s.command_line = items;
    std::vector<std::string> line{args[0], args[1]};
    line.insert(line.end(), items.begin(), items.end());
    try {
        s.status = run_legacy(std::move(line), run_con, s);
    } catch (const Fatal& stop) {
        platform::write(run_con, stop.what());
        s.stop = stop.what();
        while (!s.stop.empty() && s.stop.back() == '\n') s.stop.pop_back();
        s.status = stop.status;
        s.written = false;
    }
    if (json) {
        platform::write(con, summary_json(s));
    } else {
        if (run_con.column != 0) platform::write(run_con, "\n");
        platform::write(run_con, summary_text(s));
    }
    return s.status;
}

}  // namespace

std::span<const cli::NewCommand> dry_run_commands() {
    return kCommands;
}

}  // namespace kitra::app
