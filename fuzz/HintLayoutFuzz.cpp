// Feeds arbitrary bytes to the hint markup layout: hint texts carry titles
// taken from web pages and eBay's API. Checks that the layout stays inside its
// box and that its text is well-formed UTF-8 whatever came in, then paints it
// onto an image with the system's fonts, as the hint window does.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "core/HintLayout.h"
#include "gui/HtmlHintPainter.h"
#include "text/Utf8Text.h"

using namespace lotfinch::core;
using lotfinch::gui::HintPaintStyle;
using lotfinch::gui::PaintHintLayout;

namespace {

// Proportional enough to exercise the cutting: widths depend on the byte.
class FuzzFont : public HintMetrics
{
public:
    int textWidth(const HintFont &font, std::string_view text) override
    {
        int width = 0;
        for (unsigned char c : text)
            width += (c % 7) + font.points / 2 + (font.bold ? 1 : 0);
        return width;
    }
    int textHeight(const HintFont &font) override { return font.points + 3; }
    std::optional<HintSize> pictureSize(std::string_view source) override
    {
        if (source.starts_with("IDX:"))
            return HintSize{16, 16};
        return std::nullopt;
    }
};

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool validUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUtf8() ==
           QByteArrayView(text.data(), static_cast<qsizetype>(text.size()));
}

// Where the characters of text start.
std::vector<size_t> characterStarts(std::string_view text)
{
    std::vector<size_t> starts;
    for (size_t pos = 0; pos < text.size(); pos += lotfinch::text::utf8CharLength(text, pos))
        starts.push_back(pos);
    return starts;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Painting text needs the font database of a GUI application; it lives
    // for the whole run.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "HintLayoutFuzz";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *app = new QGuiApplication(argc, argv);
    (void)app;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    HintLayoutOptions options;
    options.boxWidth = data[0] * 8;
    options.boxHeight = data[1] * 4;
    options.ellipsis = data[2] & 1;
    std::string_view markup(reinterpret_cast<const char *>(data + 3), size - 3);

    FuzzFont font;
    HintLayout layout = LayoutHint(markup, options, font);
    check(layout.width >= 0 && layout.width <= options.boxWidth);
    check(layout.items.size() <= hintlimits::MaxItems + 1024);
    for (const HintItem &item : layout.items) {
        check(item.x >= 0 && item.width >= 0 && item.x + item.width <= options.boxWidth);
        check(item.font.points >= hintlimits::MinPoints && item.font.points <= hintlimits::MaxPoints);
        check(item.kind != HintItemKind::Picture ||
              (item.width <= hintlimits::MaxPicture && item.height <= hintlimits::MaxPicture));
        if (item.kind != HintItemKind::Text)
            continue;
        // No cut leaves half a character; broken bytes were replaced.
        check(validUtf8(item.text));
        const std::vector<size_t> starts = characterStarts(item.text);
        for (int index : item.mnemonics)
            check(index >= 0 && std::binary_search(starts.begin(), starts.end(), static_cast<size_t>(index)));
    }

    HintSize window = HintWindowSize({layout.width, layout.height}, 0, 0);
    QImage image(window.width, std::max(1, window.height), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    PaintHintLayout(painter, layout, QPoint(4, 2), HintPaintStyle{}, QPalette());
    return 0;
}
