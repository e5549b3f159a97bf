// lotfinch-http: the program's HTTP transfers, one request at a time, driven
// over the socket it finds as its standard input (see platform/HttpProcess.cpp),
// the body's bytes handed over in the memory it finds as descriptor 3.
// Only this process loads libcurl and its TLS libraries, so the program itself
// stays small while it waits between passes. It ends when the socket closes.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "http/HelperProtocol.h"
#include "http/helper/CurlClient.h"

using namespace lotfinch::http;

namespace {

constexpr int Socket = 0, Pieces = 3;

// The memory the program shares for the body's bytes: a "read" leaves them there.
char *pieces = nullptr;
size_t pieceBytes = 0;

bool mapPieces()
{
    struct stat info
    {};
    if (::fstat(Pieces, &info) != 0 || info.st_size <= 0)
        return false;
    pieceBytes = static_cast<size_t>(info.st_size);
    void *memory = ::mmap(nullptr, pieceBytes, PROT_READ | PROT_WRITE, MAP_SHARED, Pieces, 0);
    ::close(Pieces);
    pieces = memory == MAP_FAILED ? nullptr : static_cast<char *>(memory);
    return pieces != nullptr;
}

std::unique_ptr<HttpRequest> request;
bool keepsCookies = false;

// The request an "open" message asks for, or nothing when the layer refuses it.
std::unique_ptr<HttpRequest> openRequest(const OpenMessage &open)
{
    for (size_t i = 0; i < std::size(ProxyVariables); ++i) {
        if (open.proxyEnvironment[i])
            ::setenv(ProxyVariables[i], open.proxyEnvironment[i]->c_str(), 1);
        else
            ::unsetenv(ProxyVariables[i]);
    }
    const HttpServer &server = open.server;
    auto session = openCurlSession(open.session);
    auto connection =
        session ? session->connect(server.scheme, server.host, server.port, server.user, server.password) : nullptr;
    auto opened = connection
                      ? connection->openRequest(open.verb, open.objectName, open.referer, open.acceptTypes, open.flags)
                      : nullptr;
    if (opened)
        opened->setRedirectHandler([](const std::string &url) { writeMessage(Socket, {"redirect", url}); });
    return opened;
}

// Carries out one message; false when it makes no sense or the program is gone.
bool serve(const WireMessage &m)
{
    const std::optional<HelperCommand> command = commandOf(m);
    if (command == HelperCommand::Open) {
        request.reset();
        const std::optional<OpenMessage> open = decodeOpen(m);
        if (!open)
            return false;
        request = openRequest(*open);
        keepsCookies = !(open->flags & httpNoCookies);
        if (request && keepsCookies)
            replaceStoredCookies(open->cookies);
        return writeMessage(Socket, {request ? "ok" : "refused"});
    }
    if (!command || !request)
        return false;
    switch (*command) {
    case HelperCommand::Timeouts: {
        const std::optional<HttpTimeouts> timeouts = decodeTimeouts(m);
        if (timeouts)
            request->setTimeouts(*timeouts);
        return timeouts.has_value();
    }
    case HelperCommand::Credentials: request->setCredentials(m[1], m[2]); return true;
    case HelperCommand::ProxyCredentials: request->setProxyCredentials(m[1], m[2]); return true;
    case HelperCommand::Headers: return writeMessage(Socket, {request->addHeaders(m[1]) ? "1" : "0"});
    case HelperCommand::Send: {
        SentMessage sent;
        sent.sent = request->send(m[1], m[2]);
        sent.cookies = keepsCookies ? storedCookies() : "";
        sent.status = request->status();
        sent.rawHeaders = request->rawHeaders();
        return writeMessage(Socket, encodeSent(sent));
    }
    case HelperCommand::Read: {
        const std::optional<uint64_t> size = decodeCount(m[1]);
        if (!size || *size == 0 || *size > pieceBytes)
            return false;
        const int64_t n = request->read(pieces, static_cast<int64_t>(*size));
        if (n <= 0)
            return writeMessage(Socket, {n == 0 ? "end" : "failed"});
        return writeMessage(Socket, {"piece", std::to_string(n)});
    }
    case HelperCommand::Close: request.reset(); return true;
    case HelperCommand::Open: break;
    }
    return false;
}

// The program's end of the socket closes however the program ends, killed
// included: then this helper ends at once, whatever it waits for (a stalled
// server, say). The parent-death signal would not do: it follows the
// program's thread that started the helper, not the program.
void endWithTheProgram()
{
    std::thread([] {
        pollfd socket{Socket, POLLRDHUP, 0};
        while (::poll(&socket, 1, -1) < 0 && errno == EINTR) {
        }
        std::_Exit(0);
    }).detach();
}

} // namespace

int main()
{
    std::signal(SIGPIPE, SIG_IGN);
    if (!mapPieces())
        return 1;
    endWithTheProgram();
    try {
        WireMessage message;
        while (readMessage(Socket, message))
            if (!serve(message))
                return 1;
    } catch (const std::exception &) {
        return 1; // out of memory, say
    }
    return 0;
}
