#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lotfinch::platform {

struct UrlParts
{
    std::string scheme, host, userName, password, path, extraInfo;
    uint16_t port = 0;
};

// Splits an absolute URL with the HTTP library's parser: escape sequences are
// decoded, the scheme's default port filled in, and everything from the first
// "?" or "#" goes to extraInfo. Nothing when the URL cannot be split.
std::optional<UrlParts> CrackUrl(const std::string &url);

} // namespace lotfinch::platform
