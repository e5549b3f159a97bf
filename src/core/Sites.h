#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The fixed site and interval tables behind the main window's drop-down lists,
// indexed by the position of the selected entry.
namespace lotfinch::core {

constexpr int SiteCount = 6; // five real sites and the all-sites entry
constexpr int RealSiteCount = 5;
constexpr int AllSitesIndex = SiteCount - 1;

struct Site
{
    const char *domain;         // empty for the all-sites entry
    const char *listText;       // what the site list shows
    const char *shortName;      // the site's name in tray hints
    const char *searchTemplate; // "%s" receives the encoded phrase; empty for all sites
    int trayImage;              // tray image once matches exist
};

const Site &SiteAt(int index);
// Whether the entry is one of the eBay sites.
bool IsEbaySite(int index);

// The search address of one real site (0..4) for a phrase.
std::string SearchAddress(int site, const std::string &phrase);

// The sites one pass fetches: the selected index alone while it is below
// listCount - 1, otherwise the five real sites in order.
std::vector<int> SitesOfPass(int selected, int listCount = SiteCount);

constexpr int IntervalCount = 5;

struct Interval
{
    const char *listText;
    const char *hintWord; // follows "once every" in the tray hint
    int hours;
};

const Interval &IntervalAt(int index);
int64_t IntervalMilliseconds(int index);

// The found-items window's title prefix after the site list changed.
std::string SiteChangeCaption(int selected, bool haveFoundItems);
std::string LinksCaptionFor(const std::string &siteListText);

} // namespace lotfinch::core
