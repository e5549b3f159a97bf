#include "platform/HttpWire.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace lotfinch::platform {

namespace {

// A message is its field count, then each field as its length and its bytes;
// numbers are 32-bit in the machine's order (both ends are on this machine).
constexpr uint32_t MaxFields = 64;

bool writeAll(int socket, const char *data, size_t size)
{
    while (size > 0) {
        ssize_t n = ::send(socket, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool readAll(int socket, int wake, char *data, size_t size)
{
    while (size > 0) {
        if (wake >= 0) {
            pollfd places[2] = {{socket, POLLIN, 0}, {wake, POLLIN, 0}};
            if (::poll(places, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            if (places[1].revents)
                return false;
        }
        ssize_t n = ::recv(socket, data, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void appendNumber(std::string &out, uint32_t value)
{
    out.append(reinterpret_cast<const char *>(&value), sizeof value);
}

} // namespace

bool writeMessage(int socket, const WireMessage &message)
{
    std::string head;
    appendNumber(head, static_cast<uint32_t>(message.size()));
    for (const std::string &field : message)
        appendNumber(head, static_cast<uint32_t>(field.size()));
    if (!writeAll(socket, head.data(), head.size()))
        return false;
    for (const std::string &field : message)
        if (!writeAll(socket, field.data(), field.size()))
            return false;
    return true;
}

bool readMessage(int socket, WireMessage &message, int wake)
{
    uint32_t count = 0;
    if (!readAll(socket, wake, reinterpret_cast<char *>(&count), sizeof count) || count == 0 || count > MaxFields)
        return false;
    uint32_t sizes[MaxFields];
    if (!readAll(socket, wake, reinterpret_cast<char *>(sizes), count * sizeof(uint32_t)))
        return false;
    message.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        message[i].resize(sizes[i]);
        if (!readAll(socket, wake, message[i].data(), sizes[i]))
            return false;
    }
    return true;
}

} // namespace lotfinch::platform
