#pragma once

#include <optional>
#include <string>

#include "core/EbayApiClient.h"
#include "platform/KeyStore.h"

namespace lotfinch::core {

// Where the eBay API keys come from: the environment where both variables are
// set (the keyring is then never asked), otherwise the desktop's keyring, read
// the first time the keys are needed. Where no keyring answers, keys the user
// enters are kept for this run only.
class ApiKeySource
{
public:
    explicit ApiKeySource(platform::KeyStore store);

    std::optional<ApiKeys> Keys();
    bool FromEnvironment() const { return KeysFromEnvironment().has_value(); }

    enum class Kept { InKeyring, ForThisRun };
    // Incomplete keys are refused (nothing kept, nothing changed).
    std::optional<Kept> Store(const ApiKeys &keys);
    // Forgets the keys of this run and removes those in the keyring; returns
    // whether the keyring answered.
    bool Remove();
    // Whether the last keyring call got no answer.
    bool KeyringUnavailable() const { return keyringUnavailable_; }

private:
    platform::KeyStore store_;
    std::optional<ApiKeys> keys_;
    bool asked_ = false;
    bool keyringUnavailable_ = false;
};

} // namespace lotfinch::core
