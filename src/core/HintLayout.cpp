#include "core/HintLayout.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "text/Utf8Text.h"

namespace lotfinch::core {

namespace {

char upper(char c)
{
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool isWordChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (upper(text[i]) != upper(prefix[i]))
            return false;
    return true;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && startsWithNoCase(a, b);
}

// A whole number with an optional sign; digits beyond a million stop counting
// so that no value can overflow.
std::optional<int> parseNumber(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i])))
        return std::nullopt;
    int value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = std::min(value * 10 + (text[i] - '0'), 1000000);
    return negative ? -value : value;
}

struct Attribute
{
    std::string value;
    bool quoted = false;
};

// The value of NAME=... in the text of a tag. A quoted value runs to the
// next double quote, an unquoted one to the next blank.
std::optional<Attribute> attribute(std::string_view tag, std::string_view name)
{
    for (size_t pos = 0; pos + name.size() <= tag.size(); ++pos) {
        if (!startsWithNoCase(tag.substr(pos), name) || (pos > 0 && isWordChar(tag[pos - 1])))
            continue;
        size_t i = pos + name.size();
        while (i < tag.size() && tag[i] == ' ')
            ++i;
        if (i >= tag.size() || tag[i] != '=')
            continue;
        ++i;
        while (i < tag.size() && tag[i] == ' ')
            ++i;
        if (i < tag.size() && tag[i] == '"') {
            size_t close = tag.find('"', i + 1);
            size_t end = close == std::string_view::npos ? tag.size() : close;
            return Attribute{std::string(tag.substr(i + 1, end - i - 1)), true};
        }
        size_t end = i;
        while (end < tag.size() && tag[end] != ' ')
            ++end;
        return Attribute{std::string(tag.substr(i, end - i)), false};
    }
    return std::nullopt;
}

std::optional<HintColor> quotedColor(std::string_view tag, std::string_view name)
{
    auto value = attribute(tag, name);
    if (!value || !value->quoted)
        return std::nullopt;
    return ParseHintColor(value->value);
}

struct Entity
{
    std::string_view name, replacement;
};

// The replacements in UTF-8: § ‰ ® © ¶ ™ €.
constexpr std::array<Entity, 9> entities{{
    {"&amp;", "&&"},
    {"&quot;", "\""},
    {"&sect;", "\xC2\xA7"},
    {"&permil;", "\xE2\x80\xB0"},
    {"&reg;", "\xC2\xAE"},
    {"&copy;", "\xC2\xA9"},
    {"&para;", "\xC2\xB6"},
    {"&trade;", "\xE2\x84\xA2"},
    {"&euro;", "\xE2\x82\xAC"},
}};

constexpr std::array<std::string_view, 16> basicColorNames{
    "clblack",  "clmaroon", "clgreen", "clolive",  "clnavy", "clpurple",  "clteal", "clgray",
    "clsilver", "clred",    "cllime",  "clyellow", "clblue", "clfuchsia", "claqua", "clwhite"};
