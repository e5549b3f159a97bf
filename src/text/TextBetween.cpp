#include "text/TextBetween.h"

namespace lotfinch::text {

std::string TextBetween(std::string_view s, std::string_view start, std::string_view stop)
{
    size_t found = s.find(start);
    size_t begin = found != std::string_view::npos ? found + start.size() : (start.empty() ? 0 : start.size() - 1);
    if (begin > s.size())
        return {};
    std::string_view rest = s.substr(begin);
    size_t end = rest.find(stop);
    if (end == std::string_view::npos)
        return {};
    return std::string(rest.substr(0, end));
}

namespace {

bool isBlank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

} // namespace

std::string_view TrimmedView(std::string_view s)
{
    size_t first = 0, last = s.size();
    while (first < last && isBlank(s[first]))
        ++first;
    while (last > first && isBlank(s[last - 1]))
        --last;
    return s.substr(first, last - first);
}

std::string TrimText(std::string_view s)
{
    return std::string(TrimmedView(s));
}

std::string TrimLeftText(std::string_view s)
{
    size_t first = 0;
    while (first < s.size() && isBlank(s[first]))
        ++first;
    return std::string(s.substr(first));
}

} // namespace lotfinch::text
