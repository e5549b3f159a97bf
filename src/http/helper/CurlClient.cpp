#include <algorithm>
#include <chrono>
#include <cstring>
#include <curl/curl.h>
#include <exception>
#include <mutex>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <utility>
#include <vector>

#include "http/helper/CurlClient.h"

namespace lotfinch::http {

namespace {

using Clock = std::chrono::steady_clock;

void initCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One cookie store for the whole process; every session that keeps cookies shares it.
class CookieStore
{
public:
    static CURLSH *handle()
    {
        static CookieStore store;
        return store.share_;
    }

private:
    CookieStore()
    {
        share_ = curl_share_init();
        curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, lock);
        curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, unlock);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }
    static std::mutex &mutexFor(curl_lock_data data)
    {
        static std::mutex mutexes[CURL_LOCK_DATA_LAST];
        return mutexes[data];
    }
    static void lock(CURL *, curl_lock_data data, curl_lock_access, void *) { mutexFor(data).lock(); }
    static void unlock(CURL *, curl_lock_data data, void *) { mutexFor(data).unlock(); }

    CURLSH *share_;
};

// A bypass list as the user writes it ("a;b c", "*.example.com", "<local>")
// in the comma-separated form libcurl takes.
std::string noProxyList(const std::string &bypass)
{
    std::string out, item;
    auto flush = [&] {
        if (item == "<local>")
            item = "localhost";
        else if (item.rfind("*.", 0) == 0)
            item.erase(0, 1);
        if (!item.empty())
            out += (out.empty() ? "" : ",") + item;
        item.clear();
    };
    for (char c : bypass) {
        if (c == ';' || c == ',' || c == ' ' || c == '\t')
            flush();
        else
            item += c;
    }
    flush();
    return out;
}

// Whether a text can stand in a header line as it is.
bool fitsHeaderLine(const std::string &text)
{
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// Accepts a chain that ends at an authority nobody here knows; every other
// check (dates, signatures, the host name) still applies.
int acceptUnknownAuthority(int ok, X509_STORE_CTX *store)
{
    if (ok)
        return ok;
    switch (X509_STORE_CTX_get_error(store)) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN: X509_STORE_CTX_set_error(store, X509_V_OK); return 1;
    default: return 0;
    }
}

// The certificate checks the request's flags relax; the flags travel as the user pointer.
CURLcode relaxCertificateChecks(CURL *, void *sslContext, void *flags)
{
    auto *context = static_cast<SSL_CTX *>(sslContext);
    unsigned relaxed = *static_cast<const unsigned *>(flags);
    if (relaxed & httpIgnoreCertDate)
        X509_STORE_set_flags(SSL_CTX_get_cert_store(context), X509_V_FLAG_NO_CHECK_TIME);
    if (relaxed & httpIgnoreUnknownCa) {
        // A self-signed certificate must still carry a valid signature of its own.
        X509_STORE_set_flags(SSL_CTX_get_cert_store(context), X509_V_FLAG_CHECK_SS_SIGNATURE);
        SSL_CTX_set_verify(context, SSL_CTX_get_verify_mode(context), acceptUnknownAuthority);
    }
    return CURLE_OK;
}

// The non-empty lines of a text whose lines end with CR LF.
std::vector<std::string> splitLines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

bool isRedirect(long status)
{
    return status >= 300 && status < 400 && status != 304;
}

