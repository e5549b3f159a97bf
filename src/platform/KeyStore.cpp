#include "platform/KeyStore.h"

#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <qt6keychain/keychain.h>

namespace lotfinch::platform {

namespace {

// Runs a job and waits for it within the limit. A job that has not finished
// by then goes on alone and deletes itself when it does.
KeyStore::Status run(QKeychain::Job *job, std::chrono::milliseconds limit, const std::function<void()> &whenOk = {})
{
    job->setAutoDelete(false);
    // Secrets never go to a plain file, even where no keyring exists.
    job->setInsecureFallback(false);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    job->start();
    loop.exec();
    if (!finished) {
        QObject::disconnect(job, &QKeychain::Job::finished, nullptr, nullptr);
        job->setAutoDelete(true);
        return KeyStore::Status::Unavailable;
    }
    const QKeychain::Error error = job->error();
    if (error == QKeychain::NoError && whenOk)
        whenOk();
    job->deleteLater();
    if (error == QKeychain::NoError)
        return KeyStore::Status::Ok;
    return error == QKeychain::EntryNotFound ? KeyStore::Status::NotFound : KeyStore::Status::Unavailable;
}

} // namespace

KeyStore::KeyStore(QString service, std::chrono::milliseconds limit) : service_(std::move(service)), limit_(limit)
{}

KeyStore::Reading KeyStore::read(const QString &key) const
{
    auto *job = new QKeychain::ReadPasswordJob(service_);
    job->setKey(key);
    Reading reading;
    reading.status = run(job, limit_, [&reading, job] { reading.secret = job->textData(); });
    return reading;
}

KeyStore::Status KeyStore::write(const QString &key, const QString &secret) const
{
    auto *job = new QKeychain::WritePasswordJob(service_);
    job->setKey(key);
    job->setTextData(secret);
    return run(job, limit_);
}

KeyStore::Status KeyStore::remove(const QString &key) const
{
    auto *job = new QKeychain::DeletePasswordJob(service_);
    job->setKey(key);
    const Status status = run(job, limit_);
    return status == Status::NotFound ? Status::Ok : status;
}

} // namespace lotfinch::platform
