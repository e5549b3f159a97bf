// lotfinch-http: the program's HTTP transfers, one request at a time, driven
// over the socket it finds as its standard input (see platform/HttpProcess.cpp).
// Only this process loads libcurl and its TLS libraries, so the program itself
// stays small while it waits between passes. It ends when the socket closes.
#include <csignal>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "platform/HttpWire.h"
#include "platform/curl/CurlHttp.h"

using namespace lotfinch::platform;

namespace {

constexpr int Socket = 0;

unsigned number(const std::string &text)
{
    return static_cast<unsigned>(std::stoul(text));
}

// The request a "open" message asks for, or nothing when the layer refuses it.
std::unique_ptr<HttpRequest> openRequest(const WireMessage &m)
{
    HttpSessionOptions options;
    options.agent = m.at(1);
    options.access = static_cast<HttpProxyAccess>(number(m.at(2)));
    options.proxy = m.at(3);
    options.proxyBypass = m.at(4);
    options.offline = m.at(5) == "1";
    auto session = openCurlSession(options);
    auto connection =
        session ? session->connect(m.at(6), m.at(7), static_cast<uint16_t>(number(m.at(8))), m.at(9), m.at(10))
                : nullptr;
    auto request =
        connection ? connection->openRequest(m.at(11), m.at(12), m.at(13), m.at(14), number(m.at(15))) : nullptr;
    if (request)
        request->setRedirectHandler([](const std::string &url) { writeMessage(Socket, {"redirect", url}); });
    return request;
}

std::unique_ptr<HttpRequest> request;
bool keepsCookies = false;

// Carries out one message; false when it makes no sense or the program is gone.
bool serve(const WireMessage &m)
{
    const std::string &what = m.at(0);
    if (what == "open") {
        request.reset();
        for (size_t i = 17; i < m.size(); ++i) {
            const size_t equals = m[i].find('=');
            if (equals == std::string::npos)
                ::unsetenv(m[i].c_str());
            else
                ::setenv(m[i].substr(0, equals).c_str(), m[i].c_str() + equals + 1, 1);
        }
        request = openRequest(m);
        keepsCookies = !(number(m.at(15)) & httpNoCookies);
        if (request && keepsCookies)
            replaceStoredCookies(m.at(16));
        return writeMessage(Socket, {request ? "ok" : "refused"});
    }
    if (!request)
        return false;
    if (what == "timeouts") {
        request->setTimeouts(
            {number(m.at(1)), number(m.at(2)), number(m.at(3)), number(m.at(4)), number(m.at(5)), number(m.at(6))});
    } else if (what == "credentials") {
        request->setCredentials(m.at(1), m.at(2));
    } else if (what == "proxy credentials") {
        request->setProxyCredentials(m.at(1), m.at(2));
    } else if (what == "headers") {
        return writeMessage(Socket, {request->addHeaders(m.at(1)) ? "1" : "0"});
    } else if (what == "send") {
        bool sent = request->send(m.at(1), m.at(2));
        return writeMessage(Socket, {"sent", sent ? "1" : "0", keepsCookies ? storedCookies() : ""});
    } else if (what == "status") {
        auto status = request->status();
        return writeMessage(Socket, {status ? std::to_string(*status) : ""});
    } else if (what == "header") {
        auto value = request->header(m.at(1));
        return writeMessage(Socket, value ? WireMessage{"1", *value} : WireMessage{"0"});
    } else if (what == "raw headers") {
        return writeMessage(Socket, {request->rawHeaders()});
    } else if (what == "read") {
        static WireMessage reply(2);
        reply[1].resize(number(m.at(1)));
        int64_t n = request->read(reply[1].data(), static_cast<int64_t>(reply[1].size()));
        reply[0] = std::to_string(n);
        reply[1].resize(n > 0 ? static_cast<size_t>(n) : 0);
        return writeMessage(Socket, reply);
    } else if (what == "close") {
        request.reset();
    } else {
        return false;
    }
    return true;
}

} // namespace

int main()
{
    std::signal(SIGPIPE, SIG_IGN);
    try {
        WireMessage message;
        while (readMessage(Socket, message))
            if (!serve(message))
                return 1;
    } catch (const std::exception &) {
        return 1; // a message with missing or malformed fields
    }
    return 0;
}
