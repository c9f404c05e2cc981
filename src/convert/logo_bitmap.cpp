#include "convert/logo_bitmap.h"

#include <array>
#include <optional>

#include "convert/bmp_file.h"
#include "convert/bottom_strip.h"
#include "convert/firmware_bitmap.h"

namespace kitra::convert {

namespace {

using base::Bytes;
using base::ByteView;
using Entry = std::array<std::uint8_t, 4>;  // blue, green, red, fourth byte, as in a BMP palette

// The logo flags byte: each set bit switches a reservation (or the strip) off.
namespace flag {
constexpr std::uint8_t kNoStrip = 0x01;  // full-screen mode: no strip, no grey and white for 16 colours
constexpr std::uint8_t kNoGrey = 0x10;
constexpr std::uint8_t kNoWhite = 0x20;
constexpr std::uint8_t kNoBlack = 0x40;
constexpr std::uint8_t kNoBlue = 0x80;
}  // namespace flag

// The entries the system colours keep on the firmware's screen.
constexpr std::uint8_t kBlackEntry = 0;
constexpr std::uint8_t kGreyEntry = 7;
constexpr std::uint8_t kBlueEntry = 9;
constexpr std::uint8_t kWhiteEntry = 15;

// The full screen a 256-colour logo is centred on. A picture of the
// screen's width and this many rows or more fills the strip's place and is
// drawn without it.
constexpr std::uint32_t kScreenWidth = 640;
constexpr std::uint32_t kScreenHeight = 480;
constexpr std::uint32_t kNoStripHeight = kScreenHeight - kStripRows + 1;  // 465

constexpr std::string_view kLogoColours = " !! BMP colors not support (Only support 16 & 256 colors) !!\n";
constexpr std::string_view kOsbColours = " !! Unsupport this color mode in OSB (Only 16 or 256 colors) !!\n";

Entry entry_of(const BmpPicture& p, std::uint32_t i) {
    const std::uint64_t at = std::uint64_t{i} * bmp::kPaletteEntry;
    return {p.palette[at], p.palette[at + 1], p.palette[at + 2], p.palette[at + 3]};
}

// The palette index of each of the `width` pixels of a stored row.
Bytes indices_of(ByteView row, const BmpPicture& p) {
    if (p.bit_count == 8) return Bytes(row.begin(), row.begin() + p.width);
    Bytes out(p.width);
    for (std::uint32_t x = 0; x < p.width; ++x)
        out[x] = static_cast<std::uint8_t>(x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F);
    return out;
}

// The first entry of the picture's palette (whole entries from the file)
// that `match` accepts.
template <typename Match>
std::optional<Entry> find_entry(const BmpPicture& p, Match match) {
    for (std::uint32_t i = 0; i < p.palette_entries; ++i) {
        const Entry e = entry_of(p, i);
        if (match(e)) return e;
    }
    return std::nullopt;
}

// The palette a logo is drawn with: the system colours' entries, then the
// picture's colours in the entries still free.
class ScreenPalette {
  public:
    explicit ScreenPalette(std::uint32_t colours) : colours_(colours) {
        for (Entry& e : entries_) e = {0xFF, 0xFF, 0xFF, 0xFF};
    }

    void hold(std::uint8_t index, Entry e) {
        entries_[index] = e;
        held_[index] = true;
    }

    // The entry of a picture colour: one that already holds it, else the
    // first free one, which takes it; with none free, entry 0. An entry that
    // has been given away is never free again, even when its colour is the
    // erased pattern FF FF FF FF, so two colours never share an entry.
    std::uint8_t index_of(const Entry& colour) {
        for (std::uint32_t i = 0; i < colours_; ++i)
            if (held_[i] && entries_[i] == colour) return static_cast<std::uint8_t>(i);
        for (std::uint32_t i = 0; i < colours_; ++i) {
            if (held_[i]) continue;
            hold(static_cast<std::uint8_t>(i), colour);
            return static_cast<std::uint8_t>(i);
        }
        return 0;
    }

    const Entry& operator[](std::uint32_t i) const { return entries_[i]; }

