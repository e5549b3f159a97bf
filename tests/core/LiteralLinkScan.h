#pragma once

#include <string>
#include <string_view>

#include "core/LinkScan.h"
#include "core/Sites.h"
#include "core/TextUtils.h"

// The link scan written the plain way: the remaining text is copied and
// searched again for every link. Slow on big pages, but obviously right; the
// real scan must hand over exactly the same links and titles. With isItem,
// only the eBay links it accepts count as items.
namespace lotfinch::test {

inline int LiteralScanItemLinks(std::string_view page, const core::ItemLinkSink &sink,
                                bool (*isItem)(std::string_view) = nullptr)
{
    using core::TakeTextBetween;
    using core::TextBetween;
    constexpr auto npos = std::string::npos;
    std::string t(page);
    int count = 0;
    for (;;) {
        std::string marker = t.find("HREF=\"") != npos ? "HREF=\"" : "href=\"";
        if (t.find(marker) == npos)
            break;
        std::string link = TakeTextBetween(t, marker, "\"");
        if (link.find("/itm/") != npos) {
            if (!isItem || isItem(link)) {
                // No title marker left: no title (not the text TextBetween would give).
                std::string title = t.find("g-b\">") == npos ? "" : TextBetween(t, "g-b\">", "</");
                sink(link, title);
                ++count;
            }
        } else if (link.find("&#xA;") != npos) {
            while (link.find("&#xA;") != npos)
                link = core::ReplaceAllText(link, "&#xA;", "");
            link = core::TrimText(link);
            if (link.size() >= 2 && link.find("javascript") == npos) {
                sink(std::string("http://www.") + core::SiteAt(4).domain + link, "");
                ++count;
            }
        }
        if (t.find("/itm/") == npos && t.find("&#xA") == npos)
            break;
    }
    return count;
}

} // namespace lotfinch::test
