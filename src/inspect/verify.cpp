#include "inspect/verify.h"

#include <algorithm>
#include <cstring>
#include <future>
#include <variant>

#include "base/fatal.h"
#include "base/json.h"
#include "base/text.h"
#include "cli/catalogue.h"
#include "cli/run_state.h"
#include "convert/microcode_updates.h"
#include "image/markers.h"
#include "image/records.h"
#include "inspect/inventory.h"
#include "inspect/microcode_updates.h"
#include "regions/bootblock_checksum.h"
#include "regions/finishing.h"

namespace kitra::inspect {

namespace {

using base::ByteView;
using base::format;

constexpr std::uint8_t kErased = 0xFF;
// A stored name is cut to this much in a finding's subject.
constexpr std::size_t kSubjectName = 24;

std::string hex(std::uint64_t value) {
    return format("%llXh", static_cast<unsigned long long>(value));
}

std::string offset_text(std::uint64_t offset) {
    return format("%08llX", static_cast<unsigned long long>(offset));
}

// Contents that begin 55 AA are checked as an option ROM when the module is
// of a kind that holds ROMs, or when they carry a PCI data structure: a
// picture or table may begin so by chance.
bool holds_a_rom(const Module& m) {
    const cli::Family family = cli::family_of_type(m.info.type_id);
    return family == cli::Family::kVga || family == cli::Family::kPci || family == cli::Family::kIsa ||
           m.area == ModuleArea::kBootblockVga || m.option_rom->images.front().pci.has_value();
}

std::string module_subject(const Module& m, int row) {
    std::string name = base::printable(m.info.name);
    if (name.size() > kSubjectName) name.resize(kSubjectName);
    switch (m.area) {
        case ModuleArea::kChain:
            if (m.system_bios) return "system BIOS module (\"" + name + "\")";
            return format("module %d (%s \"%s\")", row, m.kind.name.c_str(), name.c_str());
        case ModuleArea::kBootblockVga:
            return "bootblock VGA module (\"" + name + "\")";
        case ModuleArea::kArena:
            return format("arena module %d (%s \"%s\")", row, m.kind.name.c_str(), name.c_str());
    }
    return name;
}

struct Checker {
    ByteView image;
    const image::Layout& layout;
    Verification v;

    void add(std::uint64_t offset, std::string check, std::string subject, std::string found,
             std::string expected) {
        v.findings.push_back(
            {offset, std::move(check), std::move(subject), std::move(found), std::move(expected)});
    }

    void option_rom(const OptionRom& rom, std::uint64_t offset, const std::string& subject) {
        for (const OptionRomImage& i : rom.images) {
            if (!i.has_checksum()) continue;
            ++v.option_roms;
            const std::string what = format("%s, option ROM image at %04llX", subject.c_str(),
                                            static_cast<unsigned long long>(i.offset));
            if (!i.whole)
                add(offset, "option-rom", what,
                    format("its size byte %02Xh asks %u bytes, more than are there", i.size_byte,
                           i.size_byte * 512u),
                    "the whole ROM");
            else if (i.sum != 0)
                add(offset, "option-rom", what, format("8-bit sum %02Xh", i.sum), "00h");
        }
    }

    void module(const Module& m, int row, std::uint64_t limit) {
        const std::string subject = module_subject(m, row);
        const std::uint64_t at = m.info.offset;
        const ModuleCheck& c = m.check;
        ++v.modules;
        if (!c.header_sum_holds())
            add(at + codec::field::kHeaderSum, "header-sum", subject,
                format("header sum %02Xh", c.header_sum), format("%02Xh", c.computed_header_sum));
        if (!c.problem.empty())
            add(at, "unreadable", subject, "contents that do not unpack (" + c.problem + ")",
                "contents that unpack");
        else if (!c.crc16_holds())
            add(at + m.info.header_size - 3, "crc16", subject, format("CRC-16 %04Xh", c.crc16),
                format("%04Xh, the CRC-16 of the unpacked contents", c.computed_crc16.value_or(0)));
        if (m.area == ModuleArea::kChain && !m.system_bios && at + m.info.length() > limit)
            add(at, "past-limit", subject, "an end at " + hex(at + m.info.length()),
                "an end at or below the module limit " + hex(limit));
        if (m.option_rom && holds_a_rom(m)) option_rom(*m.option_rom, at, subject);
        if (m.pe32) pe32(*m.pe32, at, subject);
    }

