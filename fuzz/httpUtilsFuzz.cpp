// Feeds arbitrary bytes to the parsers that read what a server or a user
// hands the HTTP side: the date parser, the URL splitter and the encoder.
#include <cstddef>
#include <cstdint>
#include <string>

#include "http/UrlAndDate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    lotfinch::http::ParseHttpDate(text);
    lotfinch::http::ParseGmtOffset(text);

    std::string scheme, host, path, user, password, extra;
    uint16_t port = 0;
    if (lotfinch::http::SplitUrl(text, scheme, host, path, user, password, extra, port)) {
        if (scheme.empty() || host.size() > 256 || path.size() > 2048 || extra.size() > 2048)
            __builtin_trap();
    }
    std::string encoded = lotfinch::http::UrlEncode(text);
    for (char c : encoded)
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) >= 128 || c == ' ')
            __builtin_trap();
    return 0;
}
