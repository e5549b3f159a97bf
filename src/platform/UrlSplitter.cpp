#include "platform/UrlSplitter.h"

#include <curl/curl.h>
#include <memory>

namespace lotfinch::platform {

namespace {

struct UrlHandleDeleter
{
    void operator()(CURLU *h) const { curl_url_cleanup(h); }
};

// One part, decoded where asked; a missing part is empty, a failure is nothing.
std::optional<std::string> part(CURLU *url, CURLUPart which, unsigned flags)
{
    char *value = nullptr;
    CURLUcode rc = curl_url_get(url, which, &value, flags);
    if (rc == CURLUE_OK) {
        std::string text(value);
        curl_free(value);
        return text;
    }
    switch (rc) {
    case CURLUE_NO_USER:
    case CURLUE_NO_PASSWORD:
    case CURLUE_NO_QUERY:
    case CURLUE_NO_FRAGMENT:
    case CURLUE_NO_HOST:
    case CURLUE_NO_PORT: return std::string();
    default: return std::nullopt;
    }
}

} // namespace

std::optional<UrlParts> CrackUrl(const std::string &text)
{
    std::unique_ptr<CURLU, UrlHandleDeleter> url(curl_url());
    if (!url)
        return std::nullopt;
    if (curl_url_set(url.get(), CURLUPART_URL, text.c_str(),
                     CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS | CURLU_ALLOW_SPACE) != CURLUE_OK)
        return std::nullopt;

    auto scheme = part(url.get(), CURLUPART_SCHEME, 0);
    auto host = part(url.get(), CURLUPART_HOST, CURLU_URLDECODE);
    auto user = part(url.get(), CURLUPART_USER, CURLU_URLDECODE);
    auto password = part(url.get(), CURLUPART_PASSWORD, CURLU_URLDECODE);
    auto path = part(url.get(), CURLUPART_PATH, CURLU_URLDECODE);
    auto query = part(url.get(), CURLUPART_QUERY, CURLU_URLDECODE);
    auto fragment = part(url.get(), CURLUPART_FRAGMENT, CURLU_URLDECODE);
    auto port = part(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (!scheme || !host || !user || !password || !path || !query || !fragment || !port)
        return std::nullopt;

    UrlParts parts;
    parts.scheme = *scheme;
    parts.host = *host;
    parts.userName = *user;
    parts.password = *password;
    parts.path = *path;
    // The parser drops an empty "?" or "#"; the original text still tells.
    size_t mark = text.find_first_of("?#", text.find("://") + 3);
    if (mark != std::string::npos) {
        if (text[mark] == '?')
            parts.extraInfo = "?" + *query;
        if (text.find('#', mark) != std::string::npos)
            parts.extraInfo += "#" + *fragment;
    }
    if (!port->empty()) {
        unsigned long value = std::stoul(*port);
        if (value > 65535)
            return std::nullopt;
        parts.port = static_cast<uint16_t>(value);
    }
    return parts;
}

} // namespace lotfinch::platform
