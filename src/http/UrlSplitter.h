#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lotfinch::http {

struct UrlParts
{
    std::string scheme, host, userName, password, path, extraInfo;
    uint16_t port = 0;
};

// The text with each byte for which escape holds written as "%" and two
// upper-case hexadecimal digits.
std::string PercentEncode(const std::string &text, bool (*escape)(unsigned char));

// Splits an absolute URL "scheme:[//][user[:password]@]host[:port][path]": escape
// sequences are decoded, the scheme's default port filled in, and everything
// from the first "?" or "#" goes to extraInfo. Nothing when the URL cannot be
// split.
std::optional<UrlParts> CrackUrl(const std::string &url);

} // namespace lotfinch::http