class CurlRequest final : public HttpRequest
{
public:
    CurlRequest(const HttpSessionOptions &session, const std::string &url, const std::string &verb,
                const std::string &referer, const std::string &acceptTypes, unsigned flags)
        : cancel_(session.cancel), offline_(session.offline), flags_(flags), verb_(verb)
    {
        easy_ = curl_easy_init();
        multi_ = curl_multi_init();
        if (cancel_)
            cancel_->setWaker([multi = multi_] { curl_multi_wakeup(multi); });

        curl_easy_setopt(easy_, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy_, CURLOPT_USERAGENT, session.agent.c_str());
        if (session.access == HttpProxyAccess::Direct) {
            curl_easy_setopt(easy_, CURLOPT_PROXY, "");
        } else if (session.access == HttpProxyAccess::Named) {
            curl_easy_setopt(easy_, CURLOPT_PROXY, session.proxy.c_str());
            curl_easy_setopt(easy_, CURLOPT_NOPROXY, noProxyList(session.proxyBypass).c_str());
        }
        if (!referer.empty())
            curl_easy_setopt(easy_, CURLOPT_REFERER, referer.c_str());
        if (!acceptTypes.empty())
            headerLines_.push_back("Accept: " + acceptTypes);
        if (flags & (httpReload | httpPragmaNoCache)) {
            headerLines_.push_back("Pragma: no-cache");
            headerLines_.push_back("Cache-Control: no-cache");
        }
        // Large bodies go out at once; a server that does not know 100-continue would stall us.
        headerLines_.push_back("Expect:");

        if (!(flags & httpNoAutoRedirect)) {
            curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
            curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, 20L);
            bool httpsOnly = (flags & httpSecure) && !(flags & httpAllowHttpsToHttp);
            curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, httpsOnly ? "https" : "http,https");
        }
        if (!(flags & httpNoCookies)) {
            curl_easy_setopt(easy_, CURLOPT_SHARE, CookieStore::handle());
            curl_easy_setopt(easy_, CURLOPT_COOKIEFILE, "");
        }
        if (!(flags & httpKeepConnection))
            curl_easy_setopt(easy_, CURLOPT_FORBID_REUSE, 1L);
        if (flags & httpIgnoreCertName)
            curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYHOST, 0L);
        if (flags & (httpIgnoreCertDate | httpIgnoreUnknownCa)) {
            curl_easy_setopt(easy_, CURLOPT_SSL_CTX_FUNCTION, relaxCertificateChecks);
            curl_easy_setopt(easy_, CURLOPT_SSL_CTX_DATA, &flags_);
        }
        if (!(flags & httpNoAuth)) {
            curl_easy_setopt(easy_, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
            curl_easy_setopt(easy_, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
        }

        curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, onHeader);
        curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, onBody);
        curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy_, CURLOPT_XFERINFOFUNCTION, onProgress);
        curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(easy_, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy_, CURLOPT_PREREQFUNCTION, onConnected);
        curl_easy_setopt(easy_, CURLOPT_PREREQDATA, this);
        curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
        // Large pieces: fewer rounds of libcurl for each piece the program reads.
        curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, 256L * 1024);
        // A tunnel's own "200 Connection established" is not the response.
        curl_easy_setopt(easy_, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(HttpTimeouts::DefaultConnect));
    }

    ~CurlRequest() override
    {
        if (cancel_)
            cancel_->setWaker(nullptr);
        if (added_)
            curl_multi_remove_handle(multi_, easy_);
        curl_easy_cleanup(easy_);
        curl_multi_cleanup(multi_);
        curl_slist_free_all(sentHeaders_);
    }

    void setTimeouts(const HttpTimeouts &timeouts) override
    {
        connectMs_ = timeouts.connect ? timeouts.connect : HttpTimeouts::DefaultConnect;
        curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectMs_));
        receiveMs_ = timeouts.receive ? timeouts.receive : HttpTimeouts::DefaultIdle;
        sendMs_ = timeouts.send ? timeouts.send : receiveMs_;
        minimumSpeed_ = timeouts.minimumSpeed ? timeouts.minimumSpeed : HttpTimeouts::DefaultMinimumSpeed;
        speedWindowMs_ = timeouts.speedWindow ? timeouts.speedWindow : HttpTimeouts::DefaultSpeedWindow;
        totalMs_ = timeouts.total ? timeouts.total : HttpTimeouts::DefaultTotal;
    }

    void setCredentials(const std::string &user, const std::string &password) override
    {
        haveCredentials_ = setUserAndPassword(CURLOPT_USERNAME, CURLOPT_PASSWORD, user, password);
    }

    void setProxyCredentials(const std::string &user, const std::string &password) override
    {
        haveProxyCredentials_ = setUserAndPassword(CURLOPT_PROXYUSERNAME, CURLOPT_PROXYPASSWORD, user, password);
    }

    void setRedirectHandler(std::function<void(const std::string &)> handler) override
    {
        redirected_ = std::move(handler);
    }

    bool addHeaders(const std::string &lines) override
    {
        std::vector<std::string> added = splitLines(lines);
        for (const std::string &line : added) {
            size_t colon = line.find(':');
            if (colon == 0 || colon == std::string::npos || !fitsHeaderLine(line) || line.find_first_of(" \t") < colon)
                return false;
        }
        headerLines_.insert(headerLines_.end(), added.begin(), added.end());
        return true;
    }

    bool send(const std::string &extraHeaders, const std::string &body) override
    {
        if (added_) {
            curl_multi_remove_handle(multi_, easy_);
            added_ = false;
        }
        reset();
        if (offline_ || (cancel_ && cancel_->cancelled()))
            return false;

        curl_slist_free_all(sentHeaders_);
        sentHeaders_ = nullptr;
        std::vector<std::string> lines = headerLines_;
        for (std::string &line : splitLines(extraHeaders))
            lines.push_back(std::move(line));
        for (const std::string &line : lines)
            sentHeaders_ = curl_slist_append(sentHeaders_, line.c_str());
        curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, sentHeaders_);

        postBody_ = body;
        if (verb_ == "POST") {
            curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(postBody_.size()));
            curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, postBody_.data());
        } else if (verb_ == "GET") {
            curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
        } else {
            curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, verb_.c_str());
        }
        if (curl_multi_add_handle(multi_, easy_) != CURLM_OK)
            return false;
        added_ = true;
        deadline_ = Clock::now() + std::chrono::milliseconds(totalMs_);
        drive([this] { return headersDone_; });
        if (!headersDone_) {
            // Ended first: the last response counts if its headers were complete
            // (a redirect libcurl refused to follow), or a proxy refused the tunnel.
            long tunnelStatus = 0;
            curl_easy_getinfo(easy_, CURLINFO_HTTP_CONNECTCODE, &tunnelStatus);
            if (completeStatus_ == 0 && tunnelStatus == 0)
                return false;
            headersDone_ = true;
        }
        return status().has_value();
    }

    std::optional<int> status() const override
    {
        if (!headersDone_)
            return std::nullopt;
        long code = 0;
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code);
        if (code == 0) // a proxy that refused the tunnel answered, the server did not
            curl_easy_getinfo(easy_, CURLINFO_HTTP_CONNECTCODE, &code);
        if (code == 0)
            return std::nullopt;
        return static_cast<int>(code);
    }

    std::optional<std::string> header(const std::string &name) const override
    {
        return headerValue(rawHeaders(), name);
    }

    std::string rawHeaders() const override
    {
        std::string raw;
        for (const std::string &line : headers_)
            raw += line + "\r\n";
        return raw + "\r\n";
    }

    // The body's bytes go straight from libcurl into the buffer while a read
    // waits; only those beyond its room wait in between.
    int64_t read(char *buffer, int64_t size) override
    {
        if (size <= 0)
            return 0;
        target_ = buffer;
        room_ = static_cast<size_t>(size);
        filled_ = std::min(pending_.size() - pendingOffset_, room_);
        std::memcpy(buffer, pending_.data() + pendingOffset_, filled_);
        pendingOffset_ += filled_;
        if (pendingOffset_ == pending_.size()) {
            pending_.clear();
            pendingOffset_ = 0;
        }
        if (filled_ == 0 && !done_)
            drive([this] { return filled_ > 0; });
        // What else has arrived goes along, without waiting for more.
        for (size_t had = 0; filled_ > had && filled_ < room_ && !done_;) {
            had = filled_;
            perform();
        }
        target_ = nullptr;
        if (filled_ > 0)
            return static_cast<int64_t>(filled_);
        return done_ && result_ == CURLE_OK ? 0 : -1;
    }

