// Any bytes as a result page: the link scan must end without fault, agree with
// the plain scan, and leave the found-items lists parallel and distinct.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "../tests/core/LiteralLinkScan.h"
#include "core/FoundItems.h"
#include "core/LinkScan.h"
#include "platform/AnsiText.h"

using namespace lotfinch;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string_view body(reinterpret_cast<const char *>(data), size);

    using Offers = std::vector<std::pair<std::string, std::string>>;
    Offers fast, plain;
    int fastCount = core::ScanItemLinks(
        body, [&](std::string_view link, std::string_view title) { fast.emplace_back(link, title); });
    int plainCount = test::LiteralScanItemLinks(
        body, [&](std::string_view link, std::string_view title) { plain.emplace_back(link, title); });
    if (fastCount != plainCount || fast != plain)
        std::abort();

    platform::StringList lines;
    core::SetPageLines(lines, body);
    core::FoundItemList found({"/", ":"}, [] { return QDateTime(QDate(2026, 1, 1), QTime(0, 0)); });
    core::ExtractLinks(lines, found);
    core::ExtractLinks(lines, found);
    if (found.FoundItems().count() != found.FoundDescriptions().count())
        std::abort();
    for (int i = 0; i < found.count(); ++i)
        for (int j = i + 1; j < found.count(); ++j)
            if (platform::sameTextAnsi(found.FoundItems()[i], found.FoundItems()[j]))
                std::abort();
    return 0;
}
