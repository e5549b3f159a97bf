// The link scan against one memmem pass counting href=" over the same text,
// and AddFoundItem into a small and a big found-items list.

#include <benchmark/benchmark.h>
#include <chrono>
#include <climits>
#include <cstring>
#include <malloc.h>
#include <map>

#include "BenchRatio.h"
#include "core/FoundItems.h"
#include "core/LinkScan.h"

using namespace lotfinch;

namespace {

// Processor time: the figures are ratios of two loops of this thread.
using Clock = bench::ThreadCpuClock;

struct Page
{
    std::string name;
    text::LineText lines;
    double mebibytes = 0;
};

Page makePage(std::string name, const std::string &body)
{
    Page page{std::move(name), {}, 0};
    core::SetPageLines(page.lines, body);
    page.mebibytes = static_cast<double>(page.lines.text().size()) / (1 << 20);
    return page;
}

// A result page of the usual shape: per item an image link and a title link
// to the item, its title, price and seller links, and the page furniture
// around them, padded to the size asked for.
std::string ebayPage(size_t bytes, int items)
{
    std::string page = "<!DOCTYPE html>\r\n<html><head><title>digital camera | eBay</title>\r\n"
                       "<link rel=\"stylesheet\" href=\"http://ir.ebaystatic.com/rs/v/srp.css\"></head><body>\r\n"
                       "<ul id=\"ListViewInner\">\r\n";
    size_t perItem = bytes / static_cast<size_t>(items);
    for (int i = 0; i < items; ++i) {
        std::string id = std::to_string(2312345678LL + i * 7919LL);
        std::string url = "http://www.ebay.com/itm/Canon-PowerShot-SX130-IS-12-1-MP-Digital-Camera-" + id + "-/" + id +
                          "?pt=Digital_Cameras&amp;hash=item" + id;
        std::string item = "<li class=\"sresult lvresult\" listingid=\"" + id +
                           "\">\r\n  <div class=\"lvpic pic img left\"><a href=\"" + url +
                           "\" class=\"img imgWr2\"><img src=\"http://thumbs.ebaystatic.com/images/g/" + id +
                           "/s-l225.jpg\" alt=\"\"></a></div>\r\n  <h3 class=\"lvtitle\"><a href=\"" + url +
                           "\" class=\"vip\"><span class=\"g-b\">Canon PowerShot SX130 IS 12.1 MP Digital Camera " +
                           id +
                           "</span></a></h3>\r\n  <ul class=\"lvprice prc\"><li><span class=\"bold\">$89.99</span>"
                           "</li></ul>\r\n";
        while (item.size() < perItem)
            item += "  <li class=\"lvdetails\"><a href=\"http://www.ebay.com/sch/i.html?_ssn=seller" +
                    std::to_string(i) +
                    "&amp;_sop=12\" data-track=\"{&quot;eventFamily&quot;:&quot;LST&quot;}\">"
                    "See more like this</a> <span style=\"color:#767676\">Free shipping</span></li>\r\n";
        page += item + "</li>\r\n";
    }
    page += "</ul></body></html>\r\n";
    return page;
}

// Many links, none to an item; a script at the end mentions /itm/, so the
// scan has to walk through all of them.
std::string linkPage(int links)
{
    std::string page = "<html><body>\r\n";
    for (int i = 0; i < links; ++i)
        page += "<div class=\"cat\"><a href=\"http://www.ebay.com/sch/Cameras-Photo/625/i.html?_catref=" +
                std::to_string(i) + "&amp;_pgn=1\" class=\"cat-link\">Cameras &amp; Photo</a> (" + std::to_string(i) +
                ")</div>\r\n";
    page += "<script>var itemPath = \"/itm/\";</script></body></html>\r\n";
    return page;
}

// A result page as sites write it today: attribute values without quotes,
// tracking parameters on every item link, no title marker (titles are the
// links' own text and the images' alt text). The quoted scan finds nothing
// here, so the second scan reads the whole page.
std::string todaysPage(size_t bytes, int items)
{
    std::string page = "<!DOCTYPE html>\r\n<html lang=en><head><title>film camera | eBay</title>\r\n"
                       "<link rel=stylesheet href=https://ir.ebaystatic.com/rs/c/srp.css></head><body>\r\n"
                       "<ul class=srp-results>\r\n";
    size_t perItem = bytes / static_cast<size_t>(items);
    for (int i = 0; i < items; ++i) {
        std::string id = std::to_string(196123456781LL + i * 7919LL);
        std::string url = "https://www.ebay.com/itm/" + id + "?_skw=film+camera&itmmeta=01K3Z8Q2W" + id +
                          "&hash=item2da9c3b1d5:g:q0kAAOSwZ1Nm&itmprp=enc%3AAQAJAAAA4HoV3kP";
        std::string title = "Nikon F3 35mm SLR Film Camera Body &amp; 50mm f/1.4 Lens " + id;
        std::string item = "<li class=s-item data-viewport=iid:" + id +
                           ">\r\n  <div class=s-item__image><a href=" + url +
                           " tabindex=-1 aria-hidden=true><div class=s-item__image-wrapper><img "
                           "src=https://i.ebayimg.com/thumbs/images/g/q0kAAOSw/s-l300.webp alt=\"" +
                           title + "\"></div></a></div>\r\n  <div class=s-item__info><a href=" + url +
                           " class=s-item__link><h3 class=s-item__title><span role=heading aria-level=3>" + title +
                           "</span></h3></a>\r\n  <span class=s-item__price>$389.00</span>\r\n";
        while (item.size() < perItem)
            item += "  <div class=s-item__details><a href=https://www.ebay.com/sch/i.html?_ssn=seller" +
                    std::to_string(i) +
                    "&_sop=12 data-track=LST>See more like this</a> <span class=s-item__shipping>Free "
                    "shipping</span></div>\r\n";
        page += item + "</div></li>\r\n";
    }
    page += "</ul></body></html>\r\n";
    return page;
}

std::vector<Page> &pages()
{
    static std::vector<Page> all = [] {
        std::vector<Page> p;
        p.push_back(makePage("a-1.5MiB-240-items", ebayPage(3 << 19, 240)));
        p.push_back(makePage("b-7.5MiB-50000-links", linkPage(50000)));
        p.push_back(makePage("c-16MiB", ebayPage(16 << 20, 2560)));
        p.push_back(makePage("d-1.5MiB-240-items-today", todaysPage(3 << 19, 240)));
        return p;
    }();
    return all;
}

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void ExtractLinks(benchmark::State &state, const Page *page)
{
    // Warm up once: a running program has its allocator sized for its pages.
    core::FoundItemList warm({"/", ":"});
    core::ExtractLinks(page->lines, warm);
    for (auto _ : state) {
        core::FoundItemList found({"/", ":"});
        auto start = Clock::now();
        int count = core::ExtractLinks(page->lines, found);
        state.SetIterationTime(seconds(Clock::now() - start));
        benchmark::DoNotOptimize(count);
    }
}

// The scan over the joined text with no list behind it: the scan's own share.
void ScanOnly(benchmark::State &state, const Page *page)
{
    for (auto _ : state) {
        auto start = Clock::now();
        int count = core::ScanItemLinks(
            page->lines.text(), [](std::string_view, std::string_view) {}, core::LinkRules::Current);
        state.SetIterationTime(seconds(Clock::now() - start));
        benchmark::DoNotOptimize(count);
    }
}

void MemmemHref(benchmark::State &state, const Page *page)
{
    std::string_view text = page->lines.text();
    for (auto _ : state) {
        auto start = Clock::now();
        int count = 0;
        const char *at = text.data();
        const char *end = text.data() + text.size();
        while (const void *hit = memmem(at, static_cast<size_t>(end - at), "href=\"", 6)) {
            ++count;
            at = static_cast<const char *>(hit) + 6;
        }
        state.SetIterationTime(seconds(Clock::now() - start));
        benchmark::DoNotOptimize(count);
    }
}

std::string link(int i)
{
    return "http://www.ebay.com/itm/Nikon-COOLPIX-L24-14-0-MP-Digital-Camera-Red-/" + std::to_string(2312345678LL + i);
}

core::FoundItemList listOf(int size)
{
    core::FoundItemList found({"/", ":"});
    for (int i = 0; i < size; ++i)
        found.AddFoundItem(link(i), "Nikon COOLPIX L24 14.0 MP Digital Camera - Red");
    return found;
}

constexpr int batch = 1000;

// New links, each going in at the top of both lists.
void AddNewItem(benchmark::State &state)
{
    const int size = static_cast<int>(state.range(0));
    const core::FoundItemList prepared = listOf(size);
    std::vector<std::string> fresh;
    for (int i = 0; i < batch; ++i)
        fresh.push_back(link(size + i));
    for (auto _ : state) {
        core::FoundItemList found = prepared;
        auto start = Clock::now();
        for (const auto &l : fresh)
            found.AddFoundItem(l, "Canon PowerShot SX130 IS 12.1 MP Digital Camera - Black");
        state.SetIterationTime(seconds(Clock::now() - start));
    }
}

// Known links in other letter case: what every later pass over the same page does.
void AddKnownItem(benchmark::State &state)
{
    const int size = static_cast<int>(state.range(0));
    core::FoundItemList found = listOf(size);
    std::vector<std::string> known;
    for (int i = 0; i < batch; ++i) {
        std::string l = link(i * (size / batch));
        l.replace(0, 10, "HTTP://WWW");
        known.push_back(l);
    }
    for (auto _ : state) {
        auto start = Clock::now();
        for (const auto &l : known)
            found.AddFoundItem(l, "Nikon");
        state.SetIterationTime(seconds(Clock::now() - start));
    }
}

// Each figure is measured this many times and its fastest time is kept: on
// a machine shared with other work, others only ever add to a time.
constexpr int repetitions = 5;

// Keeps the console table and remembers each benchmark's fastest time per
// iteration over its repetitions.
class Collector : public benchmark::ConsoleReporter
{
public:
    // No colours: bench/run picks the ratio lines by their start.
    Collector() : ConsoleReporter(OO_Tabular) {}