private:
    void reset()
    {
        headers_.clear();
        block_.clear();
        pending_.clear();
        pendingOffset_ = 0;
        target_ = nullptr; // a read that threw left it behind
        headersDone_ = done_ = connected_ = uploading_ = false;
        result_ = CURLE_OK;
        blockStatus_ = 0;
        blockHasLocation_ = false;
        redirectsSeen_ = 0;
        completeStatus_ = 0;
        followed_.clear();
        windowBytes_ = 0;
        windowElapsed_ = Clock::duration::zero();
        lastDownloaded_ = lastUploaded_ = 0;
    }

    // Sets both options, or clears them for an empty user name; whether credentials are set.
    bool setUserAndPassword(CURLoption userOption, CURLoption passwordOption, const std::string &user,
                            const std::string &password)
    {
        if (flags_ & httpNoAuth)
            return false;
        curl_easy_setopt(easy_, userOption, user.empty() ? nullptr : user.c_str());
        curl_easy_setopt(easy_, passwordOption, user.empty() ? nullptr : password.c_str());
        return !user.empty();
    }

    // Runs the transfer until ready() holds, it ends, it is cancelled, or a
    // limit is reached: the phase's idle limit, the minimum speed, or the
    // send's deadline. Only time spent here counts against the idle limits and
    // the speed window: while the caller handles data, libcurl reads nothing.
    void drive(const std::function<bool()> &ready)
    {
        using std::chrono::milliseconds;
        auto last = Clock::now();
        auto lastActivity = last;
        uint64_t seen = activity_;
        bool wasConnected = connected_;
        while (!ready() && !done_) {
            if (cancel_ && cancel_->cancelled()) {
                finish(CURLE_ABORTED_BY_CALLBACK);
                return;
            }
            perform();
            if (ready() || done_)
                return;

            auto now = Clock::now();
            if (connected_)
                windowElapsed_ += now - last;
            last = now;
            // Connecting is a phase of its own: the idle clock starts again once connected.
            if (activity_ != seen || connected_ != wasConnected) {
                seen = activity_;
                wasConnected = connected_;
                lastActivity = now;
            }
            if (now >= deadline_) {
                finish(CURLE_OPERATION_TIMEDOUT);
                return;
            }
            if (windowElapsed_ >= milliseconds(speedWindowMs_)) {
                if (windowBytes_ * 1000 < uint64_t{minimumSpeed_} * speedWindowMs_) {
                    finish(CURLE_OPERATION_TIMEDOUT);
                    return;
                }
                windowBytes_ = 0;
                windowElapsed_ = Clock::duration::zero();
            }
            // Connecting has its own time-out inside libcurl; ours only backs it up.
            unsigned idleMs = !connected_ ? connectMs_ + 1000 : uploading_ ? sendMs_ : receiveMs_;
            auto idle = now - lastActivity;
            if (idle >= milliseconds(idleMs)) {
                finish(CURLE_OPERATION_TIMEDOUT);
                return;
            }
            auto wait = std::min(
                {milliseconds(idleMs) - idle, Clock::duration(deadline_ - now), Clock::duration(milliseconds(1000))});
            if (connected_)
                wait = std::min(wait, Clock::duration(milliseconds(speedWindowMs_) - windowElapsed_));
            auto waitMs = std::chrono::ceil<milliseconds>(wait).count();
            curl_multi_poll(multi_, nullptr, 0, static_cast<int>(std::max<long long>(waitMs, 1)), nullptr);
        }
    }

    // What libcurl can do now without waiting.
    void perform()
    {
        int running = 0;
        curl_multi_perform(multi_, &running);
        int queued = 0;
        while (CURLMsg *message = curl_multi_info_read(multi_, &queued))
            if (message->msg == CURLMSG_DONE)
                finish(message->data.result);
        if (failure_) {
            // libcurl has returned: the failure may go on from here.
            finish(CURLE_ABORTED_BY_CALLBACK);
            std::rethrow_exception(std::exchange(failure_, nullptr));
        }
        reportRedirects();
    }

    // User code runs here, after libcurl has returned, never inside its callbacks.
    void reportRedirects()
    {
        std::vector<std::string> followed = std::move(followed_);
        followed_.clear();
        if (redirected_)
            for (const std::string &url : followed)
                redirected_(url);
    }

    void finish(CURLcode result)
    {
        done_ = true;
        result_ = result;
        if (added_) {
            curl_multi_remove_handle(multi_, easy_);
            added_ = false;
        }
    }

    // libcurl's callbacks never let an exception through its C frames: the
    // first one is kept, the transfer aborted, and drive() throws it on.
    template <class Result, class Body> static Result guarded(void *user, Result failed, Body body)
    {
        auto *self = static_cast<CurlRequest *>(user);
        try {
            return body(*self);
        } catch (...) {
            if (!self->failure_)
                self->failure_ = std::current_exception();
            return failed;
        }
    }

    static size_t onHeader(char *data, size_t size, size_t count, void *user)
    {
        return guarded(user, size_t{0}, [&](CurlRequest &self) { return self.header(data, size * count); });
    }

    size_t header(const char *data, size_t length)
    {
        std::string line(data, length);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        ++activity_;
        windowBytes_ += length;
        connected_ = true;
        if (line.rfind("HTTP/", 0) == 0) {
            block_.clear();
            blockStatus_ = 0;
            blockHasLocation_ = false;
            size_t space = line.find(' ');
            if (space != std::string::npos)
                blockStatus_ = std::atol(line.c_str() + space + 1);
        } else if (line.empty()) {
            endOfBlock();
            return length;
        } else if (auto location = headerValue(line, "Location")) {
            blockHasLocation_ = !location->empty();
        }
        block_.push_back(line);
        return length;
    }

    // A request is about to go out: if libcurl follows a redirect with it,
    // its count has grown and its effective address is where it goes.
    void noteFollowedRedirect()
    {
        long count = 0;
        curl_easy_getinfo(easy_, CURLINFO_REDIRECT_COUNT, &count);
        if (count <= redirectsSeen_)
            return;
        redirectsSeen_ = count;
        char *url = nullptr;
        if (curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url)
            followed_.emplace_back(url);
    }

    void endOfBlock()
    {
        headers_ = block_;
        // A redirect libcurl may follow is final only if it refuses: then the
        // transfer ends without a new response, which also ends the wait.
        bool mayFollow = !(flags_ & httpNoAutoRedirect) && isRedirect(blockStatus_) && blockHasLocation_;
        // libcurl answers a challenge itself when it holds credentials; then
        // this response is not the last one, and the next block or the body tells.
        bool answered = (blockStatus_ == 401 && haveCredentials_) || (blockStatus_ == 407 && haveProxyCredentials_);
        if (blockStatus_ >= 200 && !mayFollow && !answered)
            headersDone_ = true;
        if (blockStatus_ >= 200)
            completeStatus_ = blockStatus_;
    }

    static size_t onBody(char *data, size_t size, size_t count, void *user)
    {
        return guarded(user, size_t{0}, [&](CurlRequest &self) {
            size_t length = size * count;
            ++self.activity_;
            self.windowBytes_ += length;
            // libcurl passes on only the body of the response it keeps, so its
            // first byte means the final headers are complete.
            self.headersDone_ = true;
            const size_t direct = self.target_ ? std::min(length, self.room_ - self.filled_) : 0;
            if (direct > 0)
                std::memcpy(self.target_ + self.filled_, data, direct);
            self.filled_ += direct;
            self.pending_.append(data + direct, length - direct);
            return length;
        });
    }

    // Before every request of the transfer, on a new or reused connection.
    static int onConnected(void *user, char *, char *, int, int)
    {
        return guarded(user, int{CURL_PREREQFUNC_ABORT}, [](CurlRequest &self) {
            self.connected_ = true;
            self.noteFollowedRedirect();
            return int{CURL_PREREQFUNC_OK};
        });
    }

    static int onProgress(void *user, curl_off_t, curl_off_t downloaded, curl_off_t uploadTotal, curl_off_t uploaded)
    {
        auto *self = static_cast<CurlRequest *>(user);
        if (downloaded != self->lastDownloaded_ || uploaded != self->lastUploaded_)
            ++self->activity_;
        if (uploaded > self->lastUploaded_)
            self->windowBytes_ += static_cast<uint64_t>(uploaded - self->lastUploaded_);
        self->lastDownloaded_ = downloaded;
        self->lastUploaded_ = uploaded;
        self->uploading_ = uploadTotal > 0 && uploaded < uploadTotal;
        return self->cancel_ && self->cancel_->cancelled() ? 1 : 0;
    }

    std::shared_ptr<HttpCancel> cancel_;
    bool offline_;
    unsigned flags_;
    std::string verb_;
    CURL *easy_ = nullptr;
    CURLM *multi_ = nullptr;
    bool added_ = false;
    curl_slist *sentHeaders_ = nullptr;
    std::vector<std::string> headerLines_;
    std::string postBody_;
    std::function<void(const std::string &)> redirected_;
    unsigned connectMs_ = HttpTimeouts::DefaultConnect, receiveMs_ = HttpTimeouts::DefaultIdle,
             sendMs_ = HttpTimeouts::DefaultIdle;
    unsigned minimumSpeed_ = HttpTimeouts::DefaultMinimumSpeed, speedWindowMs_ = HttpTimeouts::DefaultSpeedWindow,
             totalMs_ = HttpTimeouts::DefaultTotal;

    // State of the current send.
    std::vector<std::string> headers_, block_;
    long blockStatus_ = 0;
    bool blockHasLocation_ = false; // the block's last Location header is not empty
    std::string pending_;           // body bytes that arrived while no read had room for them
    size_t pendingOffset_ = 0;
    char *target_ = nullptr; // the buffer of the read in progress ...
    size_t room_ = 0;        // ... its size ...
    size_t filled_ = 0;      // ... and the bytes in it so far
    bool headersDone_ = false, done_ = false, connected_ = false, uploading_ = false;
    bool haveCredentials_ = false, haveProxyCredentials_ = false;
    CURLcode result_ = CURLE_OK;
    uint64_t activity_ = 0;
    curl_off_t lastDownloaded_ = 0, lastUploaded_ = 0;
    long redirectsSeen_ = 0;
    long completeStatus_ = 0;           // of the last response whose headers all arrived
    std::vector<std::string> followed_; // redirects not yet reported
    std::exception_ptr failure_;        // thrown inside a callback, not yet passed on
    Clock::time_point deadline_;
    uint64_t windowBytes_ = 0; // bytes that went over the network in the current speed window
    Clock::duration windowElapsed_{};
};

