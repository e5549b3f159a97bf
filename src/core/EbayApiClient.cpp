#include "core/EbayApiClient.h"

#include <QPointer>
#include <QUrl>
#include <algorithm>
#include <arpa/inet.h>
#include <cstdlib>

#include "core/SiteChecks.h"
#include "core/Sites.h"
#include "core/TextUtils.h"
#include "http/HttpComponent.h"

namespace lotfinch::core {

namespace {

constexpr const char *apiName = "eBay's API";
constexpr const char *keysRefusedReason = "eBay refused the API keys";
// A token is asked for again this long before eBay would let it expire.
constexpr std::chrono::seconds tokenMargin{120};
// Keys eBay refused are not offered again for this long: the other eBay
// sites of the same pass hear the same answer, and the next pass asks anew.
constexpr std::chrono::minutes refusalKept{10};
// eBay's own messages go into a tooltip line.
constexpr std::size_t messageRoom = 160;

const char *const marketplaces[] = {"EBAY_US", "EBAY_CA", "EBAY_GB", "EBAY_AU"};

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

struct BaseParts
{
    QString scheme;
    QString host;
};

// The scheme and host of a base address made of plain URL characters only,
// without user, query or fragment; nothing for anything else.
std::optional<BaseParts> partsOf(std::string_view base)
{
    const bool plain = !base.empty() && std::all_of(base.begin(), base.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("-._~:/[]").find(c) != std::string_view::npos;
    });
    if (!plain)
        return std::nullopt;
    const QUrl url(QString::fromLatin1(base.data(), static_cast<qsizetype>(base.size())), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    return BaseParts{url.scheme().toLower(), url.host()};
}

bool isLoopbackLiteral(const QString &host)
{
    const QByteArray text = host.toLatin1();
    in_addr v4{};
    if (inet_pton(AF_INET, text.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return inet_pton(AF_INET6, text.constData(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

std::string base64(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size())).toBase64().toStdString();
}

// A server's message as one short line of plain text.
std::string oneLine(const std::string &utf8)
{
    QString text = QString::fromUtf8(utf8).simplified();
    text.removeIf([](QChar c) { return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format; });
    if (text.size() > static_cast<qsizetype>(messageRoom))
        text = text.left(static_cast<qsizetype>(messageRoom) - 3) + "...";
    return text.toStdString();
}

} // namespace

std::optional<ApiKeys> KeysFromEnvironment()
{
    ApiKeys keys{environment("LOTFINCH_EBAY_CLIENT_ID"), environment("LOTFINCH_EBAY_CLIENT_SECRET")};
    if (!keys.complete())
        return std::nullopt;
    return keys;
}

std::string ApiBaseFromEnvironment()
{
    std::string base = environment("LOTFINCH_EBAY_API");
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base.empty() ? DefaultApiBase : base;
}

bool ApiBaseAllowed(std::string_view base)
{
    const auto parts = partsOf(base);
    return parts && (parts->scheme == "https" || IsLoopbackHttp(base));
}

bool IsLoopbackHttp(std::string_view base)
{
    const auto parts = partsOf(base);
    return parts && parts->scheme == "http" && isLoopbackLiteral(parts->host);
}

bool IsApiSite(int site)
{
    // The marketplaces below follow the eBay sites' order in the site list.
    return site >= 0 && site < static_cast<int>(std::size(marketplaces)) && IsEbaySite(site);
}

const char *MarketplaceOf(int site)
{
    return IsApiSite(site) ? marketplaces[site] : "";
}

std::string ApiItemLink(int site, std::string_view itemNumber)
{
    return FormatText("https://www.%s/itm/%s", {SiteAt(site).domain, itemNumber});
}

std::string EncodeQueryValue(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size())).toPercentEncoding().toStdString();
}

std::string ApiSearchAddress(std::string_view base, std::string_view phraseUtf8)
{
    return std::string(base) + "/buy/browse/v1/item_summary/search?q=" + EncodeQueryValue(phraseUtf8) +
           "&sort=newlyListed&limit=200&filter=" + EncodeQueryValue("buyingOptions:{AUCTION|FIXED_PRICE}");
}

EbayApiClient::EbayApiClient(QObject *parent, Clock clock)
    : QObject(parent), http_(new http::HttpComponent(this)),
      clock_(clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); })), base_(DefaultApiBase)
{
    http_->setMaxMemoryBody(static_cast<int64_t>(MaxApiAnswerBytes));
    http_->setAcceptTypes("application/json");
    // The keys never follow a redirect to another address.
    http_->setInternetOptions(http::HttpInternetOption::NoAutoRedirect | http::HttpInternetOption::NoCookies |
                              http::HttpInternetOption::KeepConnection);
}

void EbayApiClient::setBase(std::string base)
{
    base_ = std::move(base);
}

int EbayApiClient::millisecondsSince(std::chrono::steady_clock::time_point start) const
{
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(clock_() - start).count());
}

std::string EbayApiClient::refusedBase() const
{
    return "the eBay API address is neither https nor a loopback address: " + oneLine(base_);
}

