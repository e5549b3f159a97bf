#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <string_view>

// The program's 8-bit text is Windows-1252 on every platform. These convert
// it at the widget boundary; nothing else in the program deals in QString.
// Item titles are the exception: eBay's API sends any character, so found
// items keep their titles in UTF-8.
namespace lotfinch::text {

// Bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// become the C1 control of the same value, so every byte string survives a
// round trip.
QString fromAnsi(std::string_view text);

// Characters that Windows-1252 cannot hold become '?'.
std::string toAnsi(const QString &text);

// The same text in UTF-8, as fromAnsi reads it, without a QString between:
// item titles are kept in UTF-8, and a result page's come in its 8-bit text.
std::string ansiToUtf8(std::string_view text);

// The characters of text that Windows-1252 cannot hold, each once, in the
// order they first appear (a character beyond UTF-16's first plane is one).
QStringList charactersOutsideAnsi(const QString &text);

// The byte with letters mapped to lower case, as the code page defines them
// (A..Z, and the accented letters of the upper half).
unsigned char lowerAnsi(unsigned char c);
std::string lowerAnsi(std::string_view text);
bool sameTextAnsi(std::string_view a, std::string_view b);

} // namespace lotfinch::text
