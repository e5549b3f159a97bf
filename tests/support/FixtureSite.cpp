#include "FixtureSite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpSocket>

#include "TestUtil.h"
#include "core/FoundItems.h"

namespace lotfinch::test {

QString FixtureSite::scriptPath()
{
    // The tests are built from the source tree, so the site lies beside them.
    // The build names the tree: __FILE__ is relative when ccache rewrites paths.
    return QDir(QStringLiteral(LOTFINCH_SOURCE_DIR)).absoluteFilePath("tools/fixture-site/fixture_site.py");
}

QString FixtureSite::pagesPath()
{
    return QFileInfo(scriptPath()).dir().absoluteFilePath("pages");
}

QString FixtureSite::newestItemLink()
{
    QFile page(pagesPath() + "/ebay.com/digital-camera.html");
    if (!page.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression itemLink("href=\"([^\"]*/itm/[^\"]*)\"");
    QString last;
    for (const QRegularExpressionMatch &match : itemLink.globalMatch(QString::fromLatin1(page.readAll())))
        last = match.captured(1);
    return QString::fromStdString(core::ListedLink(last.toStdString()));
}

FixtureSite::FixtureSite(const QString &pagesFolder) : process_(std::make_unique<QProcess>())
{
    // The site ends by itself after a while, even if a crashed test leaves it behind.
    QStringList arguments{scriptPath(), "--port", "0", "--log", dir_.filePath("requests.log"), "--exit-after", "900"};
    if (!pagesFolder.isEmpty())
        arguments << "--pages" << pagesFolder;
    process_->setProgram("python3");
    process_->setArguments(arguments);
    process_->start();
    static const QRegularExpression listening("listening on 127\\.0\\.0\\.1:(\\d+)");
    waitUntil([&] {
        stderr_ += QString::fromLocal8Bit(process_->readAllStandardError());
        if (auto match = listening.match(stderr_); match.hasMatch())
            port_ = static_cast<quint16>(match.captured(1).toUInt());
        return port_ != 0 || process_->state() == QProcess::NotRunning;
    });
}

FixtureSite::~FixtureSite()
{
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(10000)) {
            process_->kill();
            process_->waitForFinished(10000);
        }
    }
}

QString FixtureSite::proxyUrl() const
{
    return QString("http://127.0.0.1:%1").arg(port_);
}

QString FixtureSite::diagnostics() const
{
    return stderr_ + QString::fromLocal8Bit(process_->readAllStandardError());
}

QStringList FixtureSite::requestLines() const
{
    QFile log(dir_.filePath("requests.log"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(log.readAll()).split('\n', Qt::SkipEmptyParts);
}

bool FixtureSite::control(const QString &query)
{
    QByteArray answer = rawHttpExchange(port_, "GET /control?" + query.toLatin1() +
                                                   " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    return answer.startsWith("HTTP/1.1 200");
}

QByteArray rawHttpExchange(quint16 port, const QByteArray &request, int boundMs)
{
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", port);
    if (!socket.waitForConnected(boundMs))
        return {};
    socket.write(request);
    QByteArray answer;
    waitUntil(
        [&] {
            answer += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        boundMs);
    answer += socket.readAll();
    return answer;
}

} // namespace lotfinch::test
