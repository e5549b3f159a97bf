#pragma once

#include <cstdint>
#include <string>

// Support functions of the HTTP component: URL splitting and encoding, HTTP
// dates, and file attributes. Date-time values are day counts since
// 30 December 1899, the fraction being the time of day; 0 means no date.
namespace lotfinch::http {

using DateTime = double;

// Escapes control bytes, bytes of 128 and above, and the blank, "#", "%",
// "*", "+", "<", ">" as %XX; every other byte is copied.
std::string UrlEncode(const std::string &text);

// Splits a URL ("http://" is assumed where "://" is missing) into its parts,
// decoding escapes and supplying the default port. On failure (unsplittable,
// or a part over its limit) returns false and leaves the out values alone.
bool SplitUrl(const std::string &url, std::string &scheme, std::string &host, std::string &path, std::string &userName,
              std::string &password, std::string &extraInfo, uint16_t &port);

// The text before the first delimiter (all of s when there is none); with
// remove, s loses the token and the delimiter (everything when none).
std::string SplitToken(std::string &s, const std::string &delimiter, bool remove);

// Reads the three HTTP date forms and similar variants into local time;
// an empty text gives 0, and an unreadable one a time on the zero date.
DateTime ParseHttpDate(const std::string &text);

// "+hhmm" or "-hhmm" as a signed day fraction; anything else gives 0.
double ParseGmtOffset(const std::string &text);

// Shifts a universal time by the local zone's offset in effect now.
DateTime UtcToLocal(DateTime value);

// Calendar date and time of day to a date-time value; throws on an invalid date.
DateTime EncodeDateTime(int year, int month, int day, int hours = 0, int minutes = 0, int seconds = 0);

enum HttpFileAttribute : unsigned {
    Archive = 1u << 0,
    Hidden = 1u << 1,
    ReadOnly = 1u << 2,
    System = 1u << 3,
    Temporary = 1u << 4,
    Offline = 1u << 5,
};
using HttpFileAttributes = unsigned; // a set of HttpFileAttribute bits

// Applies the attribute set to the file; returns whether that succeeded.
bool SetFileAttributesFromSet(const std::string &fileName, HttpFileAttributes attributes);

} // namespace lotfinch::http
