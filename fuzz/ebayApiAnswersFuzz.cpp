// Any bytes as an answer of eBay's API or its token service: reading must end
// without fault, and what it reads must be fit for a link and a header line.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/EbayApiAnswers.h"

using namespace lotfinch::core;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view body(reinterpret_cast<const char *>(data), size);
    if (const auto items = ReadSearchAnswer(body)) {
        for (const ApiItem &item : *items)
            if (item.itemNumber.empty() || item.itemNumber.find_first_not_of("0123456789") != std::string::npos)
                std::abort();
    }
    if (const auto token = ReadTokenAnswer(body)) {
        for (char c : token->accessToken)
            if (c < ' ' || c > '~')
                std::abort();
        if (token->expiresInSeconds <= 0)
            std::abort();
    }
    ReadErrorAnswer(body);
    return 0;
}
