#include "http/HttpTransfer.h"

#include <cmath>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "http/UrlSplitter.h"

namespace lotfinch::http {

namespace {

// The query of a URL as it is written, without its "?" and before any "#":
// nothing when there is none. Decoded, an escaped "&" or "=" in a value could
// no longer be told from the separators.
std::optional<std::string_view> writtenQuery(std::string_view url)
{
    const size_t scheme = url.find("://");
    const size_t mark = url.find_first_of("?#", scheme == std::string_view::npos ? 0 : scheme + 3);
    if (mark == std::string_view::npos || url[mark] != '?')
        return std::nullopt;
    const size_t end = std::min(url.find('#', mark), url.size());
    return url.substr(mark + 1, end - mark - 1);
}

// Longest header value a query returns; a longer one counts as absent.
constexpr size_t QueryLimit = 4095;

bool isHttpOk(int status)
{
    return status == 200 || status == 206;
}

// A decoded path as it may stand in a request line.
std::string escapePath(const std::string &path)
{
    return http::PercentEncode(path, [](unsigned char c) {
        return c <= ' ' || c >= 127 ||
               std::string_view("\"#%<>?\\^`{|}").find(static_cast<char>(c)) != std::string_view::npos;
    });
}

// A Content-Length value as a count; nothing when it is not a plain
// non-negative decimal number that fits.
std::optional<int64_t> parseLength(const std::string &text)
{
    if (text.empty())
        return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > (std::numeric_limits<int64_t>::max() - (c - '0')) / 10)
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The realm named in a WWW-Authenticate value: the quoted text after `="`,
// or the whole value when nothing is quoted.
std::string realmOf(const std::string &value)
{
    size_t open = value.find("=\"");
    if (open == std::string::npos)
        return value;
    size_t close = value.find('"', open + 2);
    return value.substr(open + 2, close == std::string::npos ? std::string::npos : close - open - 2);
}

int clampToInt(double value)
{
    if (!(value > std::numeric_limits<int>::min()))
        return value != value ? 0 : std::numeric_limits<int>::min();
    return value >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(value);
}

} // namespace

HttpTransfer::HttpTransfer(HttpComponent *owner, std::shared_ptr<bool> ownerAlive, TransferSettings settings)
    : FinalURL(settings.url), owner_(owner), ownerAlive_(std::move(ownerAlive)), settings_(std::move(settings))
{}

HttpTransfer::~HttpTransfer()
{
    CloseHandles();
}

void HttpTransfer::CloseHandles()
{
    if (localFile_ >= 0)
        ::close(localFile_);
    localFile_ = -1;
    request_.reset();
    connection_.reset();
    session_.reset();
}

bool HttpTransfer::Sync(const std::function<void(HttpComponent &)> &call)
{
    return EventThread::Synchronize([&] {
        if (*ownerAlive_)
            call(*owner_);
    });
}

std::optional<std::string> HttpTransfer::Query(const std::string &name) const
{
    auto value = request_->header(name);
    if (value && value->size() > QueryLimit)
        return std::nullopt;
    return value;
}

unsigned HttpTransfer::RequestFlags(const std::string &scheme) const
{
    unsigned flags = 0;
    HttpCacheOptions cache = settings_.cacheOptions;
    HttpInternetOptions options = settings_.internetOptions;
    if (scheme == "https")
        flags |= httpSecure;
    if (cache & HttpCacheOption::AlwaysReload)
        flags |= httpReload;
    if (cache & HttpCacheOption::PragmaNoCache)
        flags |= httpPragmaNoCache;
    if (options & HttpInternetOption::IgnoreCertificateInvalid)
        flags |= httpIgnoreCertName;
    if (options & HttpInternetOption::IgnoreCertificateDateInvalid)
        flags |= httpIgnoreCertDate;
    if (options & HttpInternetOption::IgnoreUnknownCertificateAuthority)
        flags |= httpIgnoreUnknownCa;
    if (options & HttpInternetOption::IgnoreRedirectToHTTP)
        flags |= httpAllowHttpsToHttp;
    if (options & HttpInternetOption::KeepConnection)
        flags |= httpKeepConnection;
    if (options & HttpInternetOption::NoAuthentication)
        flags |= httpNoAuth;
    if (options & HttpInternetOption::NoAutoRedirect)
        flags |= httpNoAutoRedirect;
    if (options & HttpInternetOption::NoCookies)
        flags |= httpNoCookies;
    return flags;
}

void HttpTransfer::Run()
{
    try {
        Transfer();
    } catch (...) {
        // Reported as OnAnyError; the outcome must not claim a success the
        // transfer never reached (a false OnDone or OnOutputFileError).
        Success = false;
        throw;
    }
}

void HttpTransfer::Transfer()
{
    EventThread::SetAbandonHandler([cancel = cancel_] { cancel->cancel(); });
    StatusCode = -1;
    ContentType.clear();
    start_ = std::chrono::steady_clock::now();
    ContinueDownload = true;

    std::string scheme, host, path, user, password, extraInfo;
    uint16_t port = 0;
    SplitUrl(settings_.url, scheme, host, path, user, password, extraInfo, port);
    if (user.empty())
        user = settings_.username;
    if (password.empty())
        password = settings_.password;

    if (scheme == "file") {
        localFile_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info
        {};
        if (localFile_ >= 0 && (fstat(localFile_, &info) != 0 || !S_ISREG(info.st_mode))) {
            ::close(localFile_);
            localFile_ = -1;
        }
        StatusCode = localFile_ >= 0 ? 200 : 404;
        ContentLength = localFile_ >= 0 ? info.st_size : 0;
        CreateStream(false);
        if (!Stream)
            return;
        ReadBody([this](char *buffer, int64_t size) -> int64_t {
            if (localFile_ < 0)
                return 0;
            ssize_t n;
            do
                n = ::read(localFile_, buffer, static_cast<size_t>(size));
            while (n < 0 && errno == EINTR);
            return n;
        });
        return;
    }

    if (!OpenAndSend(scheme, host, port, ObjectName(path, extraInfo), user, password))
        return;
    ReadHeaders();
    if (!ContinueDownload)
        return;
    CreateStream(Success);
    if (!Stream)
        return;
    ReadBody([this](char *buffer, int64_t size) { return request_->read(buffer, size); });
}

std::string HttpTransfer::ObjectName(const std::string &path, const std::string &extraInfo) const
{
    const std::optional<std::string_view> query = writtenQuery(settings_.url);
    if (!query)
        return escapePath(path) + UrlEncode(extraInfo);
    // The query keeps its escapes; only what cannot stand in a request line is escaped.
    std::string name = escapePath(path) + "?" +
                       http::PercentEncode(std::string(*query), [](unsigned char c) { return c <= ' ' || c >= 127; });
    if (const size_t fragment = extraInfo.find('#'); fragment != std::string::npos)
        name += UrlEncode(extraInfo.substr(fragment));
    return name;
}

bool HttpTransfer::OpenAndSend(const std::string &scheme, const std::string &host, uint16_t port,
                               const std::string &objectName, const std::string &user, const std::string &password)
{
    const HttpProxySettings &proxy = settings_.proxy;
    http::HttpSessionOptions options;
    options.agent = settings_.agent;
    options.access = proxy.AccessType == HttpAccessType::Direct     ? http::HttpProxyAccess::Direct
                     : proxy.AccessType == HttpAccessType::UseProxy ? http::HttpProxyAccess::Named
                                                                    : http::HttpProxyAccess::Preconfigured;
    if (proxy.AccessType == HttpAccessType::UseProxy) {
        options.proxy = proxy.ProxyServer + ":" + std::to_string(proxy.ProxyPort);
        options.proxyBypass = proxy.ProxyBypass;
    }
    options.offline = settings_.workOffline;
    options.cancel = cancel_;
    session_ = http::openHttpSession(options);
    Success = session_ != nullptr;
    if (!Success)
        return false;
    connection_ = session_->connect(scheme, host, port, user, password);
    Success = connection_ != nullptr;
    if (!Success)
        return false;

    bool post = settings_.requestMethod == HttpRequestMethod::POST ||
                (settings_.requestMethod == HttpRequestMethod::AutoDetect && !settings_.postData.empty());
    request_ = connection_->openRequest(post ? "POST" : "GET", objectName, settings_.referer, settings_.acceptTypes,
                                        RequestFlags(scheme));
    HelperMissing = connection_->helperMissing();
    Success = request_ != nullptr;
    if (!Success)
        return false;
    if (proxy.AccessType != HttpAccessType::Direct && !proxy.ProxyUsername.empty() && !proxy.ProxyPassword.empty())
        request_->setProxyCredentials(proxy.ProxyUsername, proxy.ProxyPassword);
    const HttpComponentTimeouts &timeouts = settings_.timeouts;
    request_->setTimeouts({timeouts.ConnectTimeout, timeouts.ReceiveTimeout, timeouts.SendTimeout,
                           timeouts.MinimumSpeed, timeouts.MinimumSpeedTime, timeouts.TotalTimeout});
    // The two worker-thread events: never once the request was let go, and
    // never while the component goes away under a running handler.
    request_->setRedirectHandler([this](const std::string &url) {
        FinalURL = url;
        if (settings_.redirected)
            EventThread::RunUnlessAbandoned([&] { settings_.redirected(owner_, url); });
    });
    if (settings_.beforeSendRequest)
        EventThread::RunUnlessAbandoned([&] { settings_.beforeSendRequest(owner_, request_.get()); });

    std::string headers = settings_.addHeaders.text();
    const HttpRange &range = settings_.range;
    if (range.StartRange != 0 || range.EndRange != 0)
        headers += "RANGE: bytes=" + std::to_string(range.StartRange) + "-" +
                   (range.EndRange != 0 ? std::to_string(range.EndRange) : "") + "\r\n";
    // A header line the layer refuses means the request never goes out.
    if (!headers.empty() && !request_->addHeaders(headers)) {
        Success = false;
        return false;
    }

    std::string username = user, userPassword = password;
    do {
        tryAgain_ = false;
        Success = post ? request_->send("Content-Type: application/x-www-form-urlencoded", settings_.postData)
                       : request_->send("", "");
        if (!Success)
            return false;
        auto status = request_->status();
        Success = status.has_value();
        if (Success)
            StatusCode = *status;
        if (StatusCode == 401 && settings_.wantPasswordRequest) {
            auto challenge = Query("WWW-Authenticate");
            Success = challenge.has_value();
            std::string realm = challenge ? realmOf(*challenge) : std::string();
            Sync([&](HttpComponent &owner) {
                bool tryAgain = false;
                if (owner.OnPasswordRequest)
                    owner.OnPasswordRequest(&owner, realm, tryAgain);
                if (!*ownerAlive_)
                    return;
                tryAgain_ = tryAgain;
                username = owner.Username();
                userPassword = owner.Password();
            });
            request_->setCredentials(username, userPassword);
        } else if (StatusCode == 407 && settings_.wantProxyAuthentication) {
            std::string proxyUser, proxyPassword;
            Sync([&](HttpComponent &owner) {
                bool tryAgain = false;
                HttpProxySettings &proxy = owner.Proxy();
                if (owner.OnProxyAuthenticationRequest)
                    owner.OnProxyAuthenticationRequest(&owner, proxy.ProxyUsername, proxy.ProxyPassword, tryAgain);
                if (!*ownerAlive_)
                    return;
                tryAgain_ = tryAgain;
                proxyUser = owner.Proxy().ProxyUsername;
                proxyPassword = owner.Proxy().ProxyPassword;
            });
            request_->setProxyCredentials(proxyUser, proxyPassword);
        }
    } while (tryAgain_ && !EventThread::Abandoned());
    return true;
}

void HttpTransfer::ReadHeaders()
{
    if (auto type = Query("Content-Type"))
        ContentType = *type;
    auto length = Query("Content-Length");
    Success = length.has_value();
    ContentLength = length ? parseLength(*length).value_or(0) : 0;
    if (!settings_.wantHeaderInfo)
        return;

    std::string raw = request_->rawHeaders();
    if (raw.size() > QueryLimit)
        raw.clear();
    std::string language = Query("Content-Language").value_or("");
    std::string encoding = Query("Content-Encoding").value_or("");
    std::string location = Query("Location").value_or("");
    std::string etag = Query("ETag").value_or("");
    auto date = [this](const char *name) {
        auto value = Query(name);
        return value ? ParseHttpDate(*value) : 0.0;
    };
    DateTime when = date("Date"), lastModified = date("Last-Modified"), expires = date("Expires");
    Sync([&](HttpComponent &owner) {
        bool continueDownload = true;
        if (owner.OnHeaderInfo)
            owner.OnHeaderInfo(&owner, StatusCode, raw, ContentType, language, encoding, ContentLength, location, when,
                               lastModified, expires, etag, continueDownload);
        ContinueDownload = continueDownload;
    });
}

void HttpTransfer::CreateStream(bool announced)
{
    if (isHttpOk(StatusCode) && !settings_.outputFileName.empty()) {
        try {
            Stream = std::make_unique<FileStream>(settings_.outputFileName);
        } catch (const EFCreateError &) {
            // Reported by the finish processing as an output file error, whether
            // or not the length was announced; the body is not read.
            Success = true;
            return;
        }
        const HttpOutputFileAttributes &attributes = settings_.outputFileAttributes;
        if (attributes.Incomplete != HttpFileAttribute::Archive)
            SetFileAttributesFromSet(settings_.outputFileName, attributes.Incomplete);
        OutputToFile = true;
        return;
    }
    auto memory = std::make_unique<MemoryStream>();
    if (announced && ContentLength > 0)
        ReserveIfPossible(*memory, std::min({ContentLength, AnnouncedReserveCap, settings_.maxMemoryBody}));
    Stream = std::move(memory);
}

void HttpTransfer::ReserveIfPossible(MemoryStream &memory, int64_t capacity)
{
    // Only a head start: without it the stream grows as the data comes, and
    // only data that cannot be held fails the body.
    try {
        memory.Reserve(capacity);
    } catch (const StreamError &) {
    } catch (const std::bad_alloc &) {
    }
}

void HttpTransfer::ReadBody(const std::function<int64_t(char *, int64_t)> &read)
{
    BytesRead = 0;
    OverMemoryLimit = false;
    auto *memory = OutputToFile ? nullptr : static_cast<MemoryStream *>(Stream.get());
    bool failed = false;
    try {
        std::vector<char> buffer(static_cast<size_t>(settings_.transferBufferSize));
        for (;;) {
            int64_t n = read(buffer.data(), settings_.transferBufferSize);
            if (n <= 0) {
                failed = n < 0;
                break;
            }
            if (memory) {
                int64_t needed = BytesRead + n;
                if (needed > settings_.maxMemoryBody) {
                    OverMemoryLimit = true;
                    failed = true;
                    break;
                }
                // Past what the announcement reserved, the data that arrived vouches for the rest.
                if (needed > memory->Capacity() && ContentLength > memory->Capacity())
                    ReserveIfPossible(*memory, std::min(ContentLength, settings_.maxMemoryBody));
            }
            Stream->Write(buffer.data(), n);
            BytesRead += n;
            if (settings_.wantProgress)
                Sync([this](HttpComponent &owner) { ReportProgress(owner); });
            if (EventThread::Abandoned())
                return;
        }
    } catch (const StreamError &) {
        failed = true; // a disk or memory that cannot take the body
    } catch (const std::bad_alloc &) {
        failed = true;
    }
    Success = isHttpOk(StatusCode) && !failed;
    if (Success && ContentLength != 0 && Stream)
        Success = ContentLength == BytesRead;
}

void HttpTransfer::ReportProgress(HttpComponent &owner)
{
    if (!owner.OnProgress)
        return;
    using namespace std::chrono;
    int elapsed =
        clampToInt(static_cast<double>(duration_cast<milliseconds>(steady_clock::now() - start_).count() / 1000));
    double percent = ContentLength > 0
                         ? std::nearbyint(static_cast<double>(BytesRead) * 100.0 / static_cast<double>(ContentLength))
                         : 0;
    auto percentsDone = static_cast<uint8_t>(std::clamp(percent, 0.0, 255.0));
    int left = clampToInt(
        std::nearbyint(static_cast<double>(ContentLength) / static_cast<double>(BytesRead) * elapsed) - elapsed);
    float rate = static_cast<float>(BytesRead) / 1024.0f;
    if (elapsed != 0)
        rate /= static_cast<float>(elapsed);
    owner.OnProgress(&owner, ContentType, ContentLength, BytesRead, elapsed, left, percentsDone, rate, Stream.get());
}

} // namespace lotfinch::http
