#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The hint markup layout: turns a hint text with its small HTML subset into
// positioned pieces, measuring text through an interface so that it runs
// without a display (tests and fuzzing use a fixed-width fake font).
// All text is UTF-8, taken and cut by whole characters; in the text drawn a
// byte that starts no well-formed sequence becomes U+FFFD.
namespace lotfinch::core {

// A 24-bit colour or a reference to a system colour by its index (1..24).
struct HintColor
{
    enum class Kind : uint8_t { None, Rgb, System };
    Kind kind = Kind::None;
    uint32_t value = 0; // 0xRRGGBB, or the system colour's index

    static constexpr HintColor rgb(int red, int green, int blue)
    {
        return {Kind::Rgb, static_cast<uint32_t>((red & 0xFF) << 16 | (green & 0xFF) << 8 | (blue & 0xFF))};
    }
    static constexpr HintColor system(int index) { return {Kind::System, static_cast<uint32_t>(index)}; }
    bool operator==(const HintColor &) const = default;
};

namespace sys {
constexpr int Highlight = 13, HighlightText = 14, DarkShadow3D = 21, Light3D = 22, InfoText = 23, InfoBk = 24;
}

// "#rrggbb" or a colour name such as clRed or clInfoBk (any letter case);
// anything else gives black.
HintColor ParseHintColor(std::string_view text);

struct HintFont
{
    std::string face = "Tahoma";
    int points = 8;
    bool bold = false, italic = false, underline = false, strikeOut = false;
    HintColor color = HintColor::system(sys::InfoText);
    bool operator==(const HintFont &) const = default;
};

struct HintSize
{
    int width = 0, height = 0;
    bool operator==(const HintSize &) const = default;
};

// What the layout needs to know about fonts and pictures.
class HintMetrics
{
public:
    virtual ~HintMetrics() = default;
    virtual int textWidth(const HintFont &font, std::string_view text) = 0;
    // The height of a line of text in font (that of "gh").
    virtual int textHeight(const HintFont &font) = 0;
    // The natural size of the picture an image tag names, or nothing when
    // the program has no such picture.
    virtual std::optional<HintSize> pictureSize(std::string_view source) = 0;
};

enum class HintItemKind : uint8_t {
    Text,    // text: the characters to draw; mnemonics: the byte offsets in text
             // where the characters to underline start
    Picture, // text: the picture's source
    Rule,    // a horizontal line across the hint, in color
    Fill,    // a paragraph background: color, or a left-to-right gradient to background
};

struct HintItem
{
    HintItemKind kind = HintItemKind::Text;
    int x = 0, y = 0, width = 0, height = 0;
    std::string text;
    std::vector<int> mnemonics;
    HintFont font;
    HintColor color;
    HintColor background; // behind a text run; the end colour of a gradient fill
    bool shadow = false;
    bool squiggle = false; // a red zig-zag line under the text
};

struct HintLayoutOptions
{
    HintFont font; // the base font
    HintColor urlColor = HintColor::rgb(0, 0, 255);
    bool ellipsis = false;
    int boxWidth = 0;
    int boxHeight = 0;
};

struct HintLayout
{
    int width = 0;        // of the widest line
    int height = 0;       // of all lines
    HintColor background; // set by a BODY tag
    std::vector<HintItem> items;
};

// Bounds that keep a hostile hint text from making the hint huge or slow.
namespace hintlimits {
constexpr int MinPoints = 4, MaxPoints = 72;
constexpr int MaxPicture = 512;
constexpr int MaxListLevel = 8;
constexpr size_t MaxItems = 4096;
constexpr size_t MaxFaceLength = 64; // characters
} // namespace hintlimits

// The character entities replaced before anything else, repeatedly and
// without regard to case; "&amp;" becomes "&&", which draws one ampersand.
std::string ReplaceHintEntities(std::string_view text);

// Lays out markup in a box of the given size. Lines that would pass the
// box's bottom are left out; nothing ever reaches past its right edge.
HintLayout LayoutHint(std::string_view markup, const HintLayoutOptions &options, HintMetrics &metrics);

// The hint window's size for a text block of the given size.
HintSize HintWindowSize(HintSize text, int xMargin, int yMargin);

} // namespace lotfinch::core
