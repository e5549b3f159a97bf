#include "http/HttpClient.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace lotfinch::http {

namespace {

std::string_view trimmed(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool sameNoCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

std::optional<std::string> headerValue(const std::string &rawHeaders, const std::string &name)
{
    std::string_view rest = rawHeaders;
    while (!rest.empty()) {
        const size_t end = std::min(rest.find("\r\n"), rest.size());
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 2, rest.size()));
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos && sameNoCase(trimmed(line.substr(0, colon)), name))
            return std::string(trimmed(line.substr(colon + 1)));
    }
    return std::nullopt;
}

void HttpCancel::cancel()
{
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    if (waker_)
        waker_();
}

void HttpCancel::setWaker(std::function<void()> waker)
{
    std::lock_guard lock(mutex_);
    waker_ = std::move(waker);
}

} // namespace lotfinch::http
