#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "http/Streams.h"
#include "http/UrlAndDate.h"
#include "http/WorkerThread.h"
#include "text/StringList.h"

namespace lotfinch::http {
class HttpRequest;
}

// The HTTP component: fetches one URL at a time on a worker thread and hands
// the result to the GUI thread as events.
namespace lotfinch::http {

enum HttpCacheOption : unsigned {
    AlwaysReload = 1u << 0,
    ReloadIfNoExpireInformation = 1u << 1,
    ReloadUpdatedObjects = 1u << 2,
    PragmaNoCache = 1u << 3,
    NoCacheWrite = 1u << 4,
    CreateTempFilesIfCantCache = 1u << 5,
    UseCacheIfNetFail = 1u << 6,
};
using HttpCacheOptions = unsigned; // a set of HttpCacheOption bits

enum HttpInternetOption : unsigned {
    IgnoreCertificateInvalid = 1u << 0,
    IgnoreCertificateDateInvalid = 1u << 1,
    IgnoreUnknownCertificateAuthority = 1u << 2,
    IgnoreRedirectToHTTP = 1u << 3,
    IgnoreRedirectToHTTPS = 1u << 4,
    KeepConnection = 1u << 5,
    NoAuthentication = 1u << 6,
    NoAutoRedirect = 1u << 7,
    NoCookies = 1u << 8,
};
using HttpInternetOptions = unsigned; // a set of HttpInternetOption bits

enum class HttpRequestMethod { AutoDetect, GET, POST };
enum class HttpAccessType { Preconfig, Direct, UseProxy };

// Property objects: Assign(nullptr) restores the defaults, Assign(&other) copies.
template <class T> struct Persistent
{
    void Assign(const T *source) { static_cast<T &>(*this) = source ? *source : T{}; }
    bool operator==(const Persistent &) const = default;
};

struct HttpProxySettings : Persistent<HttpProxySettings>
{
    HttpAccessType AccessType = HttpAccessType::Preconfig;
    int ProxyPort = 8080;
    std::string ProxyServer;
    std::string ProxyBypass = "127.0.0.1;";
    std::string ProxyUsername, ProxyPassword;
    // Server and bypass list are kept with the settings only for a named proxy.
    bool ProxyServerStored() const { return AccessType == HttpAccessType::UseProxy; }
    bool operator==(const HttpProxySettings &) const = default;
};

struct HttpRange : Persistent<HttpRange>
{
    uint32_t StartRange = 0, EndRange = 0;
    bool operator==(const HttpRange &) const = default;
};

struct HttpComponentTimeouts : Persistent<HttpComponentTimeouts>
{
    // Milliseconds; 0 = the HTTP layer's default (60 s to connect, 60 s without a byte).
    uint32_t ConnectTimeout = 0, ReceiveTimeout = 0, SendTimeout = 0;
    // Bounds that a trickling server cannot stretch, reported as time-outs: fewer
    // than MinimumSpeed bytes a second over any MinimumSpeedTime ms once
    // connected, or more than TotalTimeout ms for the whole request. 0 = the
    // defaults: 1024 bytes a second over 60 s, and 5 minutes.
    uint32_t MinimumSpeed = 0, MinimumSpeedTime = 0, TotalTimeout = 0;
    bool operator==(const HttpComponentTimeouts &) const = default;
};

struct HttpOutputFileAttributes : Persistent<HttpOutputFileAttributes>
{
    HttpFileAttributes Complete = HttpFileAttribute::Archive;
    HttpFileAttributes Incomplete = HttpFileAttribute::Archive | HttpFileAttribute::Temporary;
    bool operator==(const HttpOutputFileAttributes &) const = default;
};

using HttpBeforeSendRequestEvent = std::function<void(QObject *sender, http::HttpRequest *hRequest)>;
using HttpHeaderInfoEvent = std::function<void(QObject *sender, int ErrorCode, const std::string &RawHeadersCRLF,
                                               const std::string &ContentType, const std::string &ContentLanguage,
                                               const std::string &ContentEncoding, int64_t ContentLength,
                                               const std::string &Location, DateTime Date, DateTime LastModified,
                                               DateTime Expires, const std::string &ETag, bool &ContinueDownload)>;
using HttpDoneEvent =
    std::function<void(QObject *sender, const std::string &ContentType, int64_t FileSize, ByteStream *Stream)>;
using HttpProgressEvent = std::function<void(QObject *sender, const std::string &ContentType, int64_t DataSize,
                                             int64_t BytesRead, int ElapsedTime, int EstimatedTimeLeft,
                                             uint8_t PercentsDone, float TransferRate, ByteStream *Stream)>;
using HttpRedirectedEvent = std::function<void(QObject *sender, const std::string &NewURL)>;
using HttpConnectionLostEvent = std::function<void(QObject *sender, const std::string &ContentType, int64_t FileSize,
                                                   int64_t BytesRead, ByteStream *Stream)>;
using HttpErrorEvent = std::function<void(QObject *sender, int ErrorCode, ByteStream *Stream)>;
using HttpPasswordRequestEvent = std::function<void(QObject *sender, const std::string &Realm, bool &TryAgain)>;
using HttpProxyAuthenticationEvent =
    std::function<void(QObject *sender, std::string &ProxyUsername, std::string &ProxyPassword, bool &TryAgain)>;

// The component's request settings; every request works on its own copy.
struct HttpComponentSettings
{
    text::StringList addHeaders;
    std::string acceptTypes = "text/html, */*";
    std::string agent = "Mozilla/5.0 (compatible; auHTTP/2.0; Lotfinch)";
    std::string outputFileName;
    HttpOutputFileAttributes outputFileAttributes;
    std::string url, postData, referer;
    HttpCacheOptions cacheOptions = HttpCacheOption::ReloadIfNoExpireInformation |
                                    HttpCacheOption::ReloadUpdatedObjects | HttpCacheOption::CreateTempFilesIfCantCache;
    HttpInternetOptions internetOptions = HttpInternetOption::KeepConnection;
    HttpRange range;
    HttpComponentTimeouts timeouts;
    int32_t transferBufferSize = 4096;
    HttpRequestMethod requestMethod = HttpRequestMethod::AutoDetect;
    HttpProxySettings proxy;
    bool showGoOnlineMessage = false, workOffline = false;
    int64_t maxMemoryBody = int64_t{256} << 20;
};

// Holds the credentials and their obscured settings record "LInfo".
class LoginComponent : public QObject
{
public:
    explicit LoginComponent(QObject *owner) : QObject(owner) {}

