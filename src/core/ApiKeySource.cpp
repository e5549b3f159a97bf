#include "core/ApiKeySource.h"

#include <QString>

namespace lotfinch::core {

namespace {

// One keyring entry holds both keys, a line each; neither holds a line break.
const QString entryName = QStringLiteral("ebay-api-keys");

} // namespace

ApiKeySource::ApiKeySource(platform::KeyStore store) : store_(std::move(store))
{}

std::optional<ApiKeys> ApiKeySource::Keys()
{
    if (auto keys = KeysFromEnvironment())
        return keys;
    if (!asked_) {
        asked_ = true;
        const platform::KeyStore::Reading reading = store_.read(entryName);
        keyringUnavailable_ = reading.status == platform::KeyStore::Status::Unavailable;
        const QStringList lines = reading.secret.split('\n');
        if (lines.size() == 2) {
            ApiKeys keys{lines[0].toStdString(), lines[1].toStdString()};
            if (keys.complete())
                keys_ = keys;
        }
    }
    return keys_;
}

std::optional<ApiKeySource::Kept> ApiKeySource::Store(const ApiKeys &keys)
{
    auto blank = [](const std::string &key) { return key.find_first_of(" \t\r\n") != std::string::npos; };
    if (!keys.complete() || blank(keys.clientId) || blank(keys.clientSecret))
        return std::nullopt;
    keys_ = keys;
    asked_ = true;
    const QString entry = QString::fromStdString(keys.clientId) + '\n' + QString::fromStdString(keys.clientSecret);
    keyringUnavailable_ = store_.write(entryName, entry) != platform::KeyStore::Status::Ok;
    return keyringUnavailable_ ? Kept::ForThisRun : Kept::InKeyring;
}

bool ApiKeySource::Remove()
{
    keys_.reset();
    asked_ = true;
    keyringUnavailable_ = store_.remove(entryName) != platform::KeyStore::Status::Ok;
    return !keyringUnavailable_;
}

} // namespace lotfinch::core
