#include "http/HelperProtocol.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <iterator>
#include <limits>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>

namespace lotfinch::http {

namespace {

using Clock = std::chrono::steady_clock;

// A message is its field count, then each field's length, then the fields'
// bytes; numbers are 32-bit in the machine's order (both ends are on this machine).
constexpr uint32_t MaxFields = 64;
// A field's room grows by at least this much as its bytes arrive, so that a
// length announced by a broken stream reserves no more than what came.
constexpr size_t GrowthStep = 1u << 20;

bool waits(const WireWait &wait)
{
    return wait.wake >= 0 || wait.deadline != Clock::time_point::max();
}

// Waits until the socket is ready for events; false once the wait ends.
bool waitFor(int socket, short events, const WireWait &wait)
{
    for (;;) {
        int timeout = -1;
        if (wait.deadline != Clock::time_point::max()) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(wait.deadline - Clock::now()).count();
            if (left <= 0)
                return false;
            timeout = static_cast<int>(std::min<long long>(left, INT_MAX));
        }
        pollfd places[2] = {{socket, events, 0}, {wait.wake, POLLIN, 0}};
        int ready = ::poll(places, 2, timeout);
        if (ready < 0 && errno != EINTR)
            return false;
        if (places[1].revents)
            return false;
        if (ready > 0)
            return true; // ready, or broken: the next call tells
    }
}

// Without a wait to end, the socket simply blocks; with one, a call that
// would block waits in poll() beside the wake descriptor.
bool readAll(int socket, const WireWait &wait, void *into, size_t size)
{
    auto *data = static_cast<char *>(into);
    const int flags = waits(wait) ? MSG_DONTWAIT : 0;
    while (size > 0) {
        ssize_t n = ::recv(socket, data, size, flags);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
        } else if (n == 0 || (errno != EINTR && (errno != EAGAIN || !waitFor(socket, POLLIN, wait)))) {
            return false;
        }
    }
    return true;
}

bool writeAll(int socket, const WireWait &wait, iovec *parts, size_t count)
{
    const int flags = MSG_NOSIGNAL | (waits(wait) ? MSG_DONTWAIT : 0);
    while (count > 0) {
        msghdr header{};
        header.msg_iov = parts;
        header.msg_iovlen = count;
        ssize_t n = ::sendmsg(socket, &header, flags);
        if (n < 0) {
            if (errno != EINTR && (errno != EAGAIN || !waitFor(socket, POLLOUT, wait)))
                return false;
            continue;
        }
        auto done = static_cast<size_t>(n);
        for (; count > 0 && done >= parts->iov_len; ++parts, --count)
            done -= parts->iov_len;
        if (count > 0) {
            parts->iov_base = static_cast<char *>(parts->iov_base) + done;
            parts->iov_len -= done;
        }
    }
    return true;
}

// The fields of a structured message after its name, in order. The same
// list serves the encoder and the decoder, so the two cannot drift apart.
template <class Visit> void fieldsOf(OpenMessage &open, Visit &visit)
{
    visit(open.session.agent);
    visit(open.session.access);
    visit(open.session.proxy);
    visit(open.session.proxyBypass);
    visit(open.session.offline);
    visit(open.server.scheme);
    visit(open.server.host);
    visit(open.server.port);
    visit(open.server.user);
    visit(open.server.password);
    visit(open.verb);
    visit(open.objectName);
    visit(open.referer);
    visit(open.acceptTypes);
    visit(open.flags);
    visit(open.cookies);
    visit(open.proxyEnvironment);
}

template <class Visit> void fieldsOf(HttpTimeouts &timeouts, Visit &visit)
{
    visit(timeouts.connect);
    visit(timeouts.receive);
    visit(timeouts.send);
    visit(timeouts.minimumSpeed);
    visit(timeouts.speedWindow);
    visit(timeouts.total);
}

template <class Visit> void fieldsOf(SentMessage &sent, Visit &visit)
{
    visit(sent.sent);
    visit(sent.cookies);
    visit(sent.status);
    visit(sent.rawHeaders);
}

constexpr size_t ProxyVariableCount = std::size(ProxyVariables);

struct Encoder
{
    WireMessage message;

    void operator()(const std::string &text) { message.push_back(text); }
    void operator()(bool flag) { message.push_back(flag ? "1" : "0"); }
    void operator()(HttpProxyAccess access) { message.push_back(std::to_string(static_cast<unsigned>(access))); }
    void operator()(std::optional<int> number) { message.push_back(number ? std::to_string(*number) : ""); }
    template <class Number> void operator()(Number number) { message.push_back(std::to_string(number)); }
    // A variable that is not set goes as an empty field, one that is as "=" and its value.
    void operator()(const std::vector<std::optional<std::string>> &environment)
    {
        for (size_t i = 0; i < ProxyVariableCount; ++i)
            message.push_back(i < environment.size() && environment[i] ? "=" + *environment[i] : "");
    }
};

struct Decoder
{
    const WireMessage &message;
    size_t next = 1;
    bool good = true;

    const std::string *take()
    {
        if (next >= message.size()) {
            good = false;
            return nullptr;
        }
        return &message[next++];
    }
    template <class Number> void number(const std::string *field, Number &value, uint64_t highest)
    {
        std::optional<uint64_t> count = field ? decodeCount(*field) : std::nullopt;
        good = good && count && *count <= highest;
        if (good)
            value = static_cast<Number>(*count);
    }

