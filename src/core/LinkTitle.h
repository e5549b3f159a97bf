#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The title of an item taken from its link element, for pages that carry no
// title marker: what a reader of the page sees as the link.
namespace lotfinch::core {

inline constexpr size_t MaxLinkTitle = 200;

// The text of a link element's content (the markup between its start and end
// tag): tags removed, character references decoded, white space collapsed to
// single blanks and trimmed; the alt text of the first image when the
// content holds no text. At most MaxLinkTitle characters.
std::string LinkElementTitle(std::string_view content);

// Text with its character references ("&amp;", "&#38;", "&#x26;") decoded and
// nothing else changed; a reference the title rules do not know stays as written.
std::string DecodedReferences(std::string_view text);

} // namespace lotfinch::core
