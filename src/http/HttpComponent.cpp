#include "http/HttpComponent.h"

#include <cstdio>
#include <system_error>

#include "http/HttpTransfer.h"

namespace lotfinch::http {

namespace {

// Obscures the stored credentials; not encryption.
constexpr unsigned char LInfoKey = 0xA5;
constexpr size_t LInfoMaxCharacters = 254;

} // namespace

bool LoginComponent::LInfoStored() const
{
    return (!username_.empty() || !password_.empty()) && username_.size() + password_.size() <= LInfoMaxCharacters;
}

std::string LoginComponent::LInfo() const
{
    if (!LInfoStored())
        return {};
    auto n = static_cast<unsigned char>(username_.size() + password_.size() + 1);
    std::string record(1, static_cast<char>(n));
    std::string plain = static_cast<char>(username_.size()) + username_ + password_;
    for (char c : plain)
        record += static_cast<char>(static_cast<unsigned char>(c) ^ (n ^ LInfoKey));
    return record;
}

bool LoginComponent::setLInfo(const std::string &record)
{
    if (record.empty())
        return false;
    auto n = static_cast<unsigned char>(record[0]);
    if (n == 0 || record.size() < size_t{n} + 1)
        return false;
    std::string plain;
    for (size_t i = 1; i <= n; ++i)
        plain += static_cast<char>(static_cast<unsigned char>(record[i]) ^ (n ^ LInfoKey));
    auto userLength = static_cast<unsigned char>(plain[0]);
    if (size_t{userLength} > size_t{n} - 1)
        return false;
    username_ = plain.substr(1, userLength);
    password_ = plain.substr(1 + userLength);
    return true;
}

HttpComponent::HttpComponent(QObject *owner) : LoginComponent(owner), thread_(new WorkerThread(this))
{
    thread_->SetOnException([this](QObject *) {
        if (OnAnyError)
            OnAnyError(this);
    });
    thread_->SetOnFinish([this](QObject *) { FinishProcessing(); });
    thread_->OnWaitTimeoutExpired = [this](QObject *, bool &terminateThread) { WaitTimeoutExpired(terminateThread); };
}

HttpComponent::~HttpComponent()
{
    *alive_ = false;
    thread_->Suspend(); // a worker about to call in waits until it is abandoned below
    if (transfer_)
        transfer_->Cancel();
    // Abandons a running worker: it ends by itself and frees the request it holds.
    delete thread_;
    transfer_.reset();
}

void HttpComponent::setTransferBufferSize(int32_t value)
{
    settings_.transferBufferSize = std::max<int32_t>(value, 255);
}

bool HttpComponent::Read(bool ForceWait)
{
    if (busy_)
        return false;
    busy_ = true;

    TransferSettings settings;
    static_cast<HttpComponentSettings &>(settings) = settings_;
    settings.username = username_;
    settings.password = password_;
    settings.wantHeaderInfo = static_cast<bool>(OnHeaderInfo);
    settings.wantProgress = static_cast<bool>(OnProgress);
    settings.wantPasswordRequest = static_cast<bool>(OnPasswordRequest);
    settings.wantProxyAuthentication = static_cast<bool>(OnProxyAuthenticationRequest);
    settings.beforeSendRequest = OnBeforeSendRequest;
    settings.redirected = OnRedirected;
    transfer_ = std::make_shared<HttpTransfer>(this, alive_, std::move(settings));
    thread_->SetOnExecute([transfer = transfer_](QObject *) { transfer->Run(); });

    bool savedWait = thread_->WaitThread;
    if (ForceWait)
        thread_->WaitThread = true;
    std::shared_ptr<bool> alive = alive_;
    bool result = true;
    try {
        result = thread_->Execute();
    } catch (const std::system_error &) {
        // No worker could start: the request ends as one that got no answer.
        FinishProcessing();
    }
    if (!*alive)
        return result;
    if (ForceWait)
        thread_->WaitThread = savedWait;
    // A running worker holds its own copy of the job; the idle thread object
    // must not keep an ended or abandoned request (its stream, its connection).
    thread_->SetOnExecute(nullptr);
    return result;
}

void HttpComponent::Guarded(const std::function<void()> &raise)
{
    // The handler may have destroyed this component: only the copy tells.
    std::shared_ptr<bool> alive = alive_;
    try {
        raise();
    } catch (...) {
        if (!*alive || !OnAnyError)
            return;
        try {
            OnAnyError(this);
        } catch (...) {
            // Nothing further to tell: the request is released all the same.
        }
    }
}

void HttpComponent::FinishProcessing()
{
    std::shared_ptr<HttpTransfer> transfer = transfer_;
    if (!transfer)
        return;
    std::shared_ptr<bool> alive = alive_;
    transfer->CloseHandles();
    ByteStream *stream = transfer->Stream.get();
    if (stream)
        stream->SetPosition(0);
    statusCode_ = transfer->StatusCode;
    finalURL_ = transfer->FinalURL;
    helperMissing_ = transfer->HelperMissing;
    contentType_ = transfer->ContentType;
    contentLength_ = transfer->ContentLength;
    bytesRead_ = transfer->BytesRead;
    overMemoryLimit_ = transfer->OverMemoryLimit;
    const std::string &type = transfer->ContentType;

    if (transfer->ContinueDownload) {
        if (transfer->Success && !stream) {
            Guarded([&] {
                if (OnAnyError)
                    OnAnyError(this);
            });
            if (*alive)
                Guarded([&] {
                    if (OnOutputFileError)
                        OnOutputFileError(this);
                });
        } else if (transfer->Success) {
            if (transfer->OutputToFile) {
                ReleaseStream();
                const HttpOutputFileAttributes &attributes = transfer->Settings().outputFileAttributes;
                if (attributes.Complete != attributes.Incomplete)
                    SetFileAttributesFromSet(transfer->Settings().outputFileName, attributes.Complete);
                stream = nullptr;
            }
            Guarded([&] {
                if (OnDone)
                    OnDone(this, type, transfer->BytesRead, stream);
            });
        } else {
            int status = transfer->StatusCode;
            Guarded([&] {
                if (status == 200 || status == 206) {
                    if (OnConnLost)
                        OnConnLost(this, type, transfer->ContentLength, transfer->BytesRead, stream);
                } else if (status == -1) {
                    if (OnHostUnreachable)
                        OnHostUnreachable(this);
                } else if (OnHTTPError) {
                    OnHTTPError(this, status, stream);
                }
            });
            if (*alive)
                Guarded([&] {
                    if (OnAnyError)
                        OnAnyError(this);
                });
        }
    }
    if (!*alive)
        return;
    ReleaseTransferResources();
    if (!transfer->ContinueDownload)
        Guarded([&] {
            if (OnDoneInterrupted)
                OnDoneInterrupted(this);
        });
}

void HttpComponent::ReleaseStream()
{
    if (!transfer_)
        return;
    bool toFile = transfer_->OutputToFile;
    transfer_->Stream.reset(); // closes an output file
    // The file this request wrote, whatever the settings say now.
    const TransferSettings &written = transfer_->Settings();
    if (toFile && written.outputFileAttributes.Incomplete != HttpFileAttribute::Archive)
        SetFileAttributesFromSet(written.outputFileName, written.outputFileAttributes.Incomplete);
    transfer_->OutputToFile = false;
}

void HttpComponent::ReleaseTransferResources()
{
    ReleaseStream();
    transfer_.reset();
    busy_ = false;
}

void HttpComponent::WaitTimeoutExpired(bool &terminateThread)
{
    std::shared_ptr<bool> alive = alive_;
    if (OnWaitTimeoutExpired)
        OnWaitTimeoutExpired(this, terminateThread);
    if (!*alive || !terminateThread || !transfer_)
        return;
    // The worker may still be writing: it keeps the request and frees it when
    // it ends. Here only the component lets go.
    transfer_->Cancel();
    transfer_.reset();
    busy_ = false;
}

} // namespace lotfinch::http
