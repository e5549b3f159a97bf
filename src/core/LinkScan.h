#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/FoundItems.h"
#include "text/LineText.h"

// The scan of a search-result page for links to auction items: plain text
// matching on the markers the sites' pages carry, no HTML parsing.
namespace lotfinch::core {

// Receives one item link as the rules give it (a uBid link made absolute),
// and its title.
using ItemLinkSink = std::function<void(std::string_view link, std::string_view title)>;

// Scans the page text (its lines, each followed by CR LF) and hands every item
// link to sink in page order; returns how many it handed over. The cost grows
// linearly with the page.
//
// Described rules: links in double-quoted href values, handed over as the
// page holds them; an eBay link's title is the text behind the next title
// marker. Current rules: the same, but a link that no title marker follows
// gets the text of its link element, a page that gives no link that way yet
// holds "/itm/" is read once more for links in unquoted and single-quoted
// href values, links are handed over as ListedLink gives them, and the page
// ends where its looser results ("Results matching fewer words") start.
int ScanItemLinks(std::string_view pageText, const ItemLinkSink &sink, LinkRules rules);

// Scans the page lines into the found-items list, under the list's rules.
// Returns the number of item links the page held, known ones included: above
// 0, the window shows the "FOUND" balloon.
int ExtractLinks(const text::LineText &pageLines, FoundItemList &found);

// Replaces lines with a fetched body: the body ends at its first NUL, and a
// line ends at CR, LF or CR LF.
void SetPageLines(text::LineText &lines, std::string_view body);

// The "FOUND" balloon for a page that held item links.
inline constexpr const char *FoundBalloonTitle = "FOUND";
inline constexpr int FoundBalloonSeconds = 15;
std::string FoundBalloonText(std::string_view startedPhrase);

} // namespace lotfinch::core
