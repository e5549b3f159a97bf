#pragma once

#include <string>
#include <string_view>

namespace lotfinch::text {

// The text after the first Start in S up to (not including) the first Stop
// after it; empty when no Stop follows. Without a Start in S, the text
// considered begins at position length(Start) of S (counted from 1).
// Lives here, below every user, because both the crawler core and the
// found-items window cut links with it.
std::string TextBetween(std::string_view s, std::string_view start, std::string_view stop);

// Without leading and trailing characters of code 32 or lower; without the leading ones.
std::string TrimText(std::string_view s);
// The same part of s, not copied.
std::string_view TrimmedView(std::string_view s);
std::string TrimLeftText(std::string_view s);

} // namespace lotfinch::text