class CurlConnection final : public HttpConnection
{
public:
    CurlConnection(const HttpSessionOptions &session, std::string base, std::string user, std::string password)
        : session_(session), base_(std::move(base)), user_(std::move(user)), password_(std::move(password))
    {}

    std::unique_ptr<HttpRequest> openRequest(const std::string &verb, const std::string &objectName,
                                             const std::string &referer, const std::string &acceptTypes,
                                             unsigned flags) override
    {
        if (!fitsHeaderLine(referer) || !fitsHeaderLine(acceptTypes))
            return nullptr;
        std::string target = objectName.empty() || objectName[0] != '/' ? "/" + objectName : objectName;
        auto request = std::make_unique<CurlRequest>(session_, base_ + target, verb, referer, acceptTypes, flags);
        if (!user_.empty())
            request->setCredentials(user_, password_);
        return request;
    }

private:
    HttpSessionOptions session_;
    std::string base_, user_, password_;
};

class CurlSession final : public HttpSession
{
public:
    explicit CurlSession(HttpSessionOptions options) : options_(std::move(options)) {}

    std::unique_ptr<HttpConnection> connect(const std::string &scheme, const std::string &host, uint16_t port,
                                            const std::string &user, const std::string &password) override
    {
        if (host.empty() || (scheme != "http" && scheme != "https") ||
            std::any_of(host.begin(), host.end(),
                        [](char c) { return static_cast<unsigned char>(c) <= ' ' || std::strchr("/?#@", c); }))
            return nullptr;
        // The splitter keeps an IPv6 literal's brackets; a bare one gets them here.
        bool literalV6 = host.find(':') != std::string::npos && host.front() != '[';
        std::string base = scheme + "://" + (literalV6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
        return std::make_unique<CurlConnection>(options_, base, user, password);
    }

private:
    HttpSessionOptions options_;
};

} // namespace

std::unique_ptr<HttpSession> openCurlSession(const HttpSessionOptions &options)
{
    if (!fitsHeaderLine(options.agent))
        return nullptr;
    initCurl();
    return std::make_unique<CurlSession>(options);
}

std::string storedCookies()
{
    initCurl();
    CURL *easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_SHARE, CookieStore::handle());
    curl_slist *cookies = nullptr;
    curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &cookies);
    std::string lines;
    for (curl_slist *cookie = cookies; cookie; cookie = cookie->next)
        lines.append(cookie->data).append("\r\n");
    curl_slist_free_all(cookies);
    curl_easy_cleanup(easy);
    return lines;
}

void replaceStoredCookies(const std::string &lines)
{
    initCurl();
    CURL *easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_SHARE, CookieStore::handle());
    curl_easy_setopt(easy, CURLOPT_COOKIELIST, "ALL");
    for (const std::string &line : splitLines(lines))
        curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
    curl_easy_cleanup(easy);
}

} // namespace lotfinch::http