std::optional<EbayApiClient::Answer>
EbayApiClient::fetch(const std::string &url, const std::vector<std::string> &headers, const std::string &postData)
{
    // The wait runs the event loop: whatever the user does meanwhile may end
    // the program, or ask for a request while one is waited for.
    if (http_->Busy())
        return std::nullopt;
    QPointer<EbayApiClient> self(this);
    Answer answer;
    auto keep = [&answer](http::ByteStream *stream) {
        if (stream)
            answer.body = stream->ReadAll();
    };
    http_->OnDone = [&](QObject *, const std::string &, int64_t, http::ByteStream *stream) {
        answer.complete = true;
        keep(stream);
    };
    http_->OnHTTPError = [&](QObject *, int, http::ByteStream *stream) { keep(stream); };
    http_->setURL(url);
    http_->setRequestMethod(postData.empty() ? http::HttpRequestMethod::GET : http::HttpRequestMethod::POST);
    http_->setPOSTData(postData);
    text::StringList lines;
    for (const std::string &header : headers)
        lines.add(header);
    http_->setAddHeaders(lines);
    http_->Proxy().AccessType = IsLoopbackHttp(base_) ? http::HttpAccessType::Direct : http::HttpAccessType::Preconfig;
    http_->Read(true);
    if (!self)
        return std::nullopt;
    http_->OnDone = nullptr;
    http_->OnHTTPError = nullptr;
    // The keys and the token do not stay in the component between requests.
    http_->setAddHeaders({});
    answer.status = http_->StatusCode();
    return answer;
}

ApiResult EbayApiClient::failure(const Answer &answer, bool tokenRequest, int elapsedMs) const
{
    ApiResult result;
    const ApiError error = ReadErrorAnswer(answer.body);
    if (answer.status == 401 && tokenRequest) {
        result.reason = keysRefusedReason;
        result.keysRefused = true;
    } else if (answer.status == 429) {
        result.reason = "eBay's daily API limit is reached";
    } else if (answer.status == 400 && !error.message.empty()) {
        result.reason = "eBay: " + oneLine(error.message);
        result.keysRefused = tokenRequest;
    } else if (answer.status == 200 && http_->OverMemoryLimit()) {
        result.reason = "eBay's API sent an answer over 8 MiB";
    } else if (answer.status == 200 && answer.complete) {
        result.reason = "eBay's API sent an answer that is not the one expected";
    } else {
        result.reason = FailureReason(OutcomeOf(*http_, elapsedMs), apiName);
    }
    return result;
}

ApiResult EbayApiClient::requestToken(const ApiKeys &keys)
{
    token_.clear();
    const auto started = clock_();
    const std::optional<Answer> answer =
        fetch(base_ + "/identity/v1/oauth2/token",
              {"Authorization: Basic " + base64(keys.clientId + ":" + keys.clientSecret)},
              "grant_type=client_credentials&scope=https%3A%2F%2Fapi.ebay.com%2Foauth%2Fapi_scope");
    if (!answer)
        return {};
    const std::optional<ApiToken> token =
        answer->complete && answer->status == 200 ? ReadTokenAnswer(answer->body) : std::nullopt;
    if (!token) {
        ApiResult refused = failure(*answer, true, millisecondsSince(started));
        if (refused.keysRefused) {
            refusedKeys_ = keys;
            refusedKeysBase_ = base_;
            refusedReason_ = refused.reason;
            refusedUntil_ = clock_() + refusalKept;
        }
        return refused;
    }
    if (keys == refusedKeys_)
        refusedUntil_ = {};
    token_ = token->accessToken;
    tokenKeys_ = keys;
    tokenBase_ = base_;
    const std::chrono::seconds lifetime{token->expiresInSeconds};
    tokenGoodUntil_ = started + (lifetime > 2 * tokenMargin ? lifetime - tokenMargin : lifetime / 2);
    return {true, {}, {}, false};
}

ApiResult EbayApiClient::TestKeys(const ApiKeys &keys)
{
    if (!ApiBaseAllowed(base_))
        return {false, {}, refusedBase(), false};
    return requestToken(keys);
}

ApiResult EbayApiClient::Search(const ApiKeys &keys, int site, std::string_view phraseUtf8)
{
    if (!ApiBaseAllowed(base_))
        return {false, {}, refusedBase(), false};
    if (keys == refusedKeys_ && base_ == refusedKeysBase_ && clock_() < refusedUntil_)
        return {false, {}, refusedReason_, true};
    bool fresh = false;
    if (token_.empty() || tokenKeys_ != keys || tokenBase_ != base_ || clock_() >= tokenGoodUntil_) {
        if (ApiResult token = requestToken(keys); !token.ok)
            return token;
        fresh = true;
    }
    for (;;) {
        const auto started = clock_();
        const std::optional<Answer> answer = fetch(
            ApiSearchAddress(base_, phraseUtf8),
            {"Authorization: Bearer " + token_, std::string("X-EBAY-C-MARKETPLACE-ID: ") + MarketplaceOf(site)}, {});
        if (!answer)
            return {};
        // A token eBay no longer takes is asked for again, once.
        if (answer->status == 401 && !fresh) {
            if (ApiResult token = requestToken(keys); !token.ok)
                return token;
            fresh = true;
            continue;
        }
        if (answer->status == 401) {
            token_.clear();
            return {false, {}, keysRefusedReason, true};
        }
        if (answer->complete && answer->status == 200)
            if (auto items = ReadSearchAnswer(answer->body))
                return {true, std::move(*items), {}, false};
        return failure(*answer, false, millisecondsSince(started));
    }
}

} // namespace lotfinch::core
