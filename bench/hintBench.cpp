// Lays out hints whose title is 1 MB of what a hostile web page could send,
// with the fonts the hint window uses. Figures:
//   hint_nested_1mb_linearity: 1 MB of nested tags against eight times 128 KB (near 1 means linear time)
//   hint_nested_1mb_vs_scan: 1 MB of nested tags against one plain pass over the same bytes
//   hint_amp_zero_width_1mb_paint_vs_plain_layout: laying out and painting a title of "&" and
//     soft hyphens against laying out as many plain characters (target: within 4)
//   hint_no_spaces_1mb_paint_vs_plain_layout: the same for a title without spaces
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <string>

#include "BenchRatio.h"
#include "core/HintLayout.h"
#include "gui/HtmlHintPainter.h"

using namespace lotfinch::core;
using namespace lotfinch::gui;

namespace {

// A found item's hint (as the found-items list builds it) around a title.
std::string itemHint(const std::string &title)
{
    return "<b><font color=\"#A00000\">12/07/2026 10:00:00  " + title +
           "</font></b><br/><br/>http://www.ebay.com/itm/x/1?pt=1";
}

std::string repeated(std::string_view piece, size_t bytes)
{
    std::string text;
    text.reserve(bytes + piece.size());
    while (text.size() < bytes)
        text += piece;
    return text;
}

std::string nestedTitle(size_t bytes)
{
    const std::string open = "<font color=\"#A00000\" size=\"3\" face=\"Tahoma\"><b><i><u><p align=center><ul>";
    std::string title = "12/07/2026 10:00:00  ";
    while (title.size() + open.size() < bytes)
        title += open;
    return title + "</b>end<br/><br/>http://www.ebay.com/itm/x/1?pt=1";
}

HintLayoutOptions screenBox()
{
    HintLayoutOptions options;
    options.boxWidth = 1920 - 16;
    options.boxHeight = 1080 - 4;
    return options;
}

HintLayout layOut(const std::string &markup)
{
    QtHintMetrics metrics(HintPictures{});
    return LayoutHint(markup, screenBox(), metrics);
}

// Lays out and paints the hint as the hint window does, onto an image of the hint's size.
int layOutAndPaint(const std::string &markup)
{
    HintLayout layout = layOut(markup);
    HintSize size = HintWindowSize({layout.width, layout.height}, 0, 0);
    QImage image(std::max(1, size.width), std::max(1, size.height), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    PaintHintLayout(painter, layout, QPoint(4, 2), HintPaintStyle{}, QPalette());
    return static_cast<int>(layout.items.size());
}

size_t scan(const std::string &markup)
{
    return static_cast<size_t>(std::count(markup.begin(), markup.end(), '<'));
}

template <typename F> double medianMs(F work, int runs = 7)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return lotfinch::bench::median(times);
}

const std::string &big()
{
    static const std::string markup = nestedTitle(1 << 20);
    return markup;
}
const std::string &small()
{
    static const std::string markup = nestedTitle(1 << 17);
    return markup;
}

const std::string &ampZeroWidth()
{
    static const std::string markup = itemHint(repeated("&\xAD", 1 << 20));
    return markup;
}
const std::string &noSpaces()
{
    static const std::string markup = itemHint(repeated("FilmCamera", 1 << 20));
    return markup;
}
// As many plain characters, in words, as either hostile title holds.
const std::string &plainWords()
{
    static const std::string markup = itemHint(repeated("film camera ", 1 << 20));
    return markup;
}

void BM_AmpZeroWidthPaint1MB(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(layOutAndPaint(ampZeroWidth()));
}
BENCHMARK(BM_AmpZeroWidthPaint1MB)->Unit(benchmark::kMillisecond);

void BM_NoSpacesPaint1MB(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(layOutAndPaint(noSpaces()));
}
BENCHMARK(BM_NoSpacesPaint1MB)->Unit(benchmark::kMillisecond);

void BM_PlainWordsLayout1MB(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(layOut(plainWords()));
}
BENCHMARK(BM_PlainWordsLayout1MB)->Unit(benchmark::kMillisecond);

void BM_NestedTitle1MB(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(layOut(big()));
}
BENCHMARK(BM_NestedTitle1MB)->Unit(benchmark::kMillisecond);

void BM_NestedTitle128KB(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(layOut(small()));
}
BENCHMARK(BM_NestedTitle128KB)->Unit(benchmark::kMillisecond);

void BM_PlainScan1MB(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(scan(big()));
}
BENCHMARK(BM_PlainScan1MB)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();

    double ours = medianMs([] { benchmark::DoNotOptimize(layOut(big())); });
    double eightSmall = medianMs([] {
        for (int i = 0; i < 8; ++i)
            benchmark::DoNotOptimize(layOut(small()));
    });
    double plain = medianMs([] { benchmark::DoNotOptimize(scan(big())); });
    lotfinch::bench::printRatio("hint_nested_1mb_linearity", ours, eightSmall, "ms");
    lotfinch::bench::printRatio("hint_nested_1mb_vs_scan", ours, plain, "ms");

    double plainLayout = medianMs([] { benchmark::DoNotOptimize(layOut(plainWords())); });
    double ampPaint = medianMs([] { benchmark::DoNotOptimize(layOutAndPaint(ampZeroWidth())); });
    double noSpacesPaint = medianMs([] { benchmark::DoNotOptimize(layOutAndPaint(noSpaces())); });
    lotfinch::bench::printRatio("hint_amp_zero_width_1mb_paint_vs_plain_layout", ampPaint, plainLayout, "ms");
    lotfinch::bench::printRatio("hint_no_spaces_1mb_paint_vs_plain_layout", noSpacesPaint, plainLayout, "ms");
    return 0;
}
