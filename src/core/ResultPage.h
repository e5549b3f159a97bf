#pragma once

#include <cstddef>
#include <string_view>

// What an eBay site sent in answer to a search: a result page, or one of the
// walls it puts up for programs instead (a robot check, a rate page, an empty
// body). Read from the page's tags, as eBay's own markup names them.
namespace lotfinch::core {

enum class EbayPage {
    Results,   // a results list of a known layout, or eBay's no-matches block
    Wall,      // a browser check, a captcha, a rate or access wall
    Empty,     // nothing, or no markup at all
    NoResults, // any other page: no results to read
};

// Whether an address (where the answer came from, after redirects) is one of
// eBay's browser checks: its path lies under /splashui/.
bool IsRobotCheckAddress(std::string_view address);

// What a page that arrived whole is. A result page counts as one whatever
// its title says, so that a search for "security measure" is no wall.
EbayPage KindOfEbayPage(std::string_view page);

// Where a result page's looser results start: the first element of class
// "srp-river-answer", which opens "Results matching fewer words" and the
// blocks after it. npos when the page has none.
size_t LooserResultsStart(std::string_view page);

} // namespace lotfinch::core
