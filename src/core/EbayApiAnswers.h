#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reads the JSON answers of eBay's Browse API and of its token service. The
// answers come from a server: anything not of the expected shape is refused
// as a whole, never half read.
namespace lotfinch::core {

// An answer longer than this is refused unread (a full answer of 200 items is
// far below a megabyte).
inline constexpr std::size_t MaxApiAnswerBytes = std::size_t{8} << 20;

struct ApiToken
{
    std::string accessToken;
    int expiresInSeconds = 0;
};

// {"access_token": "...", "expires_in": 7200, ...}; nullopt for any other shape.
std::optional<ApiToken> ReadTokenAnswer(std::string_view body);

struct ApiItem
{
    std::string itemNumber; // legacyItemId: digits only
    std::string title;      // UTF-8, as eBay sent it
};

// The items of a search answer, in the answer's order. An answer without
// "itemSummaries" found nothing; an item without a numeric legacyItemId is
// left out. nullopt when the body is not a JSON object or the list is not a
// list of objects.
std::optional<std::vector<ApiItem>> ReadSearchAnswer(std::string_view body);

// What an error answer says: the token service's {"error": ..., "error_description": ...}
// or the API's {"errors": [{"errorId": N, "message": ...}]}. Empty fields where
// the body says nothing of it.
struct ApiError
{
    std::string error;   // the token service's error code ("invalid_client")
    int errorId = 0;     // the first of the API's errors
    std::string message; // its message, or the token service's description
};
ApiError ReadErrorAnswer(std::string_view body);

} // namespace lotfinch::core
