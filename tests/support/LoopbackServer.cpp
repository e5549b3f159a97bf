#include "support/LoopbackServer.h"

#include <QByteArray>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <mutex>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace lotfinch::test {

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string trim(const std::string &s)
{
    size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

const char *reasonPhrase(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 102: return "Processing";
    case 103: return "Early Hints";
    case 200: return "OK";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 407: return "Proxy Authentication Required";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

} // namespace

std::optional<std::string> HttpRequestRecord::header(const std::string &name) const
{
    for (const auto &[key, value] : headers)
        if (lower(key) == lower(name))
            return value;
    return std::nullopt;
}

HttpReply HttpReply::text(int status, std::string body, std::string contentType)
{
    HttpReply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.headers.emplace_back("Content-Type", std::move(contentType));
    return reply;
}

HttpReply HttpReply::redirect(int status, std::string location)
{
    HttpReply reply = text(status, "moved");
    reply.headers.emplace_back("Location", std::move(location));
    return reply;
}

HttpReply HttpReply::challenge(const std::string &realm)
{
    HttpReply reply = text(401, "<html>credentials needed</html>");
    reply.headers.emplace_back("WWW-Authenticate", "Basic realm=\"" + realm + "\"");
    return reply;
}

HttpReply HttpReply::proxyChallenge(const std::string &realm)
{
    HttpReply reply = text(407, "<html>proxy credentials needed</html>");
    reply.headers.emplace_back("Proxy-Authenticate", "Basic realm=\"" + realm + "\"");
    return reply;
}

std::string basicCredentials(const std::string &user, const std::string &password)
{
    return "Basic " + QByteArray::fromStdString(user + ":" + password).toBase64().toStdString();
}

namespace {

// A self-signed certificate for 127.0.0.1 and its key, made up on the spot.
SSL_CTX *serverContext(LoopbackServer::Certificate certificate)
{
    EVP_PKEY *key = EVP_EC_gen("P-256");
    X509 *cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    const long day = 24 * 3600;
    bool expired = certificate == LoopbackServer::Certificate::Expired;
    X509_gmtime_adj(X509_getm_notBefore(cert), expired ? -30 * day : -day);
    X509_gmtime_adj(X509_getm_notAfter(cert), expired ? -day : 30 * day);
    X509_set_pubkey(cert, key);
    X509_NAME *name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("127.0.0.1"), -1, -1,
                               0);
    X509_set_issuer_name(cert, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION *names = X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1");
    X509_add_ext(cert, names, -1);
    X509_EXTENSION_free(names);
    X509_sign(cert, key, EVP_sha256());
    SSL_CTX *tls = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(tls, cert);
    SSL_CTX_use_PrivateKey(tls, key);
    X509_free(cert);
    EVP_PKEY_free(key);
    return tls;
}

struct Peer
{
    int fd;
    SSL *ssl; // nothing: plain HTTP
};

} // namespace

struct LoopbackServer::Impl
{
    struct Connection
    {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> ended{false};
    };

    Handler handler;
    SSL_CTX *tls = nullptr;
    int listener = -1;
    int stopEvent = -1; // readable once the server stops
    sockaddr_in address{};
    uint16_t port = 0;
    std::thread acceptor;
    mutable std::mutex mutex;
    std::list<Connection> connections; // ended ones are closed at the next accept
    std::vector<HttpRequestRecord> log;
    int filler = -1;                                // a connection of our own that keeps the listen queue full ...
    std::chrono::steady_clock::time_point reopenAt; // ... until then

    bool stopping() const
    {
        pollfd p{stopEvent, POLLIN, 0};
        return poll(&p, 1, 0) > 0;
    }

    // Waits up to ms (-1: without limit) for the socket to become readable;
    // false when the server stops first or the time passes.
    bool waitReadable(int fd, int ms) const
    {
        pollfd p[2] = {{fd, POLLIN, 0}, {stopEvent, POLLIN, 0}};
        int r;
        do
            r = poll(p, 2, ms);
        while (r < 0 && errno == EINTR);
        return r > 0 && !(p[1].revents & POLLIN);
    }

    // Pauses for ms (-1: without limit); false when the client leaves or the server stops first.
    bool pause(int fd, int ms) const
    {
        pollfd p[2] = {{fd, POLLRDHUP, 0}, {stopEvent, POLLIN, 0}};
        int r;
        do
            r = poll(p, 2, ms);
        while (r < 0 && errno == EINTR);
        return r == 0;
    }

    static bool sendAll(const Peer &peer, const char *data, size_t size)
    {
        while (size > 0) {
            ssize_t n = peer.ssl ? SSL_write(peer.ssl, data, static_cast<int>(std::min<size_t>(size, 1 << 20)))
                                 : send(peer.fd, data, size, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }

    // Appends what the client sent next; false when it left or the server stops.
    bool receiveMore(const Peer &peer, std::string &buffer) const
    {
        if (!(peer.ssl && SSL_pending(peer.ssl) > 0) && !waitReadable(peer.fd, -1))
            return false;
        char chunk[8192];
        ssize_t n = peer.ssl ? SSL_read(peer.ssl, chunk, sizeof chunk) : recv(peer.fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        buffer.append(chunk, static_cast<size_t>(n));
        return true;
    }

    // Reads one request; false when the connection ended first.
    bool readRequest(const Peer &peer, std::string &buffer, HttpRequestRecord &request) const
    {
        size_t end;
        while ((end = buffer.find("\r\n\r\n")) == std::string::npos)
            if (buffer.size() > 1 << 20 || !receiveMore(peer, buffer))
                return false;
        std::string head = buffer.substr(0, end);
        buffer.erase(0, end + 4);
        size_t lineEnd = head.find("\r\n");
        std::string line = head.substr(0, lineEnd);
        size_t a = line.find(' '), b = line.rfind(' ');
        if (a == std::string::npos || b == a)
            return false;
        request.method = line.substr(0, a);
        request.target = line.substr(a + 1, b - a - 1);
        request.version = line.substr(b + 1);
        while (lineEnd != std::string::npos) {
            size_t start = lineEnd + 2;
            lineEnd = head.find("\r\n", start);
            std::string field = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
            size_t colon = field.find(':');
            if (colon != std::string::npos)
                request.headers.emplace_back(trim(field.substr(0, colon)), trim(field.substr(colon + 1)));
        }
        size_t length = std::strtoul(request.header("Content-Length").value_or("0").c_str(), nullptr, 10);
        while (buffer.size() < length)
            if (!receiveMore(peer, buffer))
                return false;
        request.body = buffer.substr(0, length);
        buffer.erase(0, length);
        return true;
    }

    // Sends text, with a pause before each line when asked; false when the client left.
    bool sendLines(const Peer &peer, const std::string &text, int delayMs) const
    {
        if (delayMs <= 0)
            return sendAll(peer, text.data(), text.size());
        for (size_t start = 0; start < text.size();) {
            size_t end = std::min(text.find("\r\n", start), text.size() - 2) + 2;
            if (start > 0 && !pause(peer.fd, delayMs))
                return false;
            if (!sendAll(peer, text.data() + start, end - start))
                return false;
            start = end;
        }
        return true;
    }

    // Sends one reply; false when the connection must close afterwards.
    bool sendReply(const Peer &peer, const HttpRequestRecord &request, const HttpReply &reply) const
    {
        if (reply.stallMs != 0 && !pause(peer.fd, reply.stallMs))
            return false;
        for (int status : reply.interim) {
            std::string line = "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n\r\n";
            if (!sendAll(peer, line.data(), line.size()))
                return false;
        }
        uint64_t length = reply.generatedLength > 0 ? reply.generatedLength : reply.body.size();
        bool close = reply.omitContentLength || reply.cutAfter >= 0 ||
                     lower(request.header("Connection").value_or("")) == "close";
        std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + reasonPhrase(reply.status) + "\r\n";
        for (const auto &[name, value] : reply.headers)
            head += name + ": " + value + "\r\n";
        if (reply.chunked)
            head += "Transfer-Encoding: chunked\r\n";
        else if (!reply.omitContentLength)
            head += "Content-Length: " + reply.contentLength.value_or(std::to_string(length)) + "\r\n";
        if (close)
            head += "Connection: close\r\n";
        head += "\r\n";
        if (!sendLines(peer, head, reply.headerDelayMs))
            return false;
        if (request.method == "HEAD")
            return !close;

        uint64_t limit =
            reply.cutAfter >= 0 ? std::min<uint64_t>(length, static_cast<uint64_t>(reply.cutAfter)) : length;
        size_t piece = reply.pieceSize > 0 ? reply.pieceSize : 64 * 1024;
        std::string block;
        for (uint64_t sent = 0; sent < limit;) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(piece, limit - sent));
            if (reply.pieceDelayMs != 0 && !pause(peer.fd, reply.pieceDelayMs))
                return false;
            if (reply.generatedLength > 0) {
                block.resize(n);
                for (size_t i = 0; i < n; ++i)
                    block[i] = HttpReply::generatedByte(sent + i);
            } else {
                block.assign(reply.body, static_cast<size_t>(sent), n);
            }
            if (reply.chunked) {
                char size[32];
                std::snprintf(size, sizeof size, "%zx\r\n", n);
                block = size + block + "\r\n";
            }
            if (!sendAll(peer, block.data(), block.size()))
                return false;
            sent += n;
        }
        if (reply.chunked && reply.cutAfter < 0) {
            std::string end = "0\r\n";
            for (const auto &[name, value] : reply.trailers)
                end += name + ": " + value + "\r\n";
            end += "\r\n";
            if (!sendAll(peer, end.data(), end.size()))
                return false;
        }
        return !close;
    }

    void serve(int fd)
    {
        Peer peer{fd, tls ? SSL_new(tls) : nullptr};
        if (!peer.ssl || (SSL_set_fd(peer.ssl, fd) == 1 && SSL_accept(peer.ssl) == 1)) {
            std::string buffer;
            for (;;) {
                HttpRequestRecord request;
                if (!readRequest(peer, buffer, request))
                    break;
                {
                    std::lock_guard lock(mutex);
                    log.push_back(request);
                }
                if (!sendReply(peer, request, handler(request)))
                    break;
            }
        }
        SSL_free(peer.ssl);
        shutdown(fd, SHUT_RDWR);
    }

    // Closes the connections that have ended; with the mutex held.
    void reapEnded()
    {
        for (auto it = connections.begin(); it != connections.end();) {
            if (it->ended) {
                it->thread.join();
                close(it->fd);
                it = connections.erase(it);
            } else {
                ++it;
            }
        }
    }

    void acceptLoop()
    {
        for (;;) {
            int holdMs = -1;
            {
                std::lock_guard lock(mutex);
                if (filler >= 0) {
                    auto left =
                        std::chrono::ceil<std::chrono::milliseconds>(reopenAt - std::chrono::steady_clock::now());
                    if (left.count() > 0) {
                        holdMs = static_cast<int>(left.count());
                    } else {
                        listen(listener, 64);
                        close(filler); // its end in the queue is accepted and ends at once
                        filler = -1;
                    }
                }
            }
            if (holdMs >= 0) {
                pollfd p{stopEvent, POLLIN, 0};
                if (poll(&p, 1, holdMs) > 0)
                    return;
                continue;
            }
            if (!waitReadable(listener, -1))
                return;
            std::lock_guard lock(mutex);
            if (filler >= 0)
                continue; // held back: the queue stays full
            int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            reapEnded();
            Connection &connection = connections.emplace_back();
            connection.fd = fd;
            connection.thread = std::thread([this, &connection] {
                serve(connection.fd);
                connection.ended = true;
            });
        }
    }

    void delayConnects(int ms)
    {
        std::lock_guard lock(mutex);
        if (filler < 0) {
            // A queue of length 0 holds one connection: ours fills it.
            listen(listener, 0);
            // Its arrival also wakes the acceptor, which then sees the queue is held.
            filler = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            connect(filler, reinterpret_cast<const sockaddr *>(&address), sizeof address);
        }
        reopenAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    }
};

LoopbackServer::LoopbackServer(Handler handler, Certificate certificate) : impl_(std::make_unique<Impl>())
{
    impl_->handler = std::move(handler);
    if (certificate != Certificate::None) {
        // A client that leaves mid-reply must not end the process.
        std::signal(SIGPIPE, SIG_IGN);
        impl_->tls = serverContext(certificate);
    }
    impl_->stopEvent = eventfd(0, EFD_CLOEXEC);
    impl_->listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in &address = impl_->address;
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (impl_->listener < 0 || bind(impl_->listener, reinterpret_cast<sockaddr *>(&address), size) != 0 ||
        listen(impl_->listener, 64) != 0 ||
        getsockname(impl_->listener, reinterpret_cast<sockaddr *>(&address), &size) != 0)
        throw std::runtime_error("loopback server: cannot listen");
    impl_->port = ntohs(address.sin_port);
    impl_->acceptor = std::thread([this] { impl_->acceptLoop(); });
}

LoopbackServer::~LoopbackServer()
{
    uint64_t one = 1;
    (void)!write(impl_->stopEvent, &one, sizeof one);
    impl_->acceptor.join();
    for (Impl::Connection &connection : impl_->connections) {
        shutdown(connection.fd, SHUT_RDWR);
        connection.thread.join();
        close(connection.fd);
    }
    if (impl_->filler >= 0)
        close(impl_->filler);
    close(impl_->listener);
    close(impl_->stopEvent);
    SSL_CTX_free(impl_->tls);
}

uint16_t LoopbackServer::port() const
{
    return impl_->port;
}

std::string LoopbackServer::url(const std::string &pathAndQuery) const
{
    return (impl_->tls ? "https" : "http") + std::string("://127.0.0.1:") + std::to_string(impl_->port) + pathAndQuery;
}

void LoopbackServer::delayConnects(int ms)
{
    impl_->delayConnects(ms);
}

std::vector<HttpRequestRecord> LoopbackServer::requests() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->log;
}

std::vector<std::string> LoopbackServer::requestLines() const
{
    std::vector<std::string> lines;
    for (const HttpRequestRecord &request : requests())
        lines.push_back(request.requestLine());
    return lines;
}

} // namespace lotfinch::test

namespace lotfinch::test {

ReservedPort::ReservedPort()
{
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr *>(&address), size) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &size) != 0)
        throw std::runtime_error("reserved port: cannot bind");
    port_ = ntohs(address.sin_port);
}

ReservedPort::~ReservedPort()
{
    close(fd_);
}

} // namespace lotfinch::test
