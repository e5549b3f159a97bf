#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

class QSocketNotifier;

namespace lotfinch::platform {

// The message a new copy of a program sends to the first copy: a check
// value, the new copy's key, and a data block. The first copy answers as soon
// as it holds the whole block, so the new copy is free to end at once.
constexpr uint32_t NewInstanceMessage = 0x0465;
// Larger blocks are refused: no command line comes near it.
constexpr uint32_t MaxMessageBytes = 4 << 20;

// The first copy's end: a local socket that only its user can reach. (Plain
// sockets: Qt's network module would cost the waiting program its memory.)
class InstanceReceiver : public QObject
{
public:
    explicit InstanceReceiver(const QString &path, QObject *parent = nullptr);
    ~InstanceReceiver() override;

    // Replaces a socket left by a copy that ended without closing it; only the
    // holder of the first copy's claim may call it.
    bool listen();

    // Raised on the receiver's thread for each whole message, after the answer.
    std::function<void(uint32_t key, const QByteArray &block)> OnMessage;

private:
    struct Incoming;
    void accept();
    void read(Incoming &incoming);

    QString path_;
    int listener_ = -1;
    QSocketNotifier *listening_ = nullptr;
};

// The new copy's end: sends the message and waits at most timeoutMs in all for
// the answer. True when the first copy answered.
bool SendToInstance(const QString &path, uint32_t key, const QByteArray &block, int timeoutMs);

} // namespace lotfinch::platform
