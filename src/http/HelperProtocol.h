#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "http/HttpClient.h"

// The messages between the program and its HTTP helper process (see
// HttpProcess.cpp): each is a list of byte strings, the first naming what it
// is. Both sides write and read the structured ones with the functions here.
namespace lotfinch::http {

using WireMessage = std::vector<std::string>;

// The environment's proxy settings. A helper takes them from the program with
// each request, as they are then: it may have been started before they changed.
inline constexpr const char *ProxyVariables[] = {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                                                 "all_proxy",  "ALL_PROXY",  "no_proxy",    "NO_PROXY"};

// More than any message of the program or its helper holds; a longer one is a broken stream.
inline constexpr uint64_t MaxMessageBytes = 64u << 20;

// What ends a wait for the other side early: a wake descriptor that becomes
// readable, or the deadline.
struct WireWait
{
    int wake = -1;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

// Writes the whole message to the socket; false once the other side is gone,
// the message is too long, or the wait ends.
bool writeMessage(int socket, const WireMessage &message, const WireWait &wait = {});

// Reads one message into the given one, whose strings keep their room for
// the next. False at the end of the stream, on a broken one, or once the wait ends.
bool readMessage(int socket, WireMessage &message, const WireWait &wait = {});

// What the program asks of its helper.
enum class HelperCommand { Open, Timeouts, Credentials, ProxyCredentials, Headers, Send, Read, Close };

// The command of a message from the program, or nothing when its name is
// unknown or it has not the fields that command takes.
std::optional<HelperCommand> commandOf(const WireMessage &message);

// The server a connection names.
struct HttpServer
{
    std::string scheme, host;
    uint16_t port = 0;
    std::string user, password;
};

// Opens a request in the helper: everything it needs to make one.
struct OpenMessage
{
    HttpSessionOptions session; // its cancel stays in the program
    HttpServer server;
    std::string verb, objectName, referer, acceptTypes;
    unsigned flags = 0;
    std::string cookies; // the lines the cookie store starts with (see storedCookies)
    // Each of ProxyVariables, in that order: its value, or nothing where it is not set.
    std::vector<std::optional<std::string>> proxyEnvironment;
};

WireMessage encodeOpen(const OpenMessage &open);
std::optional<OpenMessage> decodeOpen(const WireMessage &message);

WireMessage encodeTimeouts(const HttpTimeouts &timeouts);
std::optional<HttpTimeouts> decodeTimeouts(const WireMessage &message);

// The helper's answer to "send": how it went, and the response's head.
struct SentMessage
{
    bool sent = false;
    std::string cookies;
    std::optional<int> status;
    std::string rawHeaders; // as HttpRequest::rawHeaders
};

WireMessage encodeSent(const SentMessage &sent);
std::optional<SentMessage> decodeSent(const WireMessage &message);

// A count written in decimal digits alone, or nothing.
std::optional<uint64_t> decodeCount(const std::string &text);

} // namespace lotfinch::http
