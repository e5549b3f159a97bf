#include "platform/InstanceChannel.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace lotfinch::platform {

namespace {

constexpr qsizetype HeaderBytes = InstanceMessageReader::HeaderBytes;
// A copy that connects and then does not send its whole message is let go.
constexpr int ReadTimeoutMs = 10000;
// How long the listener rests when a connection cannot be taken (out of file
// descriptors or kernel memory): the connection stays queued for the next try.
constexpr int AcceptPauseMs = 250;
constexpr char Answer = 1;

// The socket address of the path; false (ENAMETOOLONG) when the path does not fit in one.
bool addressOf(const QString &path, sockaddr_un &address)
{
    const QByteArray name = QFile::encodeName(path);
    address = {};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || name.size() >= static_cast<qsizetype>(sizeof address.sun_path)) {
        errno = name.isEmpty() ? ENOENT : ENAMETOOLONG;
        return false;
    }
    std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
    return true;
}

// Bounds the socket's next blocking calls by what is left of the deadline.
bool limitTo(int socket, const QDeadlineTimer &deadline)
{
    const qint64 ms = deadline.remainingTime();
    if (ms == 0)
        return false;
    timeval limit{};
    if (ms > 0)
        limit = {static_cast<time_t>(ms / 1000), static_cast<suseconds_t>(ms % 1000 * 1000)};
    return ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0 &&
           ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0;
}

} // namespace

QByteArray EncodeInstanceMessage(uint32_t key, const QByteArray &block)
{
    QByteArray message(HeaderBytes, '\0');
    qToLittleEndian<uint32_t>(NewInstanceMessage, message.data());
    qToLittleEndian<uint32_t>(key, message.data() + 4);
    qToLittleEndian<uint32_t>(static_cast<uint32_t>(block.size()), message.data() + 8);
    return message + block;
}

qsizetype InstanceMessageReader::missing() const
{
    switch (state_) {
    case State::Header: return HeaderBytes - data_.size();
    case State::Block: return HeaderBytes + qFromLittleEndian<uint32_t>(data_.constData() + 8) - data_.size();
    default: return 0;
    }
}

void InstanceMessageReader::take(const char *bytes, qsizetype size)
{
    data_.append(bytes, std::min(size, missing()));
    if (state_ == State::Header && data_.size() == HeaderBytes) {
        const char *header = data_.constData();
        if (qFromLittleEndian<uint32_t>(header) != NewInstanceMessage ||
            qFromLittleEndian<uint32_t>(header + 8) > MaxMessageBytes) {
            state_ = State::Refused;
            data_ = QByteArray();
            return;
        }
        key_ = qFromLittleEndian<uint32_t>(header + 4);
        state_ = State::Block;
    }
    if (state_ == State::Block && missing() == 0)
        state_ = State::Whole;
}

// A connection whose message is still coming in. Its notifier's handlers
// hold it; it closes the connection when they go, whichever way they go.
struct InstanceReceiver::Incoming
{
    Incoming(int socket, QSocketNotifier *notifier) : socket(socket), notifier(notifier) {}
    Incoming(const Incoming &) = delete;
    Incoming &operator=(const Incoming &) = delete;
    ~Incoming()
    {
        if (open)
            ::close(socket);
    }

    int socket;
    QSocketNotifier *notifier;
    InstanceMessageReader message;
    bool open = true;
};

InstanceReceiver::InstanceReceiver(const QString &path, QObject *parent) : QObject(parent), path_(path)
{}

InstanceReceiver::~InstanceReceiver()
{
    // Removes the socket file while this copy still holds its claim.
    if (listener_ >= 0) {
        delete listening_;
        ::close(listener_);
        ::unlink(QFile::encodeName(path_).constData());
    }
}

bool InstanceReceiver::listen()
{
    sockaddr_un address;
    if (listener_ >= 0 || !addressOf(path_, address))
        return false;
    ::unlink(address.sun_path);
    int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket < 0)
        return false;
    // The socket file takes the socket's own permissions when it is made
    // (Linux), so nobody else can reach it even for a moment.
    if (::fchmod(socket, S_IRUSR | S_IWUSR) != 0 ||
        ::bind(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(socket, SOMAXCONN) != 0) {
        const int error = errno;
        ::close(socket);
        errno = error;
        return false;
    }
    listener_ = socket;
    listening_ = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    connect(listening_, &QSocketNotifier::activated, this, [this] { accept(); });
    return true;
}

void InstanceReceiver::accept()
{
    while (held_ < MaxHeldConnections) {
        const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (socket < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            // The listener stays ready while a connection cannot be taken;
            // answering it at once would only spin.
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                pauseAccepting();
            break;
        }
        ++held_;
        auto *notifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
        auto incoming = std::make_shared<Incoming>(socket, notifier);
        connect(notifier, &QSocketNotifier::activated, this, [this, incoming] { read(*incoming); });
        QTimer::singleShot(ReadTimeoutMs, notifier, [this, incoming] { drop(*incoming); });
        // The message handler may end the receiver.
        const QPointer<InstanceReceiver> alive(this);
        read(*incoming);
        if (!alive)
            return;
    }
    updateListening();
}

void InstanceReceiver::read(Incoming &incoming)
{
    InstanceMessageReader &message = incoming.message;
    for (char chunk[16384]; message.missing() > 0;) {
        const ssize_t n = ::recv(incoming.socket, chunk,
                                 static_cast<size_t>(std::min<qsizetype>(sizeof chunk, message.missing())), 0);
        if (n > 0)
            message.take(chunk, n);
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        else
            break;
    }
    if (!message.whole()) {
        drop(incoming);
        return;
    }
    ::send(incoming.socket, &Answer, 1, MSG_NOSIGNAL);
    drop(incoming);
    // The handler may open a modal window; the connection is not touched after it.
    if (OnMessage)
        OnMessage(message.key(), message.block());
}

void InstanceReceiver::drop(Incoming &incoming)
{
    if (!incoming.open)
        return;
    incoming.open = false;
    incoming.notifier->setEnabled(false);
    ::close(incoming.socket);
    incoming.notifier->deleteLater();
    --held_;
    updateListening();
}

void InstanceReceiver::pauseAccepting()
{
    if (paused_)
        return;
    paused_ = true;
    QTimer::singleShot(AcceptPauseMs, this, [this] {
        paused_ = false;
        updateListening();
    });
}

void InstanceReceiver::updateListening()
{
    listening_->setEnabled(held_ < MaxHeldConnections && !paused_);
}

bool SendToInstance(const QString &path, uint32_t key, const QByteArray &block, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    sockaddr_un address;
    if (!addressOf(path, address))
        return false;
    const QByteArray message = EncodeInstanceMessage(key, block);

    int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return false;
    bool sent = limitTo(socket, deadline) &&
                ::connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    for (qsizetype done = 0; sent && done < message.size();) {
        const ssize_t n = limitTo(socket, deadline) ? ::send(socket, message.constData() + done,
                                                             static_cast<size_t>(message.size() - done), MSG_NOSIGNAL)
                                                    : -1;
        if (n > 0)
            done += n;
        else
            sent = n < 0 && errno == EINTR;
    }
    char answer = 0;
    ssize_t got = -1;
    while (sent && limitTo(socket, deadline) && (got = ::recv(socket, &answer, 1, 0)) < 0 && errno == EINTR) {
    }
    ::close(socket);
    return got == 1 && answer == Answer;
}

} // namespace lotfinch::platform
