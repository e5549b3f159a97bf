// Any bytes as a result page: the link scan must end without fault, under the
// described rules agree with the plain scan, under the current rules take
// exactly those links before the looser results that stand for items
// whenever there are any, as the found list shows them, and leave the
// found-items lists parallel and distinct under either rules. Judging the
// page as an eBay answer ends without fault too.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "../tests/core/LiteralLinkScan.h"
#include "core/FoundItems.h"
#include "core/LinkScan.h"
#include "core/ResultPage.h"
#include "text/AnsiText.h"

using namespace lotfinch;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string_view body(reinterpret_cast<const char *>(data), size);

    using Offers = std::vector<std::pair<std::string, std::string>>;
    Offers fast, plain, current;
    int fastCount = core::ScanItemLinks(
        body, [&](std::string_view link, std::string_view title) { fast.emplace_back(link, title); },
        core::LinkRules::Described);
    int plainCount = test::LiteralScanItemLinks(
        body, [&](std::string_view link, std::string_view title) { plain.emplace_back(link, title); });
    if (fastCount != plainCount || fast != plain)
        std::abort();
    int currentCount = core::ScanItemLinks(
        body, [&](std::string_view link, std::string_view title) { current.emplace_back(link, title); },
        core::LinkRules::Current);
    Offers items;
    int itemCount = test::LiteralScanItemLinks(
        body.substr(0, core::LooserResultsStart(body)),
        [&](std::string_view link, std::string_view title) { items.emplace_back(link, title); }, core::IsItemLink);
    if (currentCount != static_cast<int>(current.size()) || (itemCount > 0 && currentCount != itemCount))
        std::abort();
    for (size_t i = 0; itemCount > 0 && i < current.size(); ++i)
        if (current[i].first != core::ListedLink(items[i].first))
            std::abort();
    core::KindOfEbayPage(body);

    text::LineText lines;
    core::SetPageLines(lines, body);
    for (core::LinkRules rules : {core::LinkRules::Described, core::LinkRules::Current}) {
        core::FoundItemList found(
            {"/", ":"}, [] { return QDateTime(QDate(2026, 1, 1), QTime(0, 0)); }, rules);
        core::ExtractLinks(lines, found);
        core::ExtractLinks(lines, found);
        if (found.FoundItems().count() != found.FoundDescriptions().count())
            std::abort();
        for (int i = 0; i < found.count(); ++i)
            for (int j = i + 1; j < found.count(); ++j)
                if (text::sameTextAnsi(found.FoundItems()[i], found.FoundItems()[j]) ||
                    (rules == core::LinkRules::Current && !core::ItemKeyOf(found.FoundItems()[i]).empty() &&
                     core::ItemKeyOf(found.FoundItems()[i]) == core::ItemKeyOf(found.FoundItems()[j])))
                    std::abort();
    }
    return 0;
}
