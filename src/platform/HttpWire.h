#pragma once

#include <string>
#include <vector>

// The messages between the program and its HTTP helper process (see
// HttpProcess.cpp): each is a list of byte strings, the first naming what it is.
namespace lotfinch::platform {

using WireMessage = std::vector<std::string>;

// The environment's proxy settings. A helper takes them from the program with
// each request, as they are then: it may have been started before they changed.
inline constexpr const char *ProxyVariables[] = {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                                                 "all_proxy",  "ALL_PROXY",  "no_proxy",    "NO_PROXY"};

// Writes the whole message to the socket; false once the other side is gone.
bool writeMessage(int socket, const WireMessage &message);

// Reads one message into the given one, whose strings keep their room for
// the next. False at the end of the stream or on a broken one, or, with a wake
// descriptor, as soon as that becomes readable.
bool readMessage(int socket, WireMessage &message, int wake = -1);

} // namespace lotfinch::platform
