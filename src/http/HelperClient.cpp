// The HTTP client layer of the program: every request runs in a helper
// process (lotfinch-http, see curl/HttpHelper.cpp) that holds libcurl and its
// TLS libraries. Loaded here, they would keep about a megabyte of this
// program's memory for as long as it waits between passes. A helper serves one
// request at a time and stays a few seconds for the next one of a pass; a
// request that is cancelled, or whose helper breaks, ends its helper at once.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "http/HelperProtocol.h"
#include "http/HttpClient.h"

namespace lotfinch::http {

namespace {

using Clock = std::chrono::steady_clock;

// How long a helper waits for the next request: the requests of a pass follow
// each other closely, and starting a helper costs some milliseconds.
constexpr auto Linger = std::chrono::seconds(5);
// Body bytes asked of the helper at a time; the caller's pieces come from
// these. They come through memory the two share, not through the socket,
// which would copy them twice more.
constexpr size_t PieceBytes = 1u << 20;
// A helper answers at once what needs no network; one that has not answered
// within this long hangs. Where the network is involved, the request's own
// time limit, which the helper keeps, comes first.
constexpr auto AnswerLimit = std::chrono::seconds(10);

// The helper sits next to the program in its build folder (and in copies of
// that), and in the package's folder of helper programs once installed.
std::string helperPath()
{
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    const std::filesystem::path beside = folder / "lotfinch-http";
    if (std::filesystem::exists(beside, error))
        return beside.string();
    return (folder / LOTFINCH_LIBEXECDIR_FROM_BINDIR / "lotfinch-http").lexically_normal().string();
}

struct Helper
{
    pid_t pid = -1;
    int socket = -1;
    const char *pieces = nullptr; // where the helper leaves body bytes, PieceBytes long
    bool fresh = false;           // just started, not yet waiting for a request before
};

// A helper finds its socket as its standard input and the memory it leaves
// body bytes in as descriptor 3.
std::optional<Helper> startHelper()
{
    static const std::string path = helperPath();
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        return std::nullopt;
    const int memory = ::memfd_create("lotfinch-http body", MFD_CLOEXEC);
    void *pieces = memory >= 0 && ::ftruncate(memory, PieceBytes) == 0
                       ? ::mmap(nullptr, PieceBytes, PROT_READ, MAP_SHARED, memory, 0)
                       : MAP_FAILED;
    int error = errno;
    pid_t pid = -1;
    if (pieces != MAP_FAILED) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, sockets[1], 0);
        posix_spawn_file_actions_adddup2(&actions, memory, 3);
        posix_spawn_file_actions_addclosefrom_np(&actions, 4);
        char *arguments[] = {const_cast<char *>(path.c_str()), nullptr};
        error = posix_spawn(&pid, path.c_str(), &actions, nullptr, arguments, environ);
        posix_spawn_file_actions_destroy(&actions);
    }
    ::close(sockets[1]);
    if (memory >= 0)
        ::close(memory);
    if (pieces == MAP_FAILED || error != 0) {
        ::close(sockets[0]);
        if (pieces != MAP_FAILED)
            ::munmap(pieces, PieceBytes);
        std::fprintf(stderr, "lotfinch: cannot start the HTTP helper %s: %s\n", path.c_str(), std::strerror(error));
        return std::nullopt;
    }
    return Helper{pid, sockets[0], static_cast<const char *>(pieces), true};
}

