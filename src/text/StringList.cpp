#include "text/StringList.h"

#include <algorithm>
#include <stdexcept>

#include "text/AnsiText.h"

namespace lotfinch::text {

void StringList::insert(int index, std::string line)
{
    if (index < 0 || index > count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    lines_.insert(lines_.begin() + index, std::move(line));
}

void StringList::remove(int index)
{
    if (index < 0 || index >= count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    lines_.erase(lines_.begin() + index);
}

int StringList::indexOf(std::string_view text) const
{
    for (size_t i = 0; i < lines_.size(); ++i)
        if (sameTextAnsi(lines_[i], text))
            return static_cast<int>(i);
    return -1;
}

std::string StringList::text() const
{
    size_t size = 0;
    for (const auto &line : lines_)
        size += line.size() + 2;
    std::string out;
    out.reserve(size);
    // A long page's lines lie all over memory: each is asked for a few
    // lines before it is copied, so the copying does not wait for it.
    auto ahead = lines_.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(8, lines_.size()));
    for (const auto &line : lines_) {
        if (ahead != lines_.end()) {
#if defined(__GNUC__)
            __builtin_prefetch(ahead->data());
#endif
            ++ahead;
        }
        out.append(line).append("\r\n", 2);
    }
    return out;
}

void StringList::setText(std::string_view text)
{
    lines_.clear();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            lines_.emplace_back(text.substr(pos));
            break;
        }
        lines_.emplace_back(text.substr(pos, end - pos));
        pos = end + 1;
        if (text[end] == '\r' && pos < text.size() && text[pos] == '\n')
            ++pos;
    }
}

} // namespace lotfinch::text
