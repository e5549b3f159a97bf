#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "http/HttpClient.h"
#include "http/HttpComponent.h"

namespace lotfinch::http {

// What one request needs of the component, copied when it starts, so the
// worker never reads the component itself.
struct TransferSettings : HttpComponentSettings
{
    std::string username, password;
    // Which GUI-thread events are wanted, and the worker-thread events themselves.
    bool wantHeaderInfo = false, wantProgress = false, wantPasswordRequest = false, wantProxyAuthentication = false;
    HttpBeforeSendRequestEvent beforeSendRequest;
    HttpRedirectedEvent redirected;
};

// One request: run on the worker, shared with the component. The component
// reads the outcome only while the worker waits for it or has ended; if the
// component lets go early, the worker finishes alone and frees it all.
class HttpTransfer
{
public:
    // What an announced Content-Length alone may reserve in memory.
    static constexpr int64_t AnnouncedReserveCap = int64_t{64} << 20;

    HttpTransfer(HttpComponent *owner, std::shared_ptr<bool> ownerAlive, TransferSettings settings);
    ~HttpTransfer();

    void Run(); // worker thread
    // Stops a transfer waiting on the network; any thread.
    void Cancel() { cancel_->cancel(); }
    void CloseHandles();
    const TransferSettings &Settings() const { return settings_; }

    std::string FinalURL; // the address asked for, or the last redirect's
    int StatusCode = -1;
    bool HelperMissing = false; // no HTTP helper could be started for the request
    bool Success = false;
    bool OverMemoryLimit = false; // the body kept in memory would have grown past maxMemoryBody
    bool ContinueDownload = true;
    bool OutputToFile = false;
    std::string ContentType;
    int64_t ContentLength = 0, BytesRead = 0;
    std::unique_ptr<ByteStream> Stream;

private:
    void Transfer();
    bool Sync(const std::function<void(HttpComponent &)> &call);
    std::string ObjectName(const std::string &path, const std::string &extraInfo) const;
    unsigned RequestFlags(const std::string &scheme) const;
    std::optional<std::string> Query(const std::string &name) const;
    bool OpenAndSend(const std::string &scheme, const std::string &host, uint16_t port, const std::string &objectName,
                     const std::string &user, const std::string &password);
    void ReadHeaders();
    void CreateStream(bool announced);
    static void ReserveIfPossible(MemoryStream &memory, int64_t capacity);
    void ReadBody(const std::function<int64_t(char *, int64_t)> &read);
    void ReportProgress(HttpComponent &owner);

    HttpComponent *owner_; // GUI thread only, while *ownerAlive_
    std::shared_ptr<bool> ownerAlive_;
    TransferSettings settings_;
    std::shared_ptr<http::HttpCancel> cancel_ = std::make_shared<http::HttpCancel>();
    std::chrono::steady_clock::time_point start_;
    bool tryAgain_ = false;

    std::unique_ptr<http::HttpSession> session_;
    std::unique_ptr<http::HttpConnection> connection_;
    std::unique_ptr<http::HttpRequest> request_;
    int localFile_ = -1;
};

} // namespace lotfinch::http