    void pe32(const Pe32Facts& p, std::uint64_t at, const std::string& subject) {
        // Contents that are no PE32 image are not this tool's to rebase; the
        // inventory says why they are none.
        if (!p.image_base) return;
        ++v.pe32_images;
        if (*p.image_base != p.address)
            add(at, "pe32-base", subject, format("ImageBase %08X", *p.image_base),
                format("%08X, the ROM address its data lie at", p.address));
        if (p.checksum_expected && p.sum != 0)
            add(at, "pe32-checksum", subject, format("8-bit sum %02Xh of the PE32 image", p.sum),
                "00h (the \"*BS1\" PE32 checksum flag is set)");
    }

    // Between the chain's free end and the module limit the flash is
    // erased, but for the holes that lie there: they hold files of their own.
    void after_chain(const FreeSpace& s, const std::optional<Holes>& holes) {
        const std::uint64_t end = std::min<std::uint64_t>(s.module_limit, image.size());
        if (s.chain_end >= end) return;
        std::vector<std::pair<std::uint64_t, std::uint64_t>> skipped;
        if (holes)
            for (const HoleInfo& h : holes->holes)
                skipped.emplace_back(h.entry.start(), h.entry.start() + h.entry.size());
        std::sort(skipped.begin(), skipped.end());
        std::uint64_t count = 0;
        std::uint64_t first = 0;
        std::uint64_t at = s.chain_end;
        for (std::size_t next = 0; at < end;) {
            while (next < skipped.size() && skipped[next].second <= at) ++next;
            if (next < skipped.size() && skipped[next].first <= at) {
                at = skipped[next].second;
                continue;
            }
            const std::uint64_t stop = next < skipped.size() ? std::min(skipped[next].first, end) : end;
            for (; at < stop; ++at) {
                if (image[at] == kErased) continue;
                if (count++ == 0) first = at;
            }
        }
        if (count == 0) return;
        const bool module = codec::has_module_mark(image, first);
        add(first, "after-chain", "free space after the chain's end at " + hex(s.chain_end),
            format("%llu bytes other than FFh from here%s", static_cast<unsigned long long>(count),
                   module ? ", a module header among them" : ""),
            "erased bytes (FFh) up to the module limit " + hex(s.module_limit));
    }

    // The reader's judgement of every update found, and its reason where a
    // checksum does not hold (only an Intel update is found damaged: an AMD
    // patch is known by its checksum alone).
    void microcode(const convert::ImageMicrocode& im) {
        for (const convert::ListedUpdate& l : im.updates) {
            ++v.microcode_updates;
            const convert::Update& u = l.update;
            if (u.checksum_holds) continue;
            const convert::PlaceUpdates& p = im.places[l.place];
            const auto read = convert::read_update(p.bytes, convert::WordSums(p.bytes), u.offset);
            const auto* why = std::get_if<std::string>(&read);
            const bool in_module = p.place == convert::MicrocodePlace::kModule;
            const std::string subject =
                in_module ? format("Intel microcode update at %05llX of the module at %08llX",
                                   static_cast<unsigned long long>(u.offset),
                                   static_cast<unsigned long long>(p.offset))
                          : format("Intel microcode update (signature %08X) of the %s area", u.cpuid(),
                                   place_word(p.place));
            add(in_module ? p.offset : p.offset + u.offset, "microcode", subject,
                why != nullptr ? *why : "a checksum that does not hold", "an update whose checksums hold");
        }
    }

