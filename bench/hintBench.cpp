// Lays out a hint whose title is 1 MB of nested tags, as a hostile web page
// could send, with the fonts the hint window uses. Two figures:
//   hint_nested_1mb_linearity: 1 MB against eight times 128 KB (near 1 means linear time)
//   hint_nested_1mb_vs_scan: 1 MB against one plain pass over the same bytes
#include <QApplication>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <string>

#include "BenchRatio.h"
#include "windows/HintLayout.h"
#include "windows/htmlhintRender.h"

using namespace lotfinch::windows;

namespace {

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
    return 0;
}
