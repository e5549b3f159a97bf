#include "platform/InstanceChannel.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QtEndian>

namespace lotfinch::platform {

namespace {

// Check value, key, block size: three little-endian 32-bit numbers.
constexpr qint64 HeaderBytes = 12;
// A copy that connects and then does not send its whole message is let go.
constexpr int ReadTimeoutMs = 10000;
constexpr char Answer = 1;

int remaining(const QDeadlineTimer &deadline)
{
    return static_cast<int>(deadline.remainingTime());
}

} // namespace

InstanceReceiver::InstanceReceiver(const QString &path, QObject *parent)
    : QObject(parent), path_(path), server_(new QLocalServer(this))
{
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, [this] { accept(); });
}

InstanceReceiver::~InstanceReceiver()
{
    // Closing removes the socket file while this copy still holds its claim.
    server_->close();
}

bool InstanceReceiver::listen()
{
    QLocalServer::removeServer(path_);
    return server_->listen(path_);
}

void InstanceReceiver::accept()
{
    while (QLocalSocket *socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        QTimer::singleShot(ReadTimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        read(socket);
    }
}

void InstanceReceiver::read(QLocalSocket *socket)
{
    char header[HeaderBytes];
    if (socket->peek(header, HeaderBytes) < HeaderBytes)
        return;
    const auto check = qFromLittleEndian<uint32_t>(header);
    const auto key = qFromLittleEndian<uint32_t>(header + 4);
    const auto size = qFromLittleEndian<uint32_t>(header + 8);
    if (check != NewInstanceMessage || size > MaxMessageBytes) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (socket->bytesAvailable() < HeaderBytes + size)
        return;
    socket->skip(HeaderBytes);
    const QByteArray block = socket->read(size);
    socket->write(&Answer, 1);
    socket->disconnectFromServer();
    // The handler may open a modal window; the socket is not touched after it.
    if (OnMessage)
        OnMessage(key, block);
}

bool SendToInstance(const QString &path, uint32_t key, const QByteArray &block, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(remaining(deadline)))
        return false;
    QByteArray message(HeaderBytes, '\0');
    qToLittleEndian<uint32_t>(NewInstanceMessage, message.data());
    qToLittleEndian<uint32_t>(key, message.data() + 4);
    qToLittleEndian<uint32_t>(static_cast<uint32_t>(block.size()), message.data() + 8);
    message += block;
    socket.write(message);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(remaining(deadline)))
            return false;
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(remaining(deadline)))
            return false;
    char answer = 0;
    return socket.getChar(&answer) && answer == Answer;
}

} // namespace lotfinch::platform
