#include <algorithm>
#include <chrono>
#include <cstring>
#include <curl/curl.h>
#include <mutex>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <vector>

#include "platform/HttpLibrary.h"

namespace lotfinch::platform {

void HttpCancel::cancel()
{
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    if (waker_)
        waker_();
}

void HttpCancel::setWaker(std::function<void()> waker)
{
    std::lock_guard lock(mutex_);
    waker_ = std::move(waker);
}

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned DefaultConnectMs = 60000, DefaultIdleMs = 60000;

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

bool equalNoCase(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string trim(const std::string &s)
{
    size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

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

CURLcode ignoreCertificateDates(CURL *, void *sslContext, void *)
{
    X509_STORE_set_flags(SSL_CTX_get_cert_store(static_cast<SSL_CTX *>(sslContext)), X509_V_FLAG_NO_CHECK_TIME);
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
        if (flags & httpIgnoreUnknownCa)
            curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYPEER, 0L);
        if (flags & httpIgnoreCertDate)
            curl_easy_setopt(easy_, CURLOPT_SSL_CTX_FUNCTION, ignoreCertificateDates);
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
        // A tunnel's own "200 Connection established" is not the response.
        curl_easy_setopt(easy_, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(DefaultConnectMs));
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
        connectMs_ = timeouts.connect ? timeouts.connect : DefaultConnectMs;
        curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectMs_));
        receiveMs_ = timeouts.receive ? timeouts.receive : DefaultIdleMs;
        sendMs_ = timeouts.send ? timeouts.send : receiveMs_;
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
            if (colon == 0 || colon == std::string::npos ||
                line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos || line.find_first_of(" \t") < colon)
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
        drive([this] { return headersDone_; });
        headersDone_ = true;
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
        for (const std::string &line : headers_) {
            size_t colon = line.find(':');
            if (colon != std::string::npos && equalNoCase(trim(line.substr(0, colon)), name))
                return trim(line.substr(colon + 1));
        }
        return std::nullopt;
    }

    std::string rawHeaders() const override
    {
        std::string raw;
        for (const std::string &line : headers_)
            raw += line + "\r\n";
        return raw + "\r\n";
    }

    int64_t read(char *buffer, int64_t size) override
    {
        if (size <= 0)
            return 0;
        if (pendingOffset_ == pending_.size() && !done_)
            drive([this] { return pendingOffset_ < pending_.size(); });
        size_t available = pending_.size() - pendingOffset_;
        if (available > 0) {
            size_t n = std::min(available, static_cast<size_t>(size));
            std::memcpy(buffer, pending_.data() + pendingOffset_, n);
            pendingOffset_ += n;
            if (pendingOffset_ == pending_.size()) {
                pending_.clear();
                pendingOffset_ = 0;
            }
            return static_cast<int64_t>(n);
        }
        return done_ && result_ == CURLE_OK ? 0 : -1;
    }

