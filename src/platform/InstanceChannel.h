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

// The message as bytes on the wire: check value, key, block size (three
// little-endian 32-bit numbers), then the block.
QByteArray EncodeInstanceMessage(uint32_t key, const QByteArray &block);

// Reads one message from the bytes of a connection as they arrive. It asks
// for no byte beyond the message, so a connection costs at most the size the
// message announces, and refuses a header that is not a new copy's message.
class InstanceMessageReader
{
public:
    // Bytes still to come: the rest of the header, then the rest of the
    // block; 0 once the message is whole or refused.
    qsizetype missing() const;
    // Takes the bytes that arrived, at most missing() of them.
    void take(const char *bytes, qsizetype size);

    bool whole() const { return state_ == State::Whole; }
    bool refused() const { return state_ == State::Refused; }
    // Once whole: the new copy's key and its data block.
    uint32_t key() const { return key_; }
    QByteArray block() const { return data_.mid(HeaderBytes); }

    static constexpr qsizetype HeaderBytes = 12;

private:
    enum class State { Header, Block, Whole, Refused };

    State state_ = State::Header;
    uint32_t key_ = 0;
    QByteArray data_;
};

// The first copy's end: a local socket that only its user can reach. (Plain
// sockets: Qt's network module would cost the waiting program its memory.)
// It holds at most MaxHeldConnections at once; further copies wait in the
// socket's queue until one is done, as they do while the process is out of
// file descriptors.
class InstanceReceiver : public QObject
{
public:
    explicit InstanceReceiver(const QString &path, QObject *parent = nullptr);
    ~InstanceReceiver() override;

    // Replaces a socket left by a copy that ended without closing it; only the
    // holder of the first copy's claim may call it.
    // False, with errno set, when it cannot (ENAMETOOLONG: the path does not fit in a socket address).
    bool listen();

    // Raised on the receiver's thread for each whole message, after the answer.
    std::function<void(uint32_t key, const QByteArray &block)> OnMessage;

    static constexpr int MaxHeldConnections = 8;

private:
    struct Incoming;
    void accept();
    void read(Incoming &incoming);
    void drop(Incoming &incoming);
    void pauseAccepting();
    void updateListening();

    QString path_;
    int listener_ = -1;
    QSocketNotifier *listening_ = nullptr;
    int held_ = 0;
    bool paused_ = false;
};

// The new copy's end: sends the message and waits at most timeoutMs in all for
// the answer. True when the first copy answered.
bool SendToInstance(const QString &path, uint32_t key, const QByteArray &block, int timeoutMs);

} // namespace lotfinch::platform