    void holes(const std::optional<Holes>& h) {
        if (!h) return;
        for (const HoleInfo& i : h->holes)
            if (i.record && i.record->size > i.entry.size())
                add(i.record->offset, "hole-size", format("hole ID %04X", i.entry.id),
                    format("a recorded file of %Xh bytes", i.record->size),
                    "at most its size " + hex(i.entry.size()));
    }

    void finishing();
    std::string finishing_field(std::uint64_t offset, std::uint64_t& field_end) const;
};

// What finishing writes at `offset`, and where that field ends.
std::string Checker::finishing_field(std::uint64_t offset, std::uint64_t& field_end) const {
    const image::Layout& l = layout;
    const auto field = [&](std::uint64_t start, std::uint64_t length) {
        return offset >= start && offset < start + length ? (field_end = start + length, true) : false;
    };
    if (l.bbss_found && field(std::uint64_t{l.checksum_block} + 4094, 1)) return "checksum block sum byte";
    if (l.bbss_found && field(std::uint64_t{l.checksum_block} + 4095, 1))
        return "checksum block follower byte";
    const regions::BalancePlace place = regions::balance_place(image, l);
    if (place == regions::BalancePlace::kArea) {
        if (field(l.image_checksum_word, 2)) return "balance word";
        if (field(std::uint64_t{l.image_checksum_word} + 2, regions::kBalanceAreaSize - 2))
            return "balance slots";
    }
    if (place == regions::BalancePlace::kPlainWord &&
        field(image::base_window_start(image.size()) + regions::kPlainBalanceWord, 2))
        return "balance word";
    const auto found = regions::locate_bootblock_checksum(image, regions::bootblock_search_start(image));
    if (const auto* at = std::get_if<regions::BootblockChecksum>(&found); at && field(at->checksum_offset, 1))
        return "bootblock checksum byte";
    for (std::uint64_t back = image::bs1::kMicrocodeAddress; back < image::bs1::kMicrocodeAddress + 4; ++back)
        if (offset >= back && base::matches(image, offset - back, image::bs1::kMarker) &&
            field(offset - back + image::bs1::kMicrocodeAddress, 4))
            return "\"*BS1\" microcode pointer";
    field_end = offset + 1;
    return "byte";
}

// Finishing on a copy, as a run that changed the image would end: every
// byte it writes differently is stale in the image.
void Checker::finishing() {
    cli::Settings settings;
    platform::Console quiet;
    quiet.out = nullptr;
    quiet.err = nullptr;
    cli::Run run(std::move(settings), image::Image({}, base::Bytes(image.begin(), image.end())), layout,
                 quiet);
    run.component_mark = true;
    try {
        regions::finish_image(run);
    } catch (const Fatal& stop) {
        // The stop's text as a run prints it, without what it says of the
        // image file (verify writes nothing).
        std::string why = stop.what();
        why = why.substr(0, why.find("; the image is left unmodified"));
        while (!why.empty() && (why.back() == '\n' || why.back() == '.')) why.pop_back();
        add(0, "finishing-stops", "finishing", "a layout it refuses: " + why,
            "a layout finishing can work on");
        return;
    }
    const ByteView done = run.image.bytes();
    constexpr std::uint64_t kBlock = 4096;
    std::uint64_t at = 0;
    while (at < image.size()) {
        if (at % kBlock == 0 && image.size() - at >= kBlock &&
            std::memcmp(image.data() + at, done.data() + at, kBlock) == 0) {
            at += kBlock;
            continue;
        }
        if (image[at] == done[at]) {
            ++at;
            continue;
        }
        std::uint64_t end = 0;
        const std::string what = finishing_field(at, end);
        end = std::min<std::uint64_t>(end, image.size());
        std::string found;
        std::string expected;
        if (end - at <= 4) {
            // Little-endian fields read as the numbers they are.
            for (std::uint64_t i = end; i > at; --i) found += format("%02X", image[i - 1]);
            for (std::uint64_t i = end; i > at; --i) expected += format("%02X", done[i - 1]);
            found += "h";
            expected += "h";
        } else {
            std::uint64_t differ = 0;
            for (std::uint64_t i = at; i < end; ++i) differ += image[i] != done[i] ? 1 : 0;
            found = format("%llu bytes as they are", static_cast<unsigned long long>(differ));
            expected = "the values finishing writes";
        }
        add(at, "not-finished", what, found, expected);
        at = end;
    }
}

}  // namespace

Verification verify_image(ByteView image, const image::Layout& layout, std::uint64_t unpack_budget) {
    // Finishing works on a copy of its own: a second core does it while the
    // modules are unpacked.
    Checker finished{image, layout, {}};
    std::future<void> finishing = std::async(std::launch::async, [&finished] { finished.finishing(); });
    const Inventory inv =
        take_inventory({}, image, layout, {.digests = false, .unpack_budget = unpack_budget});
    Checker c{image, layout, {}};
    int chain_row = 0;
    int arena_row = 0;
    for (const Module& m : inv.modules) {
        int row = 0;
        if (m.area == ModuleArea::kChain && !m.system_bios) row = ++chain_row;
        if (m.area == ModuleArea::kArena) row = ++arena_row;
        c.module(m, row, inv.space.module_limit);
    }
    c.after_chain(inv.space, inv.holes);
    if (inv.bootblock.vga_rom && inv.bootblock.vga_rom->rom)
        c.option_rom(*inv.bootblock.vga_rom->rom, inv.bootblock.vga_rom->start, "bootblock VGA ROM area");
    if (inv.holes)
        for (const HoleInfo& i : inv.holes->holes)
            if (i.rom) c.option_rom(*i.rom, i.entry.start(), format("hole ID %04X", i.entry.id));
    c.holes(inv.holes);
    c.microcode(inv.microcode);
    finishing.get();
    c.v.findings.insert(c.v.findings.end(), finished.v.findings.begin(), finished.v.findings.end());
    std::stable_sort(c.v.findings.begin(), c.v.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.offset < b.offset; });
    return std::move(c.v);
}

