#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// The HTTP client layer used by the HTTP component: sessions, connections,
// requests, header queries and piecewise reading of the body.
namespace lotfinch::http {

// Lets another thread stop a transfer that is waiting on the network.
class HttpCancel
{
public:
    // Any thread. The transfer ends at its next step; later calls fail at once.
    void cancel();
    bool cancelled() const { return cancelled_.load(); }
    // For the implementation: called by cancel() while set, to wake a waiting transfer.
    void setWaker(std::function<void()> waker);

private:
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    std::function<void()> waker_;
};

enum class HttpProxyAccess {
    Preconfigured, // the environment's proxy settings (http_proxy, https_proxy, no_proxy)
    Direct,        // no proxy, whatever the environment says
    Named,         // the given proxy and bypass list
};

struct HttpSessionOptions
{
    std::string agent;
    HttpProxyAccess access = HttpProxyAccess::Preconfigured;
    std::string proxy;       // "host:port" for Named
    std::string proxyBypass; // hosts separated by ";" or blanks for Named
    bool offline = false;    // no network: every request fails to send
    std::shared_ptr<HttpCancel> cancel;
};

// Request flags; a set of these bits.
enum HttpFlag : unsigned {
    httpSecure = 1u << 0,
    httpReload = 1u << 1,           // ask caches on the way to revalidate
    httpPragmaNoCache = 1u << 2,    // the same, for HTTP/1.0 caches
    httpIgnoreCertName = 1u << 3,   // accept a certificate issued for another host
    httpIgnoreCertDate = 1u << 4,   // accept an expired or not yet valid certificate
    httpIgnoreUnknownCa = 1u << 5,  // accept a certificate of an unknown authority
    httpAllowHttpsToHttp = 1u << 6, // follow redirects from https to http
    httpKeepConnection = 1u << 7,   // reuse the connection within the request
    httpNoAuth = 1u << 8,           // never answer an authentication request by itself
    httpNoAutoRedirect = 1u << 9,   // report redirects instead of following them
    httpNoCookies = 1u << 10,       // neither send nor store cookies
};

// Each limit has its own phase, so one slow phase never eats another's time.
// 0 takes the default. A server that trickles bytes keeps the idle limits
// happy; the minimum speed and the total limit bound it all the same.
struct HttpTimeouts
{
    unsigned connect = 0;      // ms to connect, TLS and proxy tunnel included (60 s)
    unsigned receive = 0;      // ms without a byte once connected (60 s)
    unsigned send = 0;         // ms without progress while sending a body (as receive)
    unsigned minimumSpeed = 0; // bytes per second over each window once connected (1024) ...
    unsigned speedWindow = 0;  // ... of this many ms (60 s)
    unsigned total = 0;        // ms for one send, from its start to the end of the body (5 min)

    // A result page on a working link beats these by far; a server that
    // trickles or never ends does not.
    static constexpr unsigned DefaultConnect = 60000, DefaultIdle = 60000, DefaultMinimumSpeed = 1024,
                              DefaultSpeedWindow = 60000, DefaultTotal = 5 * 60000;
};

class HttpRequest
{
public:
    virtual ~HttpRequest() = default;

    virtual void setTimeouts(const HttpTimeouts &timeouts) = 0;
    // Credentials for the next send; empty clears them.
    virtual void setCredentials(const std::string &user, const std::string &password) = 0;
    virtual void setProxyCredentials(const std::string &user, const std::string &password) = 0;
    // Called on the transferring thread, outside the library's own calls, with the
    // absolute address of every redirect it followed (not those it refused).
    virtual void setRedirectHandler(std::function<void(const std::string &newUrl)> handler) = 0;
    // Adds header lines ("Name: value", each ended by CR LF); false when one is malformed.
    virtual bool addHeaders(const std::string &lines) = 0;
    // Sends the request (again) and returns once the final response's status and
    // headers have arrived, or false when no response was obtained.
    virtual bool send(const std::string &extraHeaders, const std::string &body) = 0;
    // The final response's status, or nothing.
    virtual std::optional<int> status() const = 0;
    // Value of the first header of that name (any case), or nothing.
    virtual std::optional<std::string> header(const std::string &name) const = 0;
    // Status line and header lines, each ended by CR LF, then an empty line.
    virtual std::string rawHeaders() const = 0;
    // Up to size body bytes: the count, 0 at the end of the body, -1 on failure.
    virtual int64_t read(char *buffer, int64_t size) = 0;
};

class HttpConnection
{
public:
    virtual ~HttpConnection() = default;
    // objectName is the path and query, already escaped; acceptTypes is one Accept value.
    // Nothing when referer or acceptTypes would break the header lines (CR, LF, NUL).
    virtual std::unique_ptr<HttpRequest> openRequest(const std::string &verb, const std::string &objectName,
                                                     const std::string &referer, const std::string &acceptTypes,
                                                     unsigned flags) = 0;
    // Whether the last openRequest gave nothing because no HTTP helper could be started.
    virtual bool helperMissing() const { return false; }
};

class HttpSession
{
public:
    virtual ~HttpSession() = default;
    // Names the server; nothing goes over the network yet.
    virtual std::unique_ptr<HttpConnection> connect(const std::string &scheme, const std::string &host, uint16_t port,
                                                    const std::string &user, const std::string &password) = 0;
};

// The value of the first header of that name (any case) in response header
// lines as HttpRequest::rawHeaders gives them, without the blanks around it.
std::optional<std::string> headerValue(const std::string &rawHeaders, const std::string &name);

// A session whose requests run in the HTTP helper process. A request the
// layer refuses (an agent, host, referer or accept type that would break it)
// comes back from openRequest as nothing, as does one no helper could take.
std::unique_ptr<HttpSession> openHttpSession(const HttpSessionOptions &options);

} // namespace lotfinch::http
