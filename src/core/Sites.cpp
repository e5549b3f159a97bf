#include "core/Sites.h"

#include <stdexcept>

#include "core/TextUtils.h"
#include "http/UrlAndDate.h"

namespace lotfinch::core {

namespace {

#define EBAY_TEMPLATE(domain, trk)                                                                                     \
    "http://www." domain "/sch/i.html?_from=R40&_trksid=" trk ".m570.l1313&_nkw=%s&_sacat=See-All-Categories"

const Site sites[SiteCount] = {
    {"ebay.com", "ebay.com (US)", "ebay.com", EBAY_TEMPLATE("ebay.com", "p5197"), 1},
    {"ebay.ca", "ebay.ca (Canada)", "ebay.ca", EBAY_TEMPLATE("ebay.ca", "p5197"), 2},
    {"ebay.co.uk", "ebay.co.uk (UK)", "ebay.co.uk", EBAY_TEMPLATE("ebay.co.uk", "p5197"), 3},
    {"ebay.com.au", "ebay.com.au (Australia)", "ebay.com.au", EBAY_TEMPLATE("ebay.com.au", "p3907"), 4},
    {"ubid.com", "ubid.com (US)", "ubid.com", "http://www.ubid.com/category/listing.aspx?qs=%s&catid=0", 5},
    {"", "all ebay and ubid sites", "ebay and/or ubid", "", 6},
};

#undef EBAY_TEMPLATE

// The phrase as one query value: the address escapes, and "&" and "=" too,
// which would end the value or start another ("tom & jerry" is not a search
// for "tom").
std::string queryValue(const std::string &phrase)
{
    std::string out;
    for (char c : http::UrlEncode(phrase))
        out += c == '&' ? "%26" : c == '=' ? "%3D" : std::string(1, c);
    return out;
}

const Interval intervals[IntervalCount] = {
    {"Once Per Day (24 Hours)", "24 hours", 24},
    {"Once Every 12 Hours", "12 hours", 12},
    {"Once Every 6 Hours", "6 hours", 6},
    {"Once Every 2 Hours", "2 hours", 2},
    {"Once Per Hour", "hour", 1},
};

} // namespace

const Site &SiteAt(int index)
{
    if (index < 0 || index >= SiteCount)
        throw std::out_of_range("Site index out of range (" + std::to_string(index) + ")");
    return sites[index];
}

bool IsEbaySite(int index)
{
    return std::string_view(SiteAt(index).domain).starts_with("ebay.");
}

std::string SearchAddress(int site, const std::string &phrase)
{
    if (site < 0 || site >= RealSiteCount)
        throw std::out_of_range("No search address for site index " + std::to_string(site));
    return FormatText(sites[site].searchTemplate, {queryValue(phrase)});
}

std::vector<int> SitesOfPass(int selected, int listCount)
{
    if (selected >= 0 && selected < listCount - 1)
        return {selected};
    return {0, 1, 2, 3, 4};
}

const Interval &IntervalAt(int index)
{
    if (index < 0 || index >= IntervalCount)
        throw std::out_of_range("Interval index out of range (" + std::to_string(index) + ")");
    return intervals[index];
}

int64_t IntervalMilliseconds(int index)
{
    return static_cast<int64_t>(IntervalAt(index).hours) * 3'600'000;
}

std::string LinksCaptionFor(const std::string &siteListText)
{
    return FormatText("%s Links Matching: ", {siteListText});
}

std::string SiteChangeCaption(int selected, bool haveFoundItems)
{
    if (haveFoundItems)
        return "Auction Links Matching: ";
    return LinksCaptionFor(SiteAt(selected).listText);
}

} // namespace lotfinch::core
