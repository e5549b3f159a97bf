#include "desktop/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QWidget>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>

#include "platform/Application.h"
#include "platform/InstanceChannel.h"
#include "platform/InstanceRecord.h"

namespace lotfinch::desktop {

// What the first copy holds: the record with its claim, and the receiver that
// new copies hand over to. The receiver goes first, so the socket is removed
// while the claim is still held.
class SingleInstance::Session : public QObject
{
public:
    Session(const QString &place, QObject *parent) : QObject(parent), record(place + ".record") {}

    platform::InstanceRecord record;
    std::unique_ptr<platform::InstanceReceiver> receiver;
};

namespace {

// The components in this program.
int componentCount = 0;

// The first copy's session from StartUp until its guard takes it over.
QPointer<QObject> &pendingSession()
{
    static QPointer<QObject> session;
    return session;
}

// The instance's files, without their endings; empty when the user has no runtime folder.
QString instancePlace()
{
    const QString folder = platform::UserRuntimeFolder();
    if (folder.isEmpty())
        return QString();
    return folder + "/" + InstanceName(QCoreApplication::applicationFilePath());
}

bool isBlank(QChar c)
{
    return c == ' ' || c == '\t';
}

QStringList splitCommandLine(const QString &line)
{
    QStringList args;
    const qsizetype n = line.size();
    if (n == 0)
        return args;
    qsizetype i = 0;
    QString program;
    if (line[0] == '"') {
        for (++i; i < n && line[i] != '"'; ++i)
            program += line[i];
        if (i < n)
            ++i;
    } else {
        for (; i < n && !isBlank(line[i]); ++i)
            program += line[i];
    }
    args << program;
    for (;;) {
        while (i < n && isBlank(line[i]))
            ++i;
        if (i >= n)
            break;
        QString arg;
        bool quoted = false;
        while (i < n && (quoted || !isBlank(line[i]))) {
            if (line[i] == '\\') {
                qsizetype backslashes = 0;
                for (; i < n && line[i] == '\\'; ++i)
                    ++backslashes;
                if (i < n && line[i] == '"') {
                    arg += QString(backslashes / 2, '\\');
                    if (backslashes % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg += QString(backslashes, '\\');
                }
            } else if (line[i] == '"') {
                if (quoted && i + 1 < n && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += line[i++];
            }
        }
        args << arg;
    }
    return args;
}

QString quoteArgument(const QString &arg)
{
    static const QString special = QStringLiteral(" \t\n\v\"");
    if (!arg.isEmpty() && std::none_of(arg.begin(), arg.end(), [](QChar c) { return special.contains(c); }))
        return arg;
    QString out = "\"";
    qsizetype backslashes = 0;
    for (QChar c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: there they are doubled.
        out += QString(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        out += c;
        backslashes = 0;
    }
    out += QString(backslashes * 2, '\\');
    out += '"';
    return out;
}

// A new copy: hands the command line over, as the first copy's limit allows.
void handOver(platform::InstanceRecord &record, const QString &place, const QStringList &arguments,
              uint32_t msgTransportTimeout)
{
    const int limit = record.maxNewInstances();
    // Under no limit a copy goes ahead even when every counted place is taken.
    if (!record.tryEnterLoading(limit) && limit >= 0)
        return;
    const QByteArray block = PackCommandLine(JoinCommandLine(arguments));
    platform::SendToInstance(place + ".socket", static_cast<uint32_t>(QCoreApplication::applicationPid()), block,
                             static_cast<int>(std::min<uint32_t>(msgTransportTimeout, INT32_MAX)));
    record.leaveLoading();
}

} // namespace

bool SingleInstance::StartUp(const QStringList &arguments, uint32_t msgTransportTimeout)
{
    if (pendingSession())
        return true;
    const QString place = instancePlace();
    // Without a private place for it the guard cannot work; the program runs unguarded.
    if (place.isEmpty()) {
        // Said once, though the main window's guard asks again.
        static bool said = false;
        if (!std::exchange(said, true))
            std::fprintf(stderr,
                         "lotfinch: no private runtime folder (XDG_RUNTIME_DIR, %s, ~/.cache): "
                         "further copies of the program are not kept from running\n",
                         qPrintable(QDir::tempPath()));
        return true;
    }
    auto session = std::make_unique<Session>(place, QCoreApplication::instance());
    platform::InstanceRecord &record = session->record;
    if (!record.isOpen())
        return true;
    record.lockStartUp();
    if (record.tryClaim()) {
        record.setMaxNewInstances(0);
        session->receiver = std::make_unique<platform::InstanceReceiver>(place + ".socket");
        // The claim alone keeps further copies from running; only their hand-over needs the socket.
        if (!session->receiver->listen())
            std::fprintf(stderr,
                         "lotfinch: cannot listen at %s (%s): further copies cannot hand their command "
                         "lines over\n",
                         qPrintable(place + ".socket"), std::strerror(errno));
        record.unlockStartUp();
        pendingSession() = session.release();
        return true;
    }
    record.unlockStartUp();
    handOver(record, place, arguments, msgTransportTimeout);
    return false;
}

SingleInstance::SingleInstance(QObject *owner) : QObject(owner)
{
    ++componentCount;
    auto *form = qobject_cast<QWidget *>(owner);
    if (!form || !form->isWindow()) {
        --componentCount;
        throw std::runtime_error("AOwner must be TForm or descendant");
    }
    if (componentCount > 1) {
        --componentCount;
        throw std::runtime_error("Only one copy of TOneInstance can be used on one application");
    }
    if (!StartUp(QCoreApplication::arguments(), msgTransportTimeout_)) {
        std::fflush(nullptr);
        std::_Exit(0);
    }
    session_ = static_cast<Session *>(pendingSession().data());
    pendingSession() = nullptr;
    if (!session_)
        return;
    session_->setParent(this);
    session_->record.setMaxNewInstances(maxNewInstances_);
    session_->receiver->OnMessage = [this](uint32_t key, const QByteArray &block) { receive(key, block); };
}

SingleInstance::~SingleInstance()
{
    delete session_;
    --componentCount;
}

QString SingleInstance::About() const
{
    return QStringLiteral("TOneInstance 2.0\r\n"
                          "Keeps a program to one running copy per user. A further start hands its command line "
                          "to the running copy, as many at a time as MaxNewInstances allows, and ends.\r\n"
                          "2.0: user-scoped names; a copy that crashed or was killed blocks nothing.");
}

int8_t SingleInstance::MaxNewInstances() const
{
    return session_ ? session_->record.maxNewInstances() : maxNewInstances_;
}

void SingleInstance::setMaxNewInstances(int8_t value)
{
    maxNewInstances_ = value;
    if (session_)
        session_->record.setMaxNewInstances(value);
}

void SingleInstance::receive(uint32_t key, const QByteArray &block)
{
    if (!OnNewInstanceLoad)
        return;
    try {
        OnNewInstanceLoad(key, UnpackCommandLine(block));
    } catch (const std::exception &error) {
        platform::showErrorBox(error);
    }
}

QString InstanceName(const QString &programFile)
{
    const QFileInfo file(programFile);
    const qint64 size = file.isFile() ? file.size() : 0;
    return QString("TOneInstance::%1").arg(static_cast<int32_t>(static_cast<uint32_t>(size)));
}

int CommandLineArgCount(const QString &commandLine)
{
    return static_cast<int>(splitCommandLine(commandLine).size());
}

QString CommandLineArg(const QString &commandLine, int index)
{
    return splitCommandLine(commandLine).value(index);
}

QString JoinCommandLine(const QStringList &arguments)
{
    QString line;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (i == 0) {
            // The program path is read up to the next quote, with no escapes:
            // a quote in it cannot be written, so it is left out.
            line += QChar('"') + QString(arguments[0]).remove('"') + QChar('"');
        } else {
            line += QChar(' ') + quoteArgument(arguments[i]);
        }
    }
    return line;
}

QByteArray PackCommandLine(const QString &commandLine)
{
    QByteArray text = commandLine.toUtf8();
    if (qsizetype zero = text.indexOf('\0'); zero >= 0)
        text.truncate(zero);
    QByteArray block(4, '\0');
    qToLittleEndian<uint32_t>(static_cast<uint32_t>(text.size() + 1), block.data());
    block += text;
    block += '\0';
    return block;
}

QString UnpackCommandLine(const QByteArray &block)
{
    if (block.size() < 4)
        throw std::runtime_error("The command line handed over is damaged: no length");
    const auto length = qFromLittleEndian<uint32_t>(block.constData());
    if (length > static_cast<uint64_t>(block.size() - 4))
        throw std::runtime_error("The command line handed over is damaged: it is shorter than its length");
    QByteArrayView text(block.constData() + 4, length);
    if (qsizetype zero = text.indexOf('\0'); zero >= 0)
        text.truncate(zero);
    return QString::fromUtf8(text);
}

} // namespace lotfinch::desktop