// Closing its socket ends a helper; one that may be busy is killed first.
void endHelper(Helper helper, bool busy)
{
    if (busy)
        ::kill(helper.pid, SIGKILL);
    ::close(helper.socket);
    ::munmap(const_cast<char *>(helper.pieces), PieceBytes);
    while (::waitpid(helper.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// The helpers waiting for a request, and the thread that ends each once its
// time is up. The thread runs only while there are such helpers.
class HelperPool
{
public:
    // Never destroyed: a worker may still let go of its helper while the program exits.
    static HelperPool &instance()
    {
        static auto *pool = new HelperPool;
        return *pool;
    }

    std::optional<Helper> take()
    {
        {
            std::lock_guard lock(mutex_);
            if (!waiting_.empty()) {
                Helper helper = waiting_.back().helper;
                waiting_.pop_back();
                return helper;
            }
        }
        return startHelper();
    }

    void giveBack(Helper helper)
    {
        helper.fresh = false;
        std::lock_guard lock(mutex_);
        waiting_.push_back({helper, Clock::now() + Linger});
        if (!closing_) {
            closing_ = true;
            std::thread([this] { closeWhenDue(); }).detach();
        }
    }

private:
    void closeWhenDue()
    {
        std::unique_lock lock(mutex_);
        while (!waiting_.empty()) {
            auto due = waiting_.front().due;
            if (Clock::now() < due) {
                timer_.wait_until(lock, due);
                continue;
            }
            Helper helper = waiting_.front().helper;
            waiting_.erase(waiting_.begin());
            lock.unlock();
            endHelper(helper, false);
            lock.lock();
        }
        closing_ = false;
    }

    struct Waiting
    {
        Helper helper;
        Clock::time_point due;
    };
    std::mutex mutex_;
    std::condition_variable timer_;
    std::vector<Waiting> waiting_; // oldest first
    bool closing_ = false;
};

// The cookies of every request that keeps them; a helper starts each request
// with them and hands them back, with what the server set, once it is sent.
class CookieJar
{
public:
    static CookieJar &instance()
    {
        static CookieJar jar;
        return jar;
    }
    std::string lines() const
    {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    void replace(std::string lines)
    {
        std::lock_guard lock(mutex_);
        lines_ = std::move(lines);
    }

private:
    mutable std::mutex mutex_;
    std::string lines_;
};

// A request in a helper. Every wait for the helper ends on cancel, and at a
// time limit: a helper that hangs (stopped, say) costs only its request.
class RemoteRequest final : public HttpRequest
{
public:
    RemoteRequest(Helper helper, std::shared_ptr<HttpCancel> cancel, bool keepsCookies)
        : helper_(helper), cancel_(std::move(cancel)), keepsCookies_(keepsCookies),
          wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    {
        if (cancel_)
            cancel_->setWaker([wake = wake_] {
                uint64_t one = 1;
                [[maybe_unused]] ssize_t written = ::write(wake, &one, sizeof one);
            });
    }

    ~RemoteRequest() override
    {
        if (cancel_)
            cancel_->setWaker(nullptr);
        ::close(wake_);
        if (!broken_ && (!opened_ || writeMessage(helper_.socket, {"close"}, {-1, Clock::now() + AnswerLimit})))
            HelperPool::instance().giveBack(helper_);
        else
            endHelper(helper_, true);
    }

    enum class Opening { Opened, Refused, Gone, Stopped };

    // Asks the helper to open the request.
    Opening open(const WireMessage &message)
    {
        const WireMessage *reply = ask(message, Clock::now() + AnswerLimit);
        opened_ = reply && reply->size() == 1 && (*reply)[0] == "ok";
        if (opened_)
            return Opening::Opened;
        if (reply && reply->size() == 1 && (*reply)[0] == "refused")
            return Opening::Refused;
        broken_ = true;
        return stopped_ ? Opening::Stopped : Opening::Gone;
    }

    void setTimeouts(const HttpTimeouts &timeouts) override
    {
        total_ = std::chrono::milliseconds(timeouts.total ? timeouts.total : HttpTimeouts::DefaultTotal);
        tell(encodeTimeouts(timeouts));
    }

    void setCredentials(const std::string &user, const std::string &password) override
    {
        tell({"credentials", user, password});
    }

    void setProxyCredentials(const std::string &user, const std::string &password) override
    {
        tell({"proxy credentials", user, password});
    }

    void setRedirectHandler(std::function<void(const std::string &newUrl)> handler) override
    {
        redirected_ = std::move(handler);
    }

    bool addHeaders(const std::string &lines) override
    {
        auto reply = ask({"headers", lines}, Clock::now() + AnswerLimit);
        if (reply && (reply->size() != 1 || ((*reply)[0] != "1" && (*reply)[0] != "0")))
            broken_ = true;
        return !broken_ && (*reply)[0] == "1";
    }

    bool send(const std::string &extraHeaders, const std::string &body) override
    {
        available_ = offset_ = 0;
        sent_ = SentMessage();
        transferDeadline_ = Clock::now() + total_ + AnswerLimit;
        if (!tell({"send", extraHeaders, body}, transferDeadline_))
            return false;
        // The redirects it follows come first; a handler that throws leaves
        // the helper mid-send, of no further use.
        for (;;) {
            auto reply = receive(transferDeadline_);
            if (!reply)
                return false;
            if (reply->size() == 2 && reply->at(0) == "redirect") {
                broken_ = true;
                if (redirected_)
                    redirected_(reply->at(1));
                broken_ = false;
                continue;
            }
            std::optional<SentMessage> sent = decodeSent(*reply);
            if (!sent) {
                broken_ = true;
                return false;
            }
            sent_ = std::move(*sent);
            if (keepsCookies_)
                CookieJar::instance().replace(sent_.cookies);
            return sent_.sent;
        }
    }

    std::optional<int> status() const override { return sent_.status; }

    std::optional<std::string> header(const std::string &name) const override
    {
        return headerValue(sent_.rawHeaders, name);
    }

    std::string rawHeaders() const override { return sent_.rawHeaders; }

    int64_t read(char *buffer, int64_t size) override
    {
        if (size <= 0)
            return 0;
        if (offset_ == available_) {
            auto reply = ask({"read", std::to_string(PieceBytes)}, transferDeadline_);
            if (!reply)
                return -1;
            if (reply->size() == 1 && (*reply)[0] == "end")
                return 0;
            auto n = reply->size() == 2 && (*reply)[0] == "piece" ? decodeCount((*reply)[1]) : std::nullopt;
            if (!n || *n == 0 || *n > PieceBytes) {
                broken_ = reply->size() != 1 || (*reply)[0] != "failed";
                return -1;
            }
            available_ = static_cast<size_t>(*n);
            offset_ = 0;
        }
        size_t n = std::min(available_ - offset_, static_cast<size_t>(size));
        std::memcpy(buffer, helper_.pieces + offset_, n);
        offset_ += n;
        return static_cast<int64_t>(n);
    }

private:
    // Sends a message; false, and the helper of no further use, once cancelled,
    // gone, or past the deadline.
    bool tell(const WireMessage &message, Clock::time_point deadline = Clock::now() + AnswerLimit)
    {
        if (!broken_ && cancel_ && cancel_->cancelled())
            broken_ = stopped_ = true;
        if (!broken_ && !writeMessage(helper_.socket, message, {wake_, deadline}))
            fail(deadline);
        return !broken_;
    }

    // The helper's next message; nothing once cancelled, gone, or past the deadline.
    const WireMessage *receive(Clock::time_point deadline)
    {
        if (!broken_ && !readMessage(helper_.socket, reply_, {wake_, deadline}))
            fail(deadline);
        return broken_ ? nullptr : &reply_;
    }

    const WireMessage *ask(const WireMessage &message, Clock::time_point deadline)
    {
        return tell(message, deadline) ? receive(deadline) : nullptr;
    }

    void fail(Clock::time_point deadline)
    {
        broken_ = true;
        stopped_ = (cancel_ && cancel_->cancelled()) || Clock::now() >= deadline;
    }

    Helper helper_;
    std::shared_ptr<HttpCancel> cancel_;
    bool keepsCookies_;
    int wake_;
    bool opened_ = false;
    bool broken_ = false;
    bool stopped_ = false; // broken by cancel or a time limit, not by the helper
    std::chrono::milliseconds total_{HttpTimeouts::DefaultTotal};
    Clock::time_point transferDeadline_; // of the current send and its body
    WireMessage reply_;                  // the last message from the helper
    std::function<void(const std::string &)> redirected_;
    SentMessage sent_;     // how the last send went
    size_t available_ = 0; // body bytes the helper left in the shared memory ...
    size_t offset_ = 0;    // ... and those of them the caller has read
};

class RemoteConnection final : public HttpConnection
{
public:
    RemoteConnection(HttpSessionOptions session, HttpServer server)
        : session_(std::move(session)), server_(std::move(server))
    {}

    std::unique_ptr<HttpRequest> openRequest(const std::string &verb, const std::string &objectName,
                                             const std::string &referer, const std::string &acceptTypes,
                                             unsigned flags) override
    {
        OpenMessage open;
        open.session = session_;
        open.server = server_;
        open.verb = verb;
        open.objectName = objectName;
        open.referer = referer;
        open.acceptTypes = acceptTypes;
        open.flags = flags;
        const bool keepsCookies = !(flags & httpNoCookies);
        if (keepsCookies)
            open.cookies = CookieJar::instance().lines();
        for (const char *name : ProxyVariables) {
            const char *value = std::getenv(name);
            open.proxyEnvironment.push_back(value ? std::optional<std::string>(value) : std::nullopt);
        }
        const WireMessage message = encodeOpen(open);
        // A waiting helper may have gone meanwhile; the next one is tried then,
        // up to a new one.
        for (;;) {
            helperMissing_ = false;
            std::optional<Helper> helper = HelperPool::instance().take();
            if (!helper) {
                helperMissing_ = true;
                return nullptr;
            }
            auto request = std::make_unique<RemoteRequest>(*helper, session_.cancel, keepsCookies);
            switch (request->open(message)) {
            case RemoteRequest::Opening::Opened: return request;
            case RemoteRequest::Opening::Gone:
                // A new one that ends before it answers cannot run.
                if (!helper->fresh)
                    continue;
                helperMissing_ = true;
                return nullptr;
            case RemoteRequest::Opening::Stopped:
                helperMissing_ = helper->fresh && !(session_.cancel && session_.cancel->cancelled());
                return nullptr;
            case RemoteRequest::Opening::Refused: return nullptr;
            }
        }
    }

    bool helperMissing() const override { return helperMissing_; }

private:
    HttpSessionOptions session_;
    HttpServer server_;
    bool helperMissing_ = false;
};

class RemoteSession final : public HttpSession
{
public:
    explicit RemoteSession(HttpSessionOptions options) : options_(std::move(options)) {}

    std::unique_ptr<HttpConnection> connect(const std::string &scheme, const std::string &host, uint16_t port,
                                            const std::string &user, const std::string &password) override
    {
        return std::make_unique<RemoteConnection>(options_, HttpServer{scheme, host, port, user, password});
    }

private:
    HttpSessionOptions options_;
};

} // namespace

std::unique_ptr<HttpSession> openHttpSession(const HttpSessionOptions &options)
{
    return std::make_unique<RemoteSession>(options);
}

} // namespace lotfinch::http
