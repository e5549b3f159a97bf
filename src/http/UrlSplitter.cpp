#include "http/UrlSplitter.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cctype>
#include <string_view>

namespace lotfinch::http {

namespace {

struct KnownScheme
{
    std::string_view name;
    uint16_t port;
    bool loginOptions; // "user;options@" carries options after the user name
};

// The schemes with a default port of their own; any other scheme splits too,
// with port 0 unless the URL names one.
constexpr std::array<KnownScheme, 30> KnownSchemes{{
    {"dict", 2628, false},  {"file", 0, false},     {"ftp", 21, false},    {"ftps", 990, false},  {"gopher", 70, false},
    {"gophers", 70, false}, {"http", 80, false},    {"https", 443, false}, {"imap", 143, true},   {"imaps", 993, true},
    {"ldap", 389, false},   {"ldaps", 636, false},  {"mqtt", 1883, false}, {"pop3", 110, true},   {"pop3s", 995, true},
    {"rtmp", 1935, false},  {"rtmpe", 1935, false}, {"rtmps", 443, false}, {"rtmpt", 80, false},  {"rtmpte", 80, false},
    {"rtmpts", 443, false}, {"rtsp", 554, false},   {"scp", 22, false},    {"sftp", 22, false},   {"smb", 445, false},
    {"smbs", 445, false},   {"smtp", 25, true},     {"smtps", 465, true},  {"telnet", 23, false}, {"tftp", 69, false},
}};

KnownScheme schemeInfo(std::string_view scheme)
{
    for (const auto &known : KnownSchemes)
        if (known.name == scheme)
            return known;
    return {scheme, 0, false};
}

constexpr size_t LongestUrl = 8000000;
constexpr size_t LongestScheme = 40;

int hexDigit(char c)
{
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : -1;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Escape sequences decoded, whatever bytes they stand for.
std::string decoded(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        int high = i + 2 < text.size() && text[i] == '%' ? hexDigit(text[i + 1]) : -1;
        int low = high >= 0 ? hexDigit(text[i + 2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Control bytes are written as escapes before the URL is split, so that a tab
// pasted into a phrase passes; the decoding of the parts gives them back.
bool isControlByte(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

// "c:" or "c|" followed by a slash, a backslash or the end: a drive letter,
// which a file URL may not carry here.
bool startsWithDrive(std::string_view text)
{
    return text.size() >= 2 && isAlpha(text[0]) && (text[1] == ':' || text[1] == '|') &&
           (text.size() == 2 || text[2] == '/' || text[2] == '\\');
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

// The scheme's length when the text starts with one and a colon, else 0.
size_t schemeLength(std::string_view url)
{
    size_t n = 0;
    while (n < url.size() && n < LongestScheme &&
           (isAlpha(url[n]) || isDigit(url[n]) || url[n] == '+' || url[n] == '-' || url[n] == '.'))
        ++n;
    return n < url.size() && url[n] == ':' ? n : 0;
}

// One number of a numeric IPv4 host in C notation (0x hexadecimal, leading 0
// octal), with the position after it; values past 32 bits read as too large.
uint64_t ipv4Number(std::string_view text, size_t &pos)
{
    unsigned base = text[pos] == '0' ? 8 : 10;
    if (base == 8 && pos + 2 < text.size() && (text[pos + 1] | 0x20) == 'x' && hexDigit(text[pos + 2]) >= 0) {
        base = 16;
        pos += 2;
    }
    uint64_t value = 0;
    for (; pos < text.size(); ++pos) {
        int digit = hexDigit(text[pos]);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
            break;
        value = std::min<uint64_t>(value * base + static_cast<unsigned>(digit), uint64_t{1} << 33);
    }
    return value;
}

// A numeric IPv4 host ("127.1", "0x7f000001", "1.2.3.4") in dotted-quad form,
// or nothing when the host is a name.
std::optional<std::string> ipv4Host(std::string_view host)
{
    std::array<uint64_t, 4> parts{};
    size_t n = 0, pos = 0;
    for (;;) {
        if (pos >= host.size() || !isDigit(host[pos]))
            return std::nullopt;
        parts[n] = ipv4Number(host, pos);
        if (parts[n] > 0xFFFFFFFF)
            return std::nullopt;
        if (pos == host.size())
            break;
        if (host[pos] != '.' || n == 3)
            return std::nullopt;
        ++n;
        ++pos;
    }
    // The last number fills the bytes the dotted ones leave.
    uint64_t address = parts[n];
    if (address >> (8 * (4 - n)) != 0)
        return std::nullopt;
    for (size_t i = 0; i < n; ++i) {
        if (parts[i] > 0xFF)
            return std::nullopt;
        address |= parts[i] << (24 - 8 * i);
    }
    return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 0xFF) + "." +
           std::to_string(address >> 8 & 0xFF) + "." + std::to_string(address & 0xFF);
}

// A bracketed IPv6 host, its zone dropped and its address written shorter
// where it can be; nothing when it is no IPv6 address.
std::optional<std::string> ipv6Host(std::string_view host)
{
    if (host.size() < 4)
        return std::nullopt;
    std::string_view inner = host.substr(1, host.size() - 2);
    size_t length = inner.find_first_not_of("0123456789abcdefABCDEF:.");
    if (length != std::string_view::npos) {
        if (inner[length] != '%')
            return std::nullopt;
        std::string_view zone = host.substr(length + 2);
        if (zone.size() > 2 && zone.substr(0, 2) == "25" && zone[2] != ']')
            zone.remove_prefix(2);
        // The zone names at most 15 bytes and ends the address.
        size_t zoneLength = zone.find(']');
        if (zoneLength == 0 || zoneLength > 15)
            return std::nullopt;
        inner = inner.substr(0, length);
    }
    std::string address(inner);
    in6_addr binary{};
    if (inet_pton(AF_INET6, address.c_str(), &binary) != 1)
        return std::nullopt;
    char shorter[INET6_ADDRSTRLEN];
    if (inet_ntop(AF_INET6, &binary, shorter, sizeof shorter) && std::string_view(shorter).size() < address.size())
        address = shorter;
    return "[" + address + "]";
}

// A host name with its escapes decoded; nothing when it holds a byte no host
// name may hold. Control bytes can only come from escapes here.
std::optional<std::string> hostName(std::string_view host)
{
    std::string name = decoded(host);
    for (unsigned char c : name)
        if (c < 0x20 ||
            std::string_view(" /:#?!@{}[]\\$'\"^`*<>=;,+&()").find(static_cast<char>(c)) != std::string_view::npos)
            return std::nullopt;
    return name;
}

// Splits "[user[:password]@]host[:port]" into the parts; false when it is
// malformed.
bool splitAuthority(std::string_view authority, const KnownScheme &scheme, UrlParts &parts)
{
    size_t at = authority.find('@');
    if (at != std::string_view::npos) {
        std::string_view login = authority.substr(0, at);
        size_t colon = login.find(':');
        size_t semicolon = scheme.loginOptions ? login.find(';') : std::string_view::npos;
        parts.userName = login.substr(0, std::min(colon, semicolon));
        if (colon != std::string_view::npos) {
            size_t end = semicolon != std::string_view::npos && semicolon > colon ? semicolon : login.size();
            parts.password = login.substr(colon + 1, end - colon - 1);
        }
        authority.remove_prefix(at + 1);
    }

    std::string_view host = authority;
    size_t portMark = std::string_view::npos;
    if (!host.empty() && host[0] == '[') {
        size_t close = host.find(']');
        if (close == std::string_view::npos)
            return false;
        if (close + 1 < host.size()) {
            if (host[close + 1] != ':')
                return false;
            portMark = close + 1;
        }
    } else {
        portMark = host.find(':');
    }
    if (portMark != std::string_view::npos) {
        std::string_view digits = host.substr(portMark + 1);
        host = host.substr(0, portMark);
        // "host:" keeps the default port.
        if (!digits.empty()) {
            unsigned long value = 0;
            for (char c : digits) {
                if (!isDigit(c))
                    return false;
                value = std::min(value * 10 + static_cast<unsigned>(c - '0'), 65536UL);
            }
            if (value > 65535)
                return false;
            parts.port = static_cast<uint16_t>(value);
        }
    }
    if (host.empty())
        return false;

    std::optional<std::string> checked;
    if (host[0] == '[')
        checked = ipv6Host(host);
    else if (!(checked = ipv4Host(host)))
        checked = hostName(host);
    if (!checked)
        return false;
    parts.host = *checked;
    return true;
}

} // namespace

std::string PercentEncode(const std::string &text, bool (*escape)(unsigned char))
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (escape(c)) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::optional<UrlParts> CrackUrl(const std::string &text)
{
    const std::string escaped = PercentEncode(text, isControlByte);
    std::string_view url = escaped;
    size_t schemeSize = schemeLength(url);
    if (url.size() > LongestUrl || schemeSize == 0)
        return std::nullopt;

    UrlParts parts;
    for (char c : url.substr(0, schemeSize))
        parts.scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const KnownScheme scheme = schemeInfo(parts.scheme);
    parts.port = scheme.port;
    std::string_view rest = url.substr(schemeSize + 1);

    if (parts.scheme == "file") {
        // No host, or "localhost" or "127.0.0.1", which stand for none.
        if (url.size() <= 6)
            return std::nullopt;
        if (rest.substr(0, 2) == "//") {
            rest.remove_prefix(2);
            if (!rest.starts_with('/') && !startsWithDrive(rest)) {
                if (!startsWithNoCase(rest, "localhost/") && !startsWithNoCase(rest, "127.0.0.1/"))
                    return std::nullopt;
                rest.remove_prefix(9);
            }
        }
        if (startsWithDrive(rest) || (rest.starts_with('/') && startsWithDrive(rest.substr(1))))
            return std::nullopt;
    } else {
        size_t slashes = rest.find_first_not_of('/');
        slashes = slashes == std::string_view::npos ? rest.size() : slashes;
        if (slashes < 1 || slashes > 3)
            return std::nullopt;
        rest.remove_prefix(slashes);
        size_t end = std::min(rest.find_first_of("/?#"), rest.size());
        if (end == 0 || !splitAuthority(rest.substr(0, end), scheme, parts))
            return std::nullopt;
        rest.remove_prefix(end);
    }

    size_t fragmentMark = std::min(rest.find('#'), rest.size());
    size_t queryMark = std::min(rest.find('?'), fragmentMark);
    std::string_view path = rest.substr(0, queryMark);
    std::string_view query = rest.substr(queryMark, fragmentMark - queryMark);
    std::string_view fragment = rest.substr(fragmentMark);

    // The host's escapes were decoded while it was checked; they are decoded
    // once more like the other parts, as the program has always done.
    parts.host = decoded(parts.host);
    parts.userName = decoded(parts.userName);
    parts.password = decoded(parts.password);
    // A path of one byte (only a file URL can have one without a slash) reads as "/".
    parts.path = path.size() <= 1 ? "/" : decoded(path);
    // Everything from the first "?" or "#" after the host, the "?" or "#"
    // kept even when nothing follows it.
    size_t mark = text.find_first_of("?#", text.find("://") + 3);
    if (mark != std::string::npos) {
        if (text[mark] == '?')
            parts.extraInfo.append("?").append(decoded(query.substr(query.empty() ? 0 : 1)));
        if (text.find('#', mark) != std::string::npos)
            parts.extraInfo.append("#").append(decoded(fragment.substr(fragment.empty() ? 0 : 1)));
    }
    return parts;
}

} // namespace lotfinch::http