constexpr std::array<uint32_t, 16> basicColorValues{0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                                    0x008080, 0x808080, 0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00,
                                                    0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
// Index i is the system colour i + 1.
constexpr std::array<std::string_view, 24> systemColorNames{"clbackground",
                                                            "clactivecaption",
                                                            "clinactivecaption",
                                                            "clmenu",
                                                            "clwindow",
                                                            "clwindowframe",
                                                            "clmenutext",
                                                            "clwindowtext",
                                                            "clcaptiontext",
                                                            "clactiveborder",
                                                            "clinactiveborder",
                                                            "clappworkspace",
                                                            "clhighlight",
                                                            "clhighlighttext",
                                                            "clbtnface",
                                                            "clbtnshadow",
                                                            "clgraytext",
                                                            "clbtntext",
                                                            "clinactivecaptiontext",
                                                            "clbtnhighlight",
                                                            "cl3ddkshadow",
                                                            "cl3dlight",
                                                            "clinfotext",
                                                            "clinfobk"};

constexpr std::string_view ellipsisText = "...";
constexpr std::string_view bullet = "\xE2\x80\xA2";               // U+2022
constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD"; // U+FFFD
constexpr int listIndent = 12;

enum class Align : uint8_t { Left, Center, Right };

// The characters a run draws: "&nbsp;", "&lt;" and "&gt;" replaced, "&&" as
// one ampersand, a single "&" hidden and marking the next character for
// underlining, tabs expanded to the next multiple of eight characters. A
// byte that starts no well-formed sequence becomes U+FFFD, so that a run is
// always well-formed and bytes never join up across a hidden "&".
std::string decodeRun(std::string_view raw, std::vector<int> &mnemonics)
{
    std::string out;
    out.reserve(raw.size());
    size_t characters = 0; // in out, for the tab stops
    auto add = [&](std::string_view character) {
        out += character;
        ++characters;
    };
    auto characterAt = [&](size_t pos, size_t length) {
        bool broken = length == 1 && static_cast<unsigned char>(raw[pos]) >= 0x80;
        return broken ? replacementCharacter : raw.substr(pos, length);
    };
    for (size_t i = 0; i < raw.size();) {
        char c = raw[i];
        if (c == '&') {
            std::string_view rest = raw.substr(i);
            if (rest.size() > 1 && rest[1] == '&') {
                add("&");
                i += 2;
            } else if (startsWithNoCase(rest, "&nbsp;")) {
                add(" ");
                i += 6;
            } else if (startsWithNoCase(rest, "&lt;")) {
                add("<");
                i += 4;
            } else if (startsWithNoCase(rest, "&gt;")) {
                add(">");
                i += 4;
            } else {
                size_t length = text::utf8CharLength(raw, i + 1);
                if (length > 0) {
                    mnemonics.push_back(static_cast<int>(out.size()));
                    add(rest[1] == '\t' ? " " : characterAt(i + 1, length));
                }
                i += 1 + length;
            }
        } else if (c == '\t') {
            size_t spaces = 8 - characters % 8;
            out.append(spaces, ' ');
            characters += spaces;
            ++i;
        } else {
            size_t length = text::utf8CharLength(raw, i);
            add(characterAt(i, length));
            i += length;
        }
    }
    return out;
}

class Layouter
{
public:
    Layouter(const HintLayoutOptions &options, HintMetrics &metrics)
        : opt_(options), metrics_(metrics), font_(options.font)
    {
        boxWidth_ = std::max(0, opt_.boxWidth);
        startLine();
    }

    HintLayout run(std::string_view text);

private:
    struct Line
    {
        size_t firstItem;
        int width, top, height;
        Align align;
        HintColor fill, fillTo;
    };

    HintFont runFont() const;
    HintColor runBackground() const;
    int indentStart() const;
    void startLine();
    void finishLine();
    bool canAdd() const { return !stopped_ && !lineCut_ && out_.items.size() < hintlimits::MaxItems; }
    void makeRoom(int need);
    void placeRun(std::string_view raw);
    void placeText(std::string display, std::vector<int> mnemonics, const HintFont &font, int offset);
    void placePicture(std::string_view tag);
    void handleTag(std::string_view tag);
    void endParagraph();
    void finish();

    const HintLayoutOptions &opt_;
    HintMetrics &metrics_;
    HintLayout out_;
    std::vector<Line> lines_;
    int boxWidth_ = 0;
    bool stopped_ = false;

    // Style in force
    HintFont font_;
    HintColor background_;
    bool link_ = false, hidden_ = false, shadow_ = false, squiggle_ = false, highlight_ = false;
    int script_ = 0; // -1 lowered, +1 raised
    int listLevel_ = 0;
    int paraIndent_ = 0;
    Align paraAlign_ = Align::Left;
    HintColor paraFill_, paraFillTo_;

    // The line being built
    Line line_{};
    int x_ = 0;
    int lineHeight_ = 0;
    bool hasContent_ = false;
    bool endsInSpace_ = true;
    bool lineCut_ = false;
};

HintFont Layouter::runFont() const
{
    HintFont font = font_;
    if (link_) {
        font.underline = true;
        font.color = opt_.urlColor;
    }
    if (highlight_)
        font.color = HintColor::system(sys::HighlightText);
    if (script_ != 0)
        font.points = std::max(hintlimits::MinPoints, font.points * 2 / 3);
    return font;
}

HintColor Layouter::runBackground() const
{
    return highlight_ ? HintColor::system(sys::Highlight) : background_;
}

int Layouter::indentStart() const
{
    return std::min(paraIndent_ + listLevel_ * listIndent, boxWidth_ / 2);
}

void Layouter::startLine()
{
    line_ = Line{out_.items.size(), 0, line_.top + line_.height, 0, paraAlign_, paraFill_, paraFillTo_};
    x_ = indentStart();
    lineHeight_ = std::max(1, metrics_.textHeight(font_));
    hasContent_ = false;
    endsInSpace_ = true;
    lineCut_ = false;
}

void Layouter::finishLine()
{
    if (stopped_)
        return;
    line_.height = lineHeight_;
    if (line_.top + line_.height > opt_.boxHeight) {
        out_.items.resize(line_.firstItem);
        stopped_ = true;
        return;
    }
    // Runs of different sizes line up at the bottom; y held their offset.
    for (size_t i = line_.firstItem; i < out_.items.size(); ++i) {
        HintItem &item = out_.items[i];
        item.y += line_.top + line_.height - item.height;
    }
    out_.width = std::max(out_.width, line_.width);
    lines_.push_back(line_);
    startLine();
}

void Layouter::makeRoom(int need)
{
    if (need > boxWidth_ - x_ && !opt_.ellipsis && hasContent_ && endsInSpace_)
        finishLine();
}

void Layouter::placeRun(std::string_view raw)
{
    if (hidden_ || !canAdd())
        return;
    std::vector<int> mnemonics;
    std::string display = decodeRun(raw, mnemonics);
    if (display.empty())
        return;
    HintFont font = runFont();
    int height = metrics_.textHeight(font);
    int offset = script_ < 0 ? height / 3 : script_ > 0 ? -height / 2 : 0;
    placeText(std::move(display), std::move(mnemonics), font, offset);
}

void Layouter::placeText(std::string display, std::vector<int> mnemonics, const HintFont &font, int offset)
{
    // A character that draws anything is at least a pixel wide, so no more
    // than a box width of them can show: a longer run is cut to that before
    // it is measured and ends in "...". Measuring stays bounded however long
    // the run, also when zero-width characters would pass the width cut.
    const size_t cap = text::utf8FirstCharacters(display, static_cast<size_t>(boxWidth_) + 1).size();
    const bool capped = cap < display.size();
    if (capped) {
        display.resize(cap);
        std::erase_if(mnemonics, [&](int index) { return index >= static_cast<int>(cap); });
    }
    int width = metrics_.textWidth(font, display);
    int trailing = !capped && display.back() == ' ' ? metrics_.textWidth(font, " ") : 0;
    makeRoom(width - trailing);
    if (!canAdd())
        return;
    if (capped || width - trailing > boxWidth_ - x_) {
        // Too wide for what is left of the line: cut it with "..." at the edge.
        // The cut falls between whole characters.
        int room = boxWidth_ - x_ - metrics_.textWidth(font, ellipsisText);
        std::vector<size_t> cuts{0};
        for (size_t pos = 0; pos < display.size();)
            cuts.push_back(pos += text::utf8CharLength(display, pos));
        size_t low = 0, high = cuts.size() - 1;
        while (low < high) {
            size_t mid = (low + high + 1) / 2;
            if (metrics_.textWidth(font, std::string_view(display).substr(0, cuts[mid])) <= room)
                low = mid;
            else
                high = mid - 1;
        }
        if (opt_.ellipsis)
            lineCut_ = true;
        if (room < 0)
            return;
        const size_t kept = cuts[low];
        display.resize(kept);
        display += ellipsisText;
        std::erase_if(mnemonics, [&](int index) { return index >= static_cast<int>(kept); });
        width = metrics_.textWidth(font, display);
        trailing = 0;
    }
    HintItem item;
    item.kind = HintItemKind::Text;
    item.x = x_;
    item.y = offset;
    // A trailing space may hang past the edge; it draws nothing there.
    item.width = std::min(width, boxWidth_ - x_);
    item.height = metrics_.textHeight(font);
    item.text = std::move(display);
    item.mnemonics = std::move(mnemonics);
    item.font = font;
    item.color = font.color;
    item.background = runBackground();
    item.shadow = shadow_;
    item.squiggle = squiggle_;
    // After a cut the next run may still wrap to a fresh line.
    endsInSpace_ = item.text.back() == ' ' || (!opt_.ellipsis && item.text.ends_with(ellipsisText));
    lineHeight_ = std::max(lineHeight_, item.height);
    x_ += width;
    line_.width = std::min(boxWidth_, x_ - trailing);
    hasContent_ = true;
    out_.items.push_back(std::move(item));
}

// Only pictures the program holds are shown (by "IDX:" index from the image
// list, or by name from the picture container): markup never makes the hint
// read files, resources or the network.
void Layouter::placePicture(std::string_view tag)
{
    if (hidden_ || !canAdd())
        return;
    auto source = attribute(tag, "SRC");
    std::optional<HintSize> natural;
    if (source && !source->value.empty())
        natural = metrics_.pictureSize(source->value);
    if (!natural) {
        if (auto alt = attribute(tag, "ALT"); alt && !alt->value.empty())
            placeRun(alt->value);
        return;
    }
    auto dimension = [&](std::string_view name, int fallback) {
        auto value = attribute(tag, name);
        auto number = value ? parseNumber(value->value) : std::nullopt;
        return std::clamp(number.value_or(fallback), 1, hintlimits::MaxPicture);
    };
    int width = dimension("WIDTH", natural->width);
    int height = dimension("HEIGHT", natural->height);
    makeRoom(width);
    if (!canAdd() || width > boxWidth_ - x_)
        return;
    HintItem item;
    item.kind = HintItemKind::Picture;
    item.x = x_;
    item.width = width;
    item.height = height;
    item.text = source->value;
    lineHeight_ = std::max(lineHeight_, height);
    x_ += width;
    line_.width = x_;
    hasContent_ = true;
    endsInSpace_ = false;
    out_.items.push_back(std::move(item));
}

void Layouter::endParagraph()
{
    if (hasContent_)
        finishLine();
    paraAlign_ = Align::Left;
    paraIndent_ = 0;
    paraFill_ = paraFillTo_ = HintColor{};
}

void Layouter::handleTag(std::string_view tag)
{
    size_t i = 0;
    bool closing = !tag.empty() && tag[0] == '/';
    if (closing)
        ++i;
    size_t start = i;
    while (i < tag.size() && isWordChar(tag[i]))
        ++i;
    std::string name;
    for (char c : tag.substr(start, std::min<size_t>(i - start, 8)))
        name += upper(c);

    if (name.starts_with("BR")) {
        finishLine();
        return;
    }
    bool on = !closing;
    if (name == "B") {
        font_.bold = on;
    } else if (name == "I") {
        font_.italic = on;
    } else if (name == "U") {
        font_.underline = on;
    } else if (name == "S") {
        font_.strikeOut = on;
    } else if (name == "FONT") {
        if (closing) {
            font_.face = opt_.font.face;
            font_.points = opt_.font.points;
            font_.color = opt_.font.color;
            background_ = HintColor{};
            return;
        }
        if (auto face = attribute(tag, "FACE"); face && !face->value.empty())
            font_.face = text::utf8FirstCharacters(face->value, hintlimits::MaxFaceLength);
        if (auto color = quotedColor(tag, "COLOR"))
            font_.color = *color;
        if (auto color = quotedColor(tag, "BGCOLOR"))
            background_ = *color;
        if (auto size = attribute(tag, "SIZE")) {
            if (auto number = parseNumber(size->value)) {
                static constexpr int named[] = {8, 10, 12, 14, 16};
                int points = *number >= 1 && *number <= 5 ? named[*number - 1] : *number;
                font_.points = std::clamp(points, hintlimits::MinPoints, hintlimits::MaxPoints);
            }
        }
    } else if (name == "A") {
        link_ = on;
    } else if (name == "P") {
        endParagraph();
        if (closing)
            return;
        if (auto align = attribute(tag, "ALIGN")) {
            if (equalsNoCase(align->value, "center"))
                paraAlign_ = Align::Center;
            else if (equalsNoCase(align->value, "right"))
                paraAlign_ = Align::Right;
        }
        if (auto indent = attribute(tag, "INDENT"))
            paraIndent_ = std::clamp(parseNumber(indent->value).value_or(0), 0, boxWidth_ / 2);
        paraFill_ = quotedColor(tag, "BGCOLOR").value_or(HintColor{});
        paraFillTo_ = quotedColor(tag, "BGCOLORTO").value_or(paraFill_);
        startLine();
    } else if (name == "HR" && on) {
        if (hasContent_)
            finishLine();
        if (!canAdd())
            return;
        HintItem rule;
        rule.kind = HintItemKind::Rule;
        rule.x = x_;
        rule.width = -1; // reaches the right edge once the hint's width is known
        rule.height = std::max(2, metrics_.textHeight(font_) / 2);
        rule.color = HintColor::rgb(128, 128, 128);
        lineHeight_ = rule.height;
        out_.items.push_back(rule);
        hasContent_ = true;
        finishLine();
    } else if (name == "HI") {
        highlight_ = on;
    } else if (name == "E") {
        squiggle_ = on;
    } else if (name == "SUB") {
        script_ = on ? -1 : 0;
    } else if (name == "SUP") {
        script_ = on ? 1 : 0;
    } else if (name == "SHAD") {
        shadow_ = on;
    } else if (name == "UL") {
        if (hasContent_)
            finishLine();
        listLevel_ = std::clamp(listLevel_ + (on ? 1 : -1), 0, hintlimits::MaxListLevel);
        x_ = indentStart();
    } else if (name == "LI") {
        if (hasContent_)
            finishLine();
        if (on && listLevel_ > 0 && !hidden_ && canAdd()) {
            HintFont font = runFont();
            x_ = std::max(0, indentStart() - listIndent);
            placeText(std::string(bullet), {}, font, 0);
            x_ = std::max(x_, indentStart());
        }
    } else if (name == "IND" && on) {
        if (auto value = attribute(tag, "X"))
            x_ = std::max(x_, std::clamp(parseNumber(value->value).value_or(0), 0, boxWidth_));
    } else if (name == "IMG" && on) {
        placePicture(tag);
    } else if (name == "BODY" && on) {
        if (auto color = quotedColor(tag, "BGCOLOR"))
            out_.background = *color;
    } else if (name == "Z") {
        hidden_ = on;
    }
}

HintLayout Layouter::run(std::string_view text)
{
    size_t pos = 0;
    while (pos < text.size() && !stopped_) {
        if (text[pos] == '<') {
            size_t close = text.find('>', pos);
            if (close == std::string_view::npos)
                break; // a "<" without ">" ends the text
            handleTag(text.substr(pos + 1, close - pos - 1));
            pos = close + 1;
            continue;
        }
        size_t end = pos;
        // With wrapping on a run also ends after a space.
        while (end < text.size() && text[end] != '<' && (opt_.ellipsis || end == pos || text[end - 1] != ' '))
            ++end;
        placeRun(text.substr(pos, end - pos));
        pos = end;
    }
    finish();
    return std::move(out_);
}

void Layouter::finish()
{
    if (hasContent_)
        finishLine();
    int width = out_.width;
    out_.height = lines_.empty() ? metrics_.textHeight(opt_.font) : lines_.back().top + lines_.back().height;

    std::vector<HintItem> fills;
    for (size_t n = 0; n < lines_.size(); ++n) {
        const Line &line = lines_[n];
        size_t end = n + 1 < lines_.size() ? lines_[n + 1].firstItem : out_.items.size();
        int shift = line.align == Align::Right    ? width - line.width
                    : line.align == Align::Center ? (width - line.width) / 2
                                                  : 0;
        for (size_t i = line.firstItem; i < end; ++i) {
            HintItem &item = out_.items[i];
            item.x += shift;
            // Shifting moves a trailing space past the edge; it draws nothing.
            item.width = std::min(item.width, boxWidth_ - item.x);
            if (item.kind == HintItemKind::Rule) {
                item.x = std::min(item.x, width);
                item.width = width - item.x;
            }
        }
        if (line.fill.kind != HintColor::Kind::None) {
            HintItem fill;
            fill.kind = HintItemKind::Fill;
            fill.y = line.top;
            fill.width = width;
            fill.height = line.height;
            fill.color = line.fill;
            fill.background = line.fillTo;
            fills.push_back(fill);
        }
    }
    if (!fills.empty())
        out_.items.insert(out_.items.begin(), fills.begin(), fills.end());
}

} // namespace

