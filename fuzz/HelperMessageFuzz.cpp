// Feeds arbitrary bytes to the HTTP helper's message reader as the program's
// end of its socket would send them: the framing, then each message's
// command and the decoders of the structured ones. What a decoder accepts
// must come through its encoder and the framing unchanged.
#include <cstddef>
#include <cstdint>
#include <sys/socket.h>
#include <unistd.h>

#include "http/HelperProtocol.h"

using namespace lotfinch::http;

namespace {

// A message written to a fresh socket and read back.
WireMessage roundTrip(const WireMessage &message)
{
    int sockets[2];
    WireMessage back;
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) != 0)
        return message;
    if (!writeMessage(sockets[0], message) || !readMessage(sockets[1], back))
        __builtin_trap();
    close(sockets[0]);
    close(sockets[1]);
    return back;
}

template <class Decode, class Encode> void checkDecoder(const WireMessage &message, Decode decode, Encode encode)
{
    auto decoded = decode(message);
    if (!decoded)
        return;
    WireMessage again = encode(*decoded);
    if (roundTrip(again) != again || !decode(again) || encode(*decode(again)) != again)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The whole input must fit the socket's buffer, as nobody reads while it is written.
    if (size > 64 * 1024)
        return 0;
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) != 0)
        return 0;
    if (size > 0 && send(sockets[0], data, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size))
        __builtin_trap();
    shutdown(sockets[0], SHUT_WR);
    // The program waits with a deadline, the helper without: the input's first bit picks.
    WireWait wait;
    if (size > 0 && (data[0] & 1))
        wait.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    WireMessage message;
    while (readMessage(sockets[1], message, wait)) {
        if (message.empty())
            __builtin_trap();
        if (std::optional<HelperCommand> command = commandOf(message)) {
            if (*command == HelperCommand::Read)
                decodeCount(message[1]);
        }
        checkDecoder(message, decodeOpen, encodeOpen);
        checkDecoder(message, decodeTimeouts, encodeTimeouts);
        checkDecoder(message, decodeSent, encodeSent);
    }
    close(sockets[0]);
    close(sockets[1]);
    return 0;
}
