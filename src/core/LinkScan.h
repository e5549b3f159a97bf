#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/StringList.h"

// The scan of a search-result page for links to auction items: plain text
// matching on the markers the sites' pages carry, no HTML parsing.
namespace lotfinch::core {

class FoundItemList;

// Receives one item link as the page gives it (eBay) or made absolute (uBid),
// and its title (empty for uBid links).
using ItemLinkSink = std::function<void(std::string_view link, std::string_view title)>;

// Scans the page text (its lines, each followed by CR LF) and hands every item
// link to sink in page order; returns how many it handed over. The cost grows
// linearly with the page.
int ScanItemLinks(std::string_view pageText, const ItemLinkSink &sink);

// Scans the page lines into the found-items list. Returns the number of item
// links the page held, known ones included: above 0, the window shows the
// "FOUND" balloon.
int ExtractLinks(const platform::StringList &pageLines, FoundItemList &found);

// Replaces lines with a fetched body: the body ends at its first NUL, and a
// line ends at CR, LF or CR LF.
void SetPageLines(platform::StringList &lines, std::string_view body);

// The "FOUND" balloon for a page that held item links.
inline constexpr const char *FoundBalloonTitle = "FOUND";
inline constexpr int FoundBalloonSeconds = 15;
std::string FoundBalloonText(std::string_view startedPhrase);

} // namespace lotfinch::core
