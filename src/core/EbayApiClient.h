#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/EbayApiAnswers.h"

namespace lotfinch::http {
class HttpComponent;
} // namespace lotfinch::http

// Searching the eBay sites through eBay's Browse API with the user's own
// application keys, instead of fetching their result pages.
namespace lotfinch::core {

// An application keyset of the eBay Developers Program.
struct ApiKeys
{
    std::string clientId;     // the App ID
    std::string clientSecret; // the Cert ID
    bool complete() const { return !clientId.empty() && !clientSecret.empty(); }
    bool operator==(const ApiKeys &) const = default;
};

// The keys in LOTFINCH_EBAY_CLIENT_ID and LOTFINCH_EBAY_CLIENT_SECRET, where both are set.
std::optional<ApiKeys> KeysFromEnvironment();

inline constexpr const char *DefaultApiBase = "https://api.ebay.com";
// LOTFINCH_EBAY_API, or the production API; without a trailing "/".
std::string ApiBaseFromEnvironment();

// Whether the keys may be sent to this base address: https, or plain http to
// a loopback address literal (127.0.0.0/8 or [::1]).
bool ApiBaseAllowed(std::string_view base);
// A plain-http loopback base, which is reached without a proxy.
bool IsLoopbackHttp(std::string_view base);

// Whether a site (0..4) is one of the eBay sites the API searches.
bool IsApiSite(int site);
// The marketplace header value of an eBay site: "EBAY_US", "EBAY_CA", "EBAY_GB", "EBAY_AU".
const char *MarketplaceOf(int site);
// The item's link on its site, as the site's own pages list it.
std::string ApiItemLink(int site, std::string_view itemNumber);

// Every byte but letters, digits and "-._~" as %XX.
std::string EncodeQueryValue(std::string_view text);
// The search address for a phrase in UTF-8: newest first, auctions and fixed prices.
std::string ApiSearchAddress(std::string_view base, std::string_view phraseUtf8);

// How one request to the API went.
struct ApiResult
{
    bool ok = false;
    std::vector<ApiItem> items; // a search's items
    std::string reason;         // why it failed, in plain words (UTF-8); empty: nothing was asked
    bool keysRefused = false;   // the failure is about the keys: the user can mend it
};

// Talks to the API through its own HTTP component: asks for an application
// token when it has none that is still good, and searches with it. The token
// is kept in memory only, for the keys and base it was asked with.
class EbayApiClient : public QObject
{
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    explicit EbayApiClient(QObject *parent = nullptr, Clock clock = {});

    const std::string &Base() const { return base_; }
    void setBase(std::string base);

    // One search of an eBay site (0..3) for a phrase in UTF-8. Keys eBay has
    // just refused are not offered again for some minutes.
    ApiResult Search(const ApiKeys &keys, int site, std::string_view phraseUtf8);
    // Asks for a token whether or not one is kept: tests keys.
    ApiResult TestKeys(const ApiKeys &keys);

private:
    struct Answer
    {
        int status = -1;
        bool complete = false; // the whole body arrived
        std::string body;
    };
    // Nothing when no request went out because one is in progress, or when
    // this client went away during the wait (the window closed).
    std::optional<Answer> fetch(const std::string &url, const std::vector<std::string> &headers,
                                const std::string &postData);
    ApiResult requestToken(const ApiKeys &keys);
    ApiResult failure(const Answer &answer, bool tokenRequest, int elapsedMs) const;
    std::string refusedBase() const;
    int millisecondsSince(std::chrono::steady_clock::time_point start) const;

    http::HttpComponent *http_;
    Clock clock_;
    std::string base_;
    std::string token_;
    ApiKeys tokenKeys_;
    std::string tokenBase_;
    std::chrono::steady_clock::time_point tokenGoodUntil_{};
    ApiKeys refusedKeys_;
    std::string refusedKeysBase_;
    std::string refusedReason_;
    std::chrono::steady_clock::time_point refusedUntil_{};
};

} // namespace lotfinch::core