private:
    void reset()
    {
        headers_.clear();
        block_.clear();
        pending_.clear();
        pendingOffset_ = 0;
        headersDone_ = done_ = false;
        result_ = CURLE_OK;
        blockStatus_ = 0;
        location_.clear();
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

    // Runs the transfer until ready() holds, it ends, it is cancelled, or the
    // server stays silent longer than the time-out.
    void drive(const std::function<bool()> &ready)
    {
        auto lastActivity = Clock::now();
        uint64_t seen = activity_;
        while (!ready() && !done_) {
            if (cancel_ && cancel_->cancelled()) {
                finish(CURLE_ABORTED_BY_CALLBACK);
                return;
            }
            int running = 0;
            curl_multi_perform(multi_, &running);
            int queued = 0;
            while (CURLMsg *message = curl_multi_info_read(multi_, &queued))
                if (message->msg == CURLMSG_DONE)
                    finish(message->data.result);
            if (ready() || done_)
                return;
            if (activity_ != seen) {
                seen = activity_;
                lastActivity = Clock::now();
            }
            // Connecting has its own time-out inside libcurl; ours only backs it up.
            unsigned idleMs = !connected_ ? connectMs_ + 1000 : uploading_ ? sendMs_ : receiveMs_;
            auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastActivity);
            if (idle.count() >= static_cast<long long>(idleMs)) {
                finish(CURLE_OPERATION_TIMEDOUT);
                return;
            }
            curl_multi_poll(multi_, nullptr, 0, static_cast<int>(std::min<long long>(idleMs - idle.count(), 1000)),
                            nullptr);
        }
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

    static size_t onHeader(char *data, size_t size, size_t count, void *user)
    {
        auto *self = static_cast<CurlRequest *>(user);
        size_t length = size * count;
        std::string line(data, length);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        ++self->activity_;
        self->connected_ = true;
        if (line.rfind("HTTP/", 0) == 0) {
            self->block_.clear();
            self->blockStatus_ = 0;
            self->location_.clear();
            size_t space = line.find(' ');
            if (space != std::string::npos)
                self->blockStatus_ = std::atol(line.c_str() + space + 1);
        } else if (line.empty()) {
            self->endOfBlock();
            return length;
        } else {
            size_t colon = line.find(':');
            if (colon != std::string::npos && equalNoCase(trim(line.substr(0, colon)), "Location"))
                self->location_ = trim(line.substr(colon + 1));
        }
        self->block_.push_back(line);
        return length;
    }

    void endOfBlock()
    {
        headers_ = block_;
        bool followed = !(flags_ & httpNoAutoRedirect) && isRedirect(blockStatus_) && !location_.empty();
        // libcurl answers a challenge itself when it holds credentials; then
        // this response is not the last one, and the next block or the body tells.
        bool answered = (blockStatus_ == 401 && haveCredentials_) || (blockStatus_ == 407 && haveProxyCredentials_);
        if (blockStatus_ >= 200 && !followed && !answered)
            headersDone_ = true;
        if (redirected_ && followed) {
            char *current = nullptr;
            curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &current);
            if (CURLU *url = curl_url()) {
                char *resolved = nullptr;
                if (current && curl_url_set(url, CURLUPART_URL, current, 0) == CURLUE_OK &&
                    curl_url_set(url, CURLUPART_URL, location_.c_str(), 0) == CURLUE_OK &&
                    curl_url_get(url, CURLUPART_URL, &resolved, 0) == CURLUE_OK) {
                    redirected_(resolved);
                    curl_free(resolved);
                }
                curl_url_cleanup(url);
            }
        }
    }

    static size_t onBody(char *data, size_t size, size_t count, void *user)
    {
        auto *self = static_cast<CurlRequest *>(user);
        size_t length = size * count;
        ++self->activity_;
        // libcurl passes on only the body of the response it keeps, so its
        // first byte means the final headers are complete.
        self->headersDone_ = true;
        self->pending_.append(data, length);
        return length;
    }

    static int onConnected(void *user, char *, char *, int, int)
    {
        static_cast<CurlRequest *>(user)->connected_ = true;
        return CURL_PREREQFUNC_OK;
    }

    static int onProgress(void *user, curl_off_t, curl_off_t downloaded, curl_off_t uploadTotal, curl_off_t uploaded)
    {
        auto *self = static_cast<CurlRequest *>(user);
        if (downloaded != self->lastDownloaded_ || uploaded != self->lastUploaded_)
            ++self->activity_;
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
    unsigned connectMs_ = DefaultConnectMs, receiveMs_ = DefaultIdleMs, sendMs_ = DefaultIdleMs;

    // State of the current send.
    std::vector<std::string> headers_, block_;
    long blockStatus_ = 0;
    std::string location_;
    std::string pending_;
    size_t pendingOffset_ = 0;
    bool headersDone_ = false, done_ = false, connected_ = false, uploading_ = false;
    bool haveCredentials_ = false, haveProxyCredentials_ = false;
    CURLcode result_ = CURLE_OK;
    uint64_t activity_ = 0;
    curl_off_t lastDownloaded_ = 0, lastUploaded_ = 0;
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
            host.find_first_of("/?#@ \t\r\n") != std::string::npos)
            return nullptr;
        bool literalV6 = host.find(':') != std::string::npos;
        std::string base = scheme + "://" + (literalV6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
        return std::make_unique<CurlConnection>(options_, base, user, password);
    }

private:
    HttpSessionOptions options_;
};

} // namespace

std::unique_ptr<HttpSession> openHttpSession(const HttpSessionOptions &options)
{
    initCurl();
    return std::make_unique<CurlSession>(options);
}

} // namespace lotfinch::platform