    std::map<std::string, double> seconds;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const auto &run : runs) {
            if (run.run_type != Run::RT_Iteration)
                continue;
            double time = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            auto [at, first] = seconds.try_emplace(
                run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args), time);
            if (!first)
                at->second = std::min(at->second, time);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char **argv)
{
    // A found-list figure copies a list before each batch and frees it after:
    // for the big list some 40 MiB a time. Left to itself the allocator hands
    // that back to the system at each free and takes it again, page by page,
    // partly inside the timed batch, which the small list never pays for. A
    // program that has run a while keeps its heap; so does this one.
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    using PageBenchmark = void (*)(benchmark::State &, const Page *);
    const std::pair<const char *, PageBenchmark> perPage[] = {
        {"ExtractLinks/", ExtractLinks}, {"ScanOnly/", ScanOnly}, {"MemmemHref/", MemmemHref}};
    for (const auto &page : pages())
        for (const auto &[name, function] : perPage)
            // A fixed minimum time: a few runs of the big page are too few to compare.
            benchmark::RegisterBenchmark((name + page.name).c_str(), function, &page)
                ->UseManualTime()
                ->MinTime(0.4)
                ->Repetitions(repetitions)
                ->Unit(benchmark::kMillisecond);
    // A batch takes about a millisecond: a fixed minimum time gives each figure some hundreds of them.
    for (auto *add : {benchmark::RegisterBenchmark("AddNewItem", AddNewItem),
                      benchmark::RegisterBenchmark("AddKnownItem", AddKnownItem)})
        add->Arg(1000)->Arg(100000)->UseManualTime()->MinTime(0.2)->Repetitions(repetitions);

    // Today's page must be read by the second scan, or it measures nothing new.
    const Page &today = pages().back();
    auto none = [](std::string_view, std::string_view) {};
    if (core::ScanItemLinks(today.lines.text(), none, core::LinkRules::Described) != 0 ||
        core::ScanItemLinks(today.lines.text(), none, core::LinkRules::Current) != 480) {
        std::fprintf(stderr, "scanBench: %s is not read by the second scan alone\n", today.name.c_str());
        return 1;
    }

    // Repetitions of all figures run in random order, not one figure after
    // another: this machine's processor runs at different speeds for seconds
    // at a time, and the two sides of a ratio have to see the same ones.
    std::vector<char *> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);
    argc = static_cast<int>(arguments.size());
    argv = arguments.data();
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    auto &s = collector.seconds;
    auto ms = [](double v) { return v * 1e3; };
    for (const auto &page : pages()) {
        double ours = s["ExtractLinks/" + page.name];
        double base = s["MemmemHref/" + page.name];
        bench::printRatio("ExtractLinks " + page.name + " vs memmem href", ms(ours), ms(base), "ms");
    }
    const auto &all = pages();
    double perMiBA = s["ExtractLinks/" + all[0].name] / all[0].mebibytes;
    double perMiBC = s["ExtractLinks/" + all[2].name] / all[2].mebibytes;
    bench::printRatio("ExtractLinks time per MiB 16MiB vs 1.5MiB", ms(perMiBC), ms(perMiBA), "ms/MiB");
    // Per offer: each iteration offers a batch of links.
    auto us = [](double v) { return v * 1e6 / batch; };
    bench::printRatio("AddFoundItem new link 100000 vs 1000 items", us(s["AddNewItem/100000"]),
                      us(s["AddNewItem/1000"]), "us");
    bench::printRatio("AddFoundItem known link 100000 vs 1000 items", us(s["AddKnownItem/100000"]),
                      us(s["AddKnownItem/1000"]), "us");
    benchmark::Shutdown();
    return 0;
}