    const std::string &Username() const { return username_; }
    void setUsername(const std::string &value) { username_ = value; }
    const std::string &Password() const { return password_; }
    void setPassword(const std::string &value) { password_ = value; }

    // The record is kept only when it holds something and fits: user name and
    // password of more than 254 characters together are not kept at all.
    bool LInfoStored() const;
    std::string LInfo() const;
    // Restores the credentials from a record; a damaged record changes nothing.
    bool setLInfo(const std::string &record);

protected:
    std::string username_, password_;
};

class HttpTransfer;

class HttpComponent : public LoginComponent
{
public:
    explicit HttpComponent(QObject *owner = nullptr);
    ~HttpComponent() override;

    // Starts a request for URL. False while one is in progress; otherwise
    // true, or false when a wait time-out stopped the worker.
    bool Read(bool ForceWait = false);
    bool Busy() const { return busy_; }

    const std::string &AcceptTypes() const { return settings_.acceptTypes; }
    void setAcceptTypes(const std::string &value) { settings_.acceptTypes = value; }
    bool AcceptTypesStored() const { return settings_.acceptTypes != HttpComponentSettings().acceptTypes; }
    const text::StringList &AddHeaders() const { return settings_.addHeaders; }
    text::StringList &AddHeaders() { return settings_.addHeaders; }
    void setAddHeaders(const text::StringList &value) { settings_.addHeaders = value; }
    const std::string &Agent() const { return settings_.agent; }
    void setAgent(const std::string &value) { settings_.agent = value; }
    HttpProxySettings &Proxy() { return settings_.proxy; }
    void setProxy(const HttpProxySettings &value) { settings_.proxy.Assign(&value); }
    const std::string &URL() const { return settings_.url; }
    void setURL(const std::string &value) { settings_.url = value; }
    HttpCacheOptions CacheOptions() const { return settings_.cacheOptions; }
    void setCacheOptions(HttpCacheOptions value) { settings_.cacheOptions = value; }
    HttpInternetOptions InternetOptions() const { return settings_.internetOptions; }
    void setInternetOptions(HttpInternetOptions value) { settings_.internetOptions = value; }
    const std::string &OutputFileName() const { return settings_.outputFileName; }
    void setOutputFileName(const std::string &value) { settings_.outputFileName = value; }
    HttpOutputFileAttributes &OutputFileAttributes() { return settings_.outputFileAttributes; }
    void setOutputFileAttributes(const HttpOutputFileAttributes &value)
    {
        settings_.outputFileAttributes.Assign(&value);
    }
    const std::string &POSTData() const { return settings_.postData; }
    void setPOSTData(const std::string &value) { settings_.postData = value; }
    HttpRange &Range() { return settings_.range; }
    void setRange(const HttpRange &value) { settings_.range.Assign(&value); }
    const std::string &Referer() const { return settings_.referer; }
    void setReferer(const std::string &value) { settings_.referer = value; }
    HttpRequestMethod RequestMethod() const { return settings_.requestMethod; }
    void setRequestMethod(HttpRequestMethod value) { settings_.requestMethod = value; }
    // No system-wide offline state exists here, so there is never a prompt to show.
    bool ShowGoOnlineMessage() const { return settings_.showGoOnlineMessage; }
    void setShowGoOnlineMessage(bool value) { settings_.showGoOnlineMessage = value; }
    HttpComponentTimeouts &Timeouts() { return settings_.timeouts; }
    const HttpComponentTimeouts &Timeouts() const { return settings_.timeouts; }
    void setTimeouts(const HttpComponentTimeouts &value) { settings_.timeouts.Assign(&value); }
    WorkerPriority ThreadPriority() const { return thread_->Priority(); }
    void setThreadPriority(WorkerPriority value) { thread_->SetPriority(value); }
    int32_t TransferBufferSize() const { return settings_.transferBufferSize; }
    void setTransferBufferSize(int32_t value); // clamped to 255..2147483647
    bool WaitThread() const { return thread_->WaitThread; }
    void setWaitThread(bool value) { thread_->WaitThread = value; }
    int WaitTimeout() const { return thread_->WaitTimeout; }
    void setWaitTimeout(int value) { thread_->WaitTimeout = value; }
    bool WorkOffline() const { return settings_.workOffline; }
    void setWorkOffline(bool value) { settings_.workOffline = value; }

