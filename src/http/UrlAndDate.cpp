#include "http/UrlAndDate.h"

#include <cctype>
#include <charconv>
#include <ctime>
#include <stdexcept>
#include <sys/stat.h>

#include "http/UrlSplitter.h"
#include "text/TextBetween.h"

namespace lotfinch::http {

namespace {

constexpr size_t SchemeLimit = 32, HostLimit = 256, UserLimit = 128, PasswordLimit = 128, PathLimit = 2048,
                 ExtraLimit = 2048;

const char *const weekdays[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
const char *const months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

std::string upper(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// A whole text as a decimal integer (optional sign), or the fallback.
int toIntDef(const std::string &s, int fallback)
{
    const char *begin = s.data();
    const char *end = begin + s.size();
    if (begin != end && *begin == '+')
        ++begin;
    int value = 0;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (begin == end || ec != std::errc() || ptr != end)
        return fallback;
    return value;
}

int monthNumber(const std::string &name)
{
    std::string key = upper(name);
    for (int i = 0; i < 12; ++i)
        if (key == months[i])
            return i + 1;
    return 0;
}

bool isLeap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : days[month - 1];
}

// Days from 1970-01-01 to a proleptic Gregorian date.
long daysFromCivil(long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

constexpr long UnixEpochDay = 25569; // 1970-01-01 as a date-time value

} // namespace

std::string UrlEncode(const std::string &text)
{
    return http::PercentEncode(text, [](unsigned char c) {
        return c < 32 || c >= 128 || c == ' ' || c == '#' || c == '%' || c == '*' || c == '+' || c == '<' || c == '>';
    });
}

bool SplitUrl(const std::string &url, std::string &scheme, std::string &host, std::string &path, std::string &userName,
              std::string &password, std::string &extraInfo, uint16_t &port)
{
    std::string full = url.find("://") == std::string::npos ? "http://" + url : url;
    auto parts = http::CrackUrl(full);
    if (!parts || parts->scheme.size() > SchemeLimit || parts->host.size() > HostLimit ||
        parts->userName.size() > UserLimit || parts->password.size() > PasswordLimit ||
        parts->path.size() > PathLimit || parts->extraInfo.size() > ExtraLimit)
        return false;
    scheme = parts->scheme;
    host = parts->host;
    path = parts->path;
    userName = parts->userName;
    password = parts->password;
    extraInfo = parts->extraInfo;
    port = parts->port;
    return true;
}

std::string SplitToken(std::string &s, const std::string &delimiter, bool remove)
{
    size_t found = s.find(delimiter);
    if (found == std::string::npos) {
        std::string token = s;
        if (remove)
            s.clear();
        return token;
    }
    std::string token = s.substr(0, found);
    if (remove)
        s.erase(0, found + delimiter.size());
    return token;
}

DateTime EncodeDateTime(int year, int month, int day, int hours, int minutes, int seconds)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        throw std::invalid_argument("Invalid argument to date encode");
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59)
        throw std::invalid_argument("Invalid argument to time encode");
    double days = static_cast<double>(daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                                      UnixEpochDay);
    double time = (hours * 3600.0 + minutes * 60.0 + seconds) / 86400.0;
    // Before the zero date the fraction counts away from zero, as the day count does.
    return days >= 0 ? days + time : days - time;
}

double ParseGmtOffset(const std::string &text)
{
    std::string s = text::TrimText(text).substr(0, 5);
    if (s.empty() || (s[0] != '+' && s[0] != '-'))
        return 0;
    auto digits = [&](size_t from) {
        if (s.size() < from + 2 || !std::isdigit(static_cast<unsigned char>(s[from])) ||
            !std::isdigit(static_cast<unsigned char>(s[from + 1])))
            return -1;
        return (s[from] - '0') * 10 + (s[from + 1] - '0');
    };
    int hours = digits(1), minutes = digits(3);
    if (hours < 0 || minutes < 0 || hours >= 24 || minutes >= 60)
        return 0;
    double offset = (hours * 60.0 + minutes) / 1440.0;
    return s[0] == '-' ? -offset : offset;
}

DateTime UtcToLocal(DateTime value)
{
    time_t now = time(nullptr);
    struct tm local
    {};
    localtime_r(&now, &local);
    return value + static_cast<double>(local.tm_gmtoff) / 86400.0;
}

DateTime ParseHttpDate(const std::string &text)
{
    std::string s = text::TrimText(text);
    if (s.empty())
        return 0;
    DateTime value = 0;
    try {
        if (s.size() >= 3) {
            std::string head = upper(s.substr(0, 3));
            for (const char *day : weekdays)
                if (head == day) {
                    SplitToken(s, " ", true);
                    s = text::TrimLeftText(s);
                    break;
                }
        }
        size_t dash = s.find('-'), space = s.find(' ');
        std::string separator =
            (dash != std::string::npos && dash >= 1 && space != std::string::npos && dash < space) ? "-" : " ";
        auto readDay = [&] {
            int day = toIntDef(SplitToken(s, separator, true), 1);
            s = text::TrimLeftText(s);
            return day;
        };
        auto readMonth = [&] {
            int month = monthNumber(SplitToken(s, separator, true));
            s = text::TrimLeftText(s);
            return month;
        };
        int day, month;
        if (monthNumber(SplitToken(s, separator, false)) != 0) {
            month = readMonth();
            day = readDay();
        } else {
            day = readDay();
            month = readMonth();
        }
        std::string taken = SplitToken(s, " ", true);
        int year = toIntDef(taken, 1900);
        if (year == 1900) {
            // Not the year (asctime puts the time first): the year is what is left.
            year = toIntDef(s, 1900);
            s = taken;
        }
        if (year < 80)
            year += 2000;
        else if (year < 100)
            year += 1900;
        value = EncodeDateTime(year, month, day);
        if (s.find(':') != std::string::npos) {
            std::string time = SplitToken(s, " ", true);
            int hours = toIntDef(SplitToken(time, ":", true), 0);
            int minutes = toIntDef(SplitToken(time, ":", true), 0);
            int seconds = toIntDef(SplitToken(time, " ", true), 0);
            value += EncodeDateTime(1899, 12, 30, hours, minutes, seconds);
            s = text::TrimLeftText(s);
        }
    } catch (const std::exception &) {
        value = 0;
    }
    double offset = s.size() >= 5 ? ParseGmtOffset(s) : 0;
    return UtcToLocal(value - offset);
}

bool SetFileAttributesFromSet(const std::string &fileName, HttpFileAttributes attributes)
{
    // The file system here knows only read-only, through the write permissions;
    // the other attributes have no counterpart and are left out.
    struct stat info
    {};
    if (stat(fileName.c_str(), &info) != 0)
        return false;
    mode_t mode = info.st_mode & 07777;
    if (attributes & HttpFileAttribute::ReadOnly)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    return chmod(fileName.c_str(), mode) == 0;
}

} // namespace lotfinch::http
