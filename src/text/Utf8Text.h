#pragma once

#include <cstddef>
#include <string_view>

// Walking UTF-8 text by whole characters, so that a cut never leaves half a
// character behind. Any bytes can be walked: a byte that starts no
// well-formed sequence (a stray continuation byte, an overlong form, a
// surrogate, a sequence cut short) counts as a character of its own.
namespace lotfinch::text {

// The bytes of the character that starts at pos; 0 at or past the end.
size_t utf8CharLength(std::string_view text, size_t pos);

// The longest start of text that fits in bytes and ends between two
// characters.
std::string_view utf8Prefix(std::string_view text, size_t bytes);

// The first count characters of text (all of it when it has fewer). Looks
// at no more than those characters.
std::string_view utf8FirstCharacters(std::string_view text, size_t count);

} // namespace lotfinch::text