  private:
    std::uint32_t colours_;
    std::array<Entry, 256> entries_{};
    std::array<bool, 256> held_{};
};

void reserve_black(ScreenPalette& out, const BmpPicture& p) {
    const auto found = find_entry(p, [](const Entry& e) { return e[0] <= 40 && e[1] <= 40 && e[2] <= 40; });
    out.hold(kBlackEntry, found.value_or(Entry{0, 0, 0, 0}));
}

// A grey of the picture's own is an entry whose four bytes are one level.
void reserve_grey(ScreenPalette& out, const BmpPicture& p) {
    const auto found = find_entry(
        p, [](const Entry& e) { return e[0] > 99 && e[0] == e[1] && e[1] == e[2] && e[2] == e[3]; });
    const std::uint8_t level = found ? (*found)[0] : 0x80;
    out.hold(kGreyEntry, Entry{level, level, level, 0});
}

void reserve_blue(ScreenPalette& out, const BmpPicture& p) {
    const auto found = find_entry(p, [](const Entry& e) { return e[0] > 199 && e[1] <= 50 && e[2] <= 50; });
    out.hold(kBlueEntry, found.value_or(Entry{0xFF, 0, 0, 0}));
}

// The system colours, in the order that decides which picture entry each
// search finds first.
void reserve_system_colours(ScreenPalette& out, const BmpPicture& p, bool epa, std::uint8_t flags) {
    if (epa) {
        if (!(flags & flag::kNoGrey)) reserve_grey(out, p);
        if (!(flags & flag::kNoBlue)) reserve_blue(out, p);
    }
    if (!(flags & flag::kNoBlack)) reserve_black(out, p);
    if (p.colours() == 16 && !(flags & flag::kNoStrip)) {
        if (!(flags & flag::kNoGrey)) reserve_grey(out, p);
        if (!(flags & flag::kNoWhite)) out.hold(kWhiteEntry, Entry{0xFF, 0xFF, 0xFF, 0});
    }
}

// "RGB " and the palette at `at`: blue, green, red for 16 colours, red, green,
// blue for 256; 6-bit VGA DAC values unless `full` keeps 8 bits.
template <typename EntryAt>
void write_trailer(Bytes& out, std::uint64_t at, std::uint32_t colours, bool full, EntryAt entry_at) {
    base::copy_into(out, at, base::view_of(fwbmp::kTrailerMark));
    at += fwbmp::kTrailerMark.size();
    const int shift = full ? 0 : 2;
    for (std::uint32_t i = 0; i < colours; ++i, at += fwbmp::kPaletteEntry) {
        const Entry e = entry_at(i);
        const bool bgr = colours == 16;
        base::write_u8(out, at, static_cast<std::uint8_t>((bgr ? e[0] : e[2]) >> shift));
        base::write_u8(out, at + 1, static_cast<std::uint8_t>(e[1] >> shift));
        base::write_u8(out, at + 2, static_cast<std::uint8_t>((bgr ? e[2] : e[0]) >> shift));
    }
}

std::uint64_t trailer_size(std::uint32_t colours) {
    return fwbmp::kTrailerMark.size() + std::uint64_t{colours} * fwbmp::kPaletteEntry;
}

Bytes logo_conversion(const BmpPicture& p, bool epa, std::uint8_t flags, bool no_reserve,
                      const Signature& signature) {
    if (epa) flags &= static_cast<std::uint8_t>(~flag::kNoStrip);
    const std::uint32_t colours = p.colours();
    const std::uint32_t w = p.width;
    const std::uint32_t h = p.height;
    std::uint32_t out_w = w;
    std::uint32_t out_h = h;
    std::uint64_t row_length = rounded_row_length(w, colours);
    const bool padded = !epa && colours == 256 && (h < kScreenHeight || w < kScreenWidth);
    if (padded) {
        if (h < kScreenHeight) out_h = kScreenHeight;
        if (w < kScreenWidth) out_w = row_length = kScreenWidth;
    }

    const std::uint64_t pixels_end = fwbmp::kRows + row_length * out_h;
    Bytes out(pixels_end + trailer_size(colours), 0);
    base::copy_into(out, 0, signature);
    base::write_u16(out, fwbmp::kWidth, static_cast<std::uint16_t>(out_w));
    base::write_u16(out, fwbmp::kHeight, static_cast<std::uint16_t>(out_h));

    ScreenPalette palette(colours);
    if (no_reserve) {
        for (std::uint32_t i = 0; i < colours; ++i)
            palette.hold(static_cast<std::uint8_t>(i), entry_of(p, i));
    } else {
        reserve_system_colours(palette, p, epa, flags);
    }
    // A picture index keeps the entry its colour got when it first appeared.
    std::array<std::optional<std::uint8_t>, 256> mapped{};
    const auto map = [&](std::uint8_t index) {
        if (no_reserve) return index;
        if (!mapped[index]) mapped[index] = palette.index_of(entry_of(p, index));
        return *mapped[index];
    };

    // Rows outside the picture's band on the screen stay blank.
    const std::uint32_t top = padded && h < kScreenHeight ? (kScreenHeight - h) / 2 : 0;
    const std::uint32_t left = padded && w < kScreenWidth ? (kScreenWidth - w) / 2 : 0;
    std::uint32_t next = 0;  // stored rows are bottom row first
    for (std::uint32_t r = out_h; r-- > 0;) {
        if (r < top || r >= top + h) continue;
        Bytes indices = indices_of(p.row(next++), p);
        for (std::uint8_t& i : indices) i = map(i);
        const base::MutableByteView row =
            base::slice(base::MutableByteView(out), fwbmp::kRows + r * row_length, row_length);
        if (colours == 256)
            base::copy_into(row, left, indices);
        else
            to_bit_planes(indices, row);
    }

    if (!epa && colours == 256 && !(flags & flag::kNoStrip) && (h < kNoStripHeight || w < kScreenWidth))
        base::copy_into(out, pixels_end - kStripSize, bottom_strip());
    write_trailer(out, pixels_end, colours, false, [&](std::uint32_t i) { return palette[i]; });
    return out;
}

// The OSB conversions: the picture's own palette and indices. 16-colour rows
// become bit planes, or stay packed as stored in the GUI form; 256-colour
// rows keep exactly their width.
Bytes osb_conversion(const BmpPicture& p, const cli::LogoPosition& position, const Signature& signature,
                     bool gui) {
    const std::uint32_t colours = p.colours();
    const std::uint64_t row_length = colours == 16 ? rounded_row_length(p.width, 16) : p.width;
    const std::uint64_t pixels_end = fwbmp::kRows + row_length * p.height;
    Bytes out(pixels_end + trailer_size(colours), 0);
    if (position.present) {
        base::write_u16(out, fwbmp::kX, static_cast<std::uint16_t>(position.x));
        base::write_u16(out, fwbmp::kY, static_cast<std::uint16_t>(position.y));
    } else {
        base::copy_into(out, 0, signature);
    }
    base::write_u16(out, fwbmp::kWidth, static_cast<std::uint16_t>(p.width));
    base::write_u16(out, fwbmp::kHeight, static_cast<std::uint16_t>(p.height));

    for (std::uint32_t i = 0; i < p.height; ++i) {
        const std::uint32_t r = p.height - 1 - i;
        const ByteView stored = p.row(i);
        const base::MutableByteView row =
            base::slice(base::MutableByteView(out), fwbmp::kRows + r * row_length, row_length);
        if (colours == 16 && !gui)
            to_bit_planes(indices_of(stored, p), row);
        else
            base::copy_into(row, 0, stored.first(row_length));
    }
    write_trailer(out, pixels_end, colours, gui, [&](std::uint32_t i) { return entry_of(p, i); });
    return out;
}

// A true-colour picture is kept whole behind its mark: the firmware's GUI
// draws BMP files of its own.
Bytes true_colour_wrapper(ByteView bmp) {
    Bytes out(fwbmp::kTrueColourMark.begin(), fwbmp::kTrueColourMark.end());
    out.insert(out.end(), bmp.begin(), bmp.end());
    return out;
}

}  // namespace

std::variant<Bytes, std::string> convert_bitmap(cli::Bitmap conversion, ByteView bmp, std::string_view name,
                                                const BitmapSettings& settings) {
    if (conversion == cli::Bitmap::kAsItIs) return Bytes(bmp.begin(), bmp.end());
    const bool logo = conversion == cli::Bitmap::kFullScreen || conversion == cli::Bitmap::kEpa;
    const bool gui = conversion == cli::Bitmap::kGuiOsb;
    auto read = read_bmp(bmp, name, gui, logo ? kLogoColours : kOsbColours);
    if (auto* refusal = std::get_if<std::string>(&read)) return std::move(*refusal);
    const BmpPicture& p = std::get<BmpPicture>(read);
    if (logo)
        return logo_conversion(p, conversion == cli::Bitmap::kEpa, settings.logo_flags, settings.no_reserve,
                               settings.signature);
    if (p.colours() == 0) return true_colour_wrapper(bmp);
    return osb_conversion(p, settings.position, settings.signature, gui);
}

}  // namespace kitra::convert
