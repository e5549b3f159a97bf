#include "platform/UrlSplitter.h"

#include <curl/curl.h>
#include <memory>

namespace lotfinch::platform {

namespace {

struct UrlHandleDeleter
{
    void operator()(CURLU *h) const { curl_url_cleanup(h); }
};

// Escape sequences decoded, whatever bytes they stand for.
std::string decoded(const std::string &text)
{
    auto digit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        int high = i + 2 < text.size() && text[i] == '%' ? digit(text[i + 1]) : -1;
        int low = high >= 0 ? digit(text[i + 2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// One part, decoded where asked; a missing part is empty, a failure is nothing.
// The decoding is ours: the library's refuses escaped control bytes.
std::optional<std::string> part(CURLU *url, CURLUPart which, bool decode = true)
{
    char *value = nullptr;
    CURLUcode rc = curl_url_get(url, which, &value, which == CURLUPART_PORT ? CURLU_DEFAULT_PORT : 0);
    if (rc == CURLUE_OK) {
        std::string text(value);
        curl_free(value);
        return decode ? decoded(text) : text;
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

// The parser refuses control bytes (a tab pasted into a phrase); written as
// escapes they pass, and the decoding of the parts gives them back.
bool isControlByte(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

} // namespace

std::string PercentEncode(const std::string &text, bool (*escape)(unsigned char))
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (escape(c)) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::optional<UrlParts> CrackUrl(const std::string &text)
{
    std::unique_ptr<CURLU, UrlHandleDeleter> url(curl_url());
    if (!url)
        return std::nullopt;
    if (curl_url_set(url.get(), CURLUPART_URL, PercentEncode(text, isControlByte).c_str(),
                     CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS | CURLU_ALLOW_SPACE) != CURLUE_OK)
        return std::nullopt;

    auto scheme = part(url.get(), CURLUPART_SCHEME, false);
    auto host = part(url.get(), CURLUPART_HOST);
    auto user = part(url.get(), CURLUPART_USER);
    auto password = part(url.get(), CURLUPART_PASSWORD);
    auto path = part(url.get(), CURLUPART_PATH);
    auto query = part(url.get(), CURLUPART_QUERY);
    auto fragment = part(url.get(), CURLUPART_FRAGMENT);
    auto port = part(url.get(), CURLUPART_PORT, false);
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
