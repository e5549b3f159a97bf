#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "text/TextBetween.h"

// Text helpers of the crawler core. Positions follow the program's rule:
// counted from 1, 0 meaning not found; matching is case-sensitive.
namespace lotfinch::core {

using text::TextBetween;
using text::TrimLeftText;
using text::TrimmedView;
using text::TrimText;

// TextBetween, and S loses everything up to and including the first Start,
// then as many further characters as Stop has.
std::string TakeTextBetween(std::string &s, std::string_view start, std::string_view stop);

// Every occurrence of token, found left to right in the input, replaced;
// inserted text is not searched again.
std::string ReplaceAllText(std::string_view text, std::string_view token, std::string_view replacement);

// Formats with one "%s" replaced by each argument in turn ("%%" is a percent sign).
std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args);

// Text (UTF-8) for the hint markup that draws as it stands: "<", ">" and "&"
// are written so that the markup takes them for characters, not tags or
// mnemonics; every other character stays as it is.
std::string HintMarkupText(std::string_view text);

// The hint of the Start and Auctions... buttons: the button's keyword and the
// phrase it works on, "Start searching for "phrase"...". As hint markup the
// phrase is bold; as plain text it is the button's description for screen readers.
// Keyword, phrase and hint are UTF-8.
enum class HintForm { Markup, Plain };
std::string ButtonHint(std::string_view keyword, std::string_view phrase, HintForm form);

// The folder of the program's own file followed by the file-name part of name.
QString ProgramFolderFile(const QString &name);

// A document the program ships (the manual): next to the program in a build
// folder, in the installed documentation folder for the installed build.
QString ShippedDocumentFile(const QString &name);

} // namespace lotfinch::core