    void operator()(std::string &text)
    {
        if (const std::string *field = take())
            text = *field;
    }
    void operator()(bool &flag)
    {
        const std::string *field = take();
        good = good && field && (*field == "0" || *field == "1");
        if (good)
            flag = *field == "1";
    }
    void operator()(HttpProxyAccess &access) { number(take(), access, static_cast<uint64_t>(HttpProxyAccess::Named)); }
    void operator()(std::optional<int> &value)
    {
        const std::string *field = take();
        if (field && field->empty())
            value.reset();
        else
            number(field, value.emplace(), std::numeric_limits<int>::max());
    }
    template <class Number> void operator()(Number &value)
    {
        number(take(), value, std::numeric_limits<Number>::max());
    }
    void operator()(std::vector<std::optional<std::string>> &environment)
    {
        environment.assign(ProxyVariableCount, std::nullopt);
        for (auto &variable : environment) {
            const std::string *field = take();
            if (!field)
                return;
            if (!field->empty() && field->front() != '=')
                good = false;
            else if (!field->empty())
                variable = field->substr(1);
        }
    }
};

template <class Message> WireMessage encode(const char *name, Message fields)
{
    Encoder encoder{{name}};
    fieldsOf(fields, encoder);
    return std::move(encoder.message);
}

template <class Message> std::optional<Message> decode(const char *name, const WireMessage &message)
{
    if (message.empty() || message[0] != name)
        return std::nullopt;
    Message fields;
    Decoder decoder{message};
    fieldsOf(fields, decoder);
    if (!decoder.good || decoder.next != message.size())
        return std::nullopt;
    return fields;
}

struct CommandShape
{
    const char *name;
    HelperCommand command;
    size_t fields; // the name included; 0: the command's decoder checks them
};

const CommandShape Commands[] = {
    {"open", HelperCommand::Open, 0},
    {"timeouts", HelperCommand::Timeouts, 0},
    {"credentials", HelperCommand::Credentials, 3},
    {"proxy credentials", HelperCommand::ProxyCredentials, 3},
    {"headers", HelperCommand::Headers, 2},
    {"send", HelperCommand::Send, 3},
    {"read", HelperCommand::Read, 2},
    {"close", HelperCommand::Close, 1},
};

} // namespace

bool writeMessage(int socket, const WireMessage &message, const WireWait &wait)
{
    if (message.empty() || message.size() > MaxFields)
        return false;
    uint32_t head[1 + MaxFields];
    iovec parts[2 + MaxFields];
    const auto count = static_cast<uint32_t>(message.size());
    head[0] = count;
    uint64_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        total += message[i].size();
        if (total > MaxMessageBytes)
            return false;
        head[1 + i] = static_cast<uint32_t>(message[i].size());
        parts[1 + i] = {const_cast<char *>(message[i].data()), message[i].size()};
    }
    parts[0] = {head, (1 + count) * sizeof(uint32_t)};
    return writeAll(socket, wait, parts, 1 + count);
}

bool readMessage(int socket, WireMessage &message, const WireWait &wait)
{
    uint32_t count = 0;
    if (!readAll(socket, wait, &count, sizeof count) || count == 0 || count > MaxFields)
        return false;
    uint32_t sizes[MaxFields];
    if (!readAll(socket, wait, sizes, count * sizeof(uint32_t)))
        return false;
    uint64_t total = 0;
    for (uint32_t i = 0; i < count; ++i)
        total += sizes[i];
    if (total > MaxMessageBytes)
        return false;
    message.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        std::string &field = message[i];
        for (size_t have = 0; have < sizes[i];) {
            size_t room = std::min<size_t>(sizes[i], have + std::max(have, GrowthStep));
            field.resize(room);
            if (!readAll(socket, wait, field.data() + have, room - have))
                return false;
            have = room;
        }
        field.resize(sizes[i]);
    }
    return true;
}

std::optional<HelperCommand> commandOf(const WireMessage &message)
{
    for (const CommandShape &shape : Commands)
        if (!message.empty() && message[0] == shape.name)
            return shape.fields == 0 || message.size() == shape.fields ? std::optional(shape.command) : std::nullopt;
    return std::nullopt;
}

WireMessage encodeOpen(const OpenMessage &open)
{
    return encode("open", open);
}

std::optional<OpenMessage> decodeOpen(const WireMessage &message)
{
    return decode<OpenMessage>("open", message);
}

WireMessage encodeTimeouts(const HttpTimeouts &timeouts)
{
    return encode("timeouts", timeouts);
}

std::optional<HttpTimeouts> decodeTimeouts(const WireMessage &message)
{
    return decode<HttpTimeouts>("timeouts", message);
}

WireMessage encodeSent(const SentMessage &sent)
{
    return encode("sent", sent);
}

std::optional<SentMessage> decodeSent(const WireMessage &message)
{
    return decode<SentMessage>("sent", message);
}

std::optional<uint64_t> decodeCount(const std::string &text)
{
    uint64_t value = 0;
    const char *end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

} // namespace lotfinch::http
