// Feeds arbitrary bytes to the hint markup layout: hint texts carry titles
// taken from web pages. Checks that the layout stays inside its box.
#include <cstdint>
#include <cstdlib>

#include "windows/HintLayout.h"

using namespace lotfinch::windows;

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

} // namespace

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
        for (int index : item.mnemonics)
            check(index >= 0 && static_cast<size_t>(index) < item.text.size());
    }
    return 0;
}
