#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace lotfinch::test {

// The fixture auction site (tools/fixture-site) running as a child process on
// a free loopback port, with its request log in a temporary folder. Use it as
// the HTTP proxy of the code under test; it answers the five sites' search
// addresses with saved pages.
class FixtureSite
{
public:
    // Starts the site and waits until it listens; see started().
    explicit FixtureSite(const QString &pagesFolder = QString());
    ~FixtureSite();
    FixtureSite(const FixtureSite &) = delete;
    FixtureSite &operator=(const FixtureSite &) = delete;

    bool started() const { return port_ != 0; }
    quint16 port() const { return port_; }
    // "http://127.0.0.1:PORT", for http_proxy.
    QString proxyUrl() const;
    // What the site wrote to standard error (start-up failures, answers).
    QString diagnostics() const;

    // The request lines received so far, oldest first.
    QStringList requestLines() const;

    // Sends a control request ("mode=fail&count=1"); returns whether the site accepted it.
    bool control(const QString &query);

    static QString scriptPath();
    static QString pagesPath();
    // The newest item that a search for "digital camera" finds on ebay.com, as
    // the found list shows it (first): the last item link of the fixture's
    // page, by the item's own address.
    static QString newestItemLink();

private:
    QTemporaryDir dir_;
    std::unique_ptr<QProcess> process_;
    QString stderr_;
    quint16 port_ = 0;
};

// One HTTP exchange over a fresh loopback connection: sends request as it
// stands and reads until the server closes. Empty when nothing came back.
QByteArray rawHttpExchange(quint16 port, const QByteArray &request, int boundMs = 20000);

} // namespace lotfinch::test
