#pragma once

#include <QString>
#include <chrono>

// The desktop's keyring (the Secret Service, or KWallet on Plasma) through
// QtKeychain: where the program keeps secrets, never in a file of its own.
namespace lotfinch::platform {

class KeyStore
{
public:
    enum class Status {
        Ok,
        NotFound,   // the keyring answered: there is no such entry
        Unavailable // no keyring answered in time, or it refused
    };
    struct Reading
    {
        Status status = Status::Unavailable;
        QString secret;
    };

    // Each call waits at most limit for the keyring, answering events meanwhile.
    explicit KeyStore(QString service, std::chrono::milliseconds limit = std::chrono::seconds(15));

    Reading read(const QString &key) const;
    Status write(const QString &key, const QString &secret) const;
    // Removing an entry that is not there is no failure.
    Status remove(const QString &key) const;

private:
    QString service_;
    std::chrono::milliseconds limit_;
};

} // namespace lotfinch::platform
