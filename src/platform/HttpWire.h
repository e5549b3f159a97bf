#pragma once

#include <optional>
#include <string>
#include <vector>

// The messages between the program and its HTTP helper process (see
// HttpProcess.cpp): each is a list of byte strings, the first naming what it is.
namespace lotfinch::platform {

using WireMessage = std::vector<std::string>;

// Writes the whole message to the socket; false once the other side is gone.
bool writeMessage(int socket, const WireMessage &message);

// Reads one message. Nothing at the end of the stream or on a broken one, or,
// with a wake descriptor, as soon as that becomes readable.
std::optional<WireMessage> readMessage(int socket, int wake = -1);

} // namespace lotfinch::platform