    // A body kept in memory may not grow beyond this; a larger one ends as an error.
    int64_t MaxMemoryBody() const { return settings_.maxMemoryBody; }
    void setMaxMemoryBody(int64_t value) { settings_.maxMemoryBody = value; }

    // Outcome of the last request, as the result events reported it.
    int StatusCode() const { return statusCode_; }
    // Where the answer came from: the URL asked for, or the last redirect followed.
    const std::string &FinalURL() const { return finalURL_; }
    const std::string &ContentType() const { return contentType_; }
    int64_t ContentLength() const { return contentLength_; }
    int64_t BytesRead() const { return bytesRead_; }
    // The last body was cut off because it would have outgrown MaxMemoryBody;
    // BytesRead then counts what was kept, which may be well short of the limit.
    bool OverMemoryLimit() const { return overMemoryLimit_; }
    // The last request got no answer because no HTTP helper could be started.
    bool HelperMissing() const { return helperMissing_; }

    HttpBeforeSendRequestEvent OnBeforeSendRequest; // worker thread
    HttpHeaderInfoEvent OnHeaderInfo;
    HttpDoneEvent OnDone;
    NotifyEvent OnDoneInterrupted;
    NotifyEvent OnOutputFileError;
    HttpProgressEvent OnProgress;
    HttpRedirectedEvent OnRedirected; // worker thread
    NotifyEvent OnAnyError;
    HttpConnectionLostEvent OnConnLost;
    HttpErrorEvent OnHTTPError;
    NotifyEvent OnHostUnreachable;
    HttpPasswordRequestEvent OnPasswordRequest;
    HttpProxyAuthenticationEvent OnProxyAuthenticationRequest;
    ThreadWaitTimeoutExpired OnWaitTimeoutExpired;

private:
    friend class HttpTransfer;

    void FinishProcessing();
    void WaitTimeoutExpired(bool &terminateThread);
    // Frees the stream, closing an output file and marking it incomplete.
    void ReleaseStream();
    // The stream, then the component's hold on the request; clears Busy.
    void ReleaseTransferResources();
    // Runs a handler of the finish processing; an exception in it becomes OnAnyError.
    void Guarded(const std::function<void()> &raise);

    HttpComponentSettings settings_;

    bool busy_ = false;
    WorkerThread *thread_;
    std::shared_ptr<HttpTransfer> transfer_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    int statusCode_ = -1;
    std::string finalURL_;
    bool helperMissing_ = false;
    bool overMemoryLimit_ = false;
    std::string contentType_;
    int64_t contentLength_ = 0, bytesRead_ = 0;
};

} // namespace lotfinch::http