HintColor ParseHintColor(std::string_view text)
{
    if (text.size() == 7 && text[0] == '#' &&
        std::all_of(text.begin() + 1, text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
        return {HintColor::Kind::Rgb, static_cast<uint32_t>(std::stoul(std::string(text.substr(1)), nullptr, 16))};
    for (size_t i = 0; i < basicColorNames.size(); ++i)
        if (equalsNoCase(text, basicColorNames[i]))
            return {HintColor::Kind::Rgb, basicColorValues[i]};
    for (size_t i = 0; i < systemColorNames.size(); ++i)
        if (equalsNoCase(text, systemColorNames[i]))
            return HintColor::system(static_cast<int>(i) + 1);
    return HintColor::rgb(0, 0, 0);
}

std::string ReplaceHintEntities(std::string_view text)
{
    // Every entity ends in ";" and no replacement does, so checking the end
    // of the output at each ";" gives the result of replacing repeatedly
    // until none is left, in one pass.
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c != ';')
            continue;
        for (const Entity &entity : entities) {
            if (out.size() >= entity.name.size() &&
                equalsNoCase(std::string_view(out).substr(out.size() - entity.name.size()), entity.name)) {
                out.resize(out.size() - entity.name.size());
                out += entity.replacement;
                break;
            }
        }
    }
    return out;
}

HintLayout LayoutHint(std::string_view markup, const HintLayoutOptions &options, HintMetrics &metrics)
{
    std::string text = ReplaceHintEntities(markup);
    // The first "<#" marker goes, with the first ">" after it.
    if (size_t marker = text.find("<#"); marker != std::string::npos) {
        if (size_t close = text.find('>', marker + 2); close != std::string::npos) {
            text.erase(close, 1);
            text.erase(marker, 2);
        }
    }
    std::string prepared;
    prepared.reserve(text.size());
    for (char c : text) {
        if (c == '\r')
            prepared += "<BR>";
        else if (c != '\n')
            prepared += c;
    }
    return Layouter(options, metrics).run(prepared);
}

HintSize HintWindowSize(HintSize text, int xMargin, int yMargin)
{
    return {text.width + xMargin + 16, text.height + 2 * yMargin + 4};
}

} // namespace lotfinch::core