std::string verification_text(const Verification& v, const std::string& image_name) {
    std::string out;
    for (const Finding& f : v.findings)
        out += offset_text(f.offset) + "  " + f.subject + ": " + f.found + ", expected " + f.expected + "\n";
    const std::string name = base::printable(image_name);
    if (!v.sound())
        return out + format("%s is damaged: %zu finding%s.\n", name.c_str(), v.findings.size(),
                            v.findings.size() == 1 ? "" : "s");
    return out + format(
                     "%s is sound: %zu modules unpacked with their header sums and CRCs, %zu option ROM "
                     "images, %zu microcode updates and %zu PE32 images checked; it is finished.\n",
                     name.c_str(), v.modules, v.option_roms, v.microcode_updates, v.pe32_images);
}

std::string verification_json(const Verification& v, const std::string& image_name, std::uint64_t length) {
    base::JsonWriter w;
    w.begin_object().member("schema", kVerifySchema);
    w.key("image").begin_object().member("name", image_name).member("length", length).end_object();
    w.member("sound", v.sound());
    w.key("checked").begin_object();
    w.member("modules", std::uint64_t{v.modules}).member("option_roms", std::uint64_t{v.option_roms});
    w.member("microcode_updates", std::uint64_t{v.microcode_updates});
    w.member("pe32_images", std::uint64_t{v.pe32_images});
    w.end_object();
    w.key("findings").begin_array();
    for (const Finding& f : v.findings) {
        w.begin_object().member("offset", f.offset).member("check", f.check).member("subject", f.subject);
        w.member("found", f.found).member("expected", f.expected);
        w.end_object();
    }
    w.end_array().end_object();
    return w.text();
}

}  // namespace kitra::inspect
