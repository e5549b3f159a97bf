#include "support/DesktopSession.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "support/Desktop.h"
#include "support/SessionBus.h"

namespace lotfinch::e2e {

namespace {

QDBusMessage call(const QString &service, const QString &path, const QString &interface, const QString &method,
                  const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, 5000);
}

QVariant property(const QString &service, const QString &path, const QString &interface, const QString &name)
{
    QDBusMessage reply = call(service, path, "org.freedesktop.DBus.Properties", "Get", {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant();
}

// The id of the first entry, in a dbusmenu layout node (ia{sv}av) and below it,
// whose label without mnemonic marks starts with label; -1 if none does.
int entryLabelled(const QDBusArgument &node, const QString &label)
{
    int id = -1, found = -1;
    QVariantMap properties;
    node.beginStructure();
    node >> id >> properties;
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        int inChild = entryLabelled(qvariant_cast<QDBusArgument>(child.variant()), label);
        if (found < 0)
            found = inChild;
    }
    node.endArray();
    node.endStructure();
    if (found < 0 && id != 0 && properties.value("label").toString().remove('_').startsWith(label))
        found = id;
    return found;
}

} // namespace

std::optional<ShownWindow> ShownWindow::parse(const QString &line)
{
    const QStringList fields = line.split('|');
    if (fields.size() != 7 && fields.size() != 8)
        return std::nullopt;
    const QStringList frame = fields[2].split(',');
    bool pid = false;
    ShownWindow window{fields[0].toLongLong(&pid), fields[1],      {},
                       fields[3] == "min",         fields[4],      fields[5] == "x11",
                       fields[6] == "focus",       fields.value(7)};
    if (!pid || frame.size() != 4)
        return std::nullopt;
    window.frame = QRect(frame[0].toInt(), frame[1].toInt(), frame[2].toInt(), frame[3].toInt());
    return window;
}

DesktopSession::DesktopSession()
    : kind_(qEnvironmentVariable("DESKTOP_KIND")), tools_(qEnvironmentVariable("LOTFINCH_DESKTOP_TOOLS"))
{
    // The test runner gives each test process a runtime folder of its own;
    // the desktop's sockets are in the session's.
    const QString runtime = qEnvironmentVariable("DESKTOP_WORK") + "/runtime";
    if (QFileInfo(runtime).isDir())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
}

QString DesktopSession::input(const QStringList &arguments) const
{
    return runTool(tools_ + "/" + kind_ + "-input.sh", arguments);
}

std::vector<ShownWindow> DesktopSession::windows(qint64 pid) const
{
    std::vector<ShownWindow> shown;
    for (const QString &line : input({"windows"}).split('\n', Qt::SkipEmptyParts))
        if (std::optional<ShownWindow> window = ShownWindow::parse(line); window && window->pid == pid)
            shown.push_back(*window);
    return shown;
}

std::optional<ShownWindow> DesktopSession::window(qint64 pid, const QString &title) const
{
    for (const ShownWindow &window : windows(pid))
        if (window.title.contains(title))
            return window;
    return std::nullopt;
}

void DesktopSession::activate(const QString &title) const
{
    input({"activate", title});
}

void DesktopSession::click(QPoint at, int button) const
{
    input({"click", QString::number(at.x()), QString::number(at.y()), QString::number(button)});
}

void DesktopSession::type(const QString &text) const
{
    input({"type", text});
}

QString DesktopSession::clipboardText() const
{
    // sway and KWin hand a Wayland program's clipboard to X11 programs only
    // while one of theirs has the focus. sway lets a Wayland clipboard tool read
    // it at any time, Plasma's clipboard history (klipper) keeps it, and GNOME
    // always hands it on.
    if (kind_ == "sway")
        return runTool("wl-paste", {"--no-newline"});
    if (kind_ == "kde") {
        QDBusMessage reply = call("org.kde.klipper", "/klipper", "org.kde.klipper.klipper", "getClipboardContents", {});
        return reply.arguments().isEmpty() ? QString() : reply.arguments().constFirst().toString();
    }
    return e2e::clipboardText();
}

QString DesktopSession::screenshot(const QString &name) const
{
    QString folder = qEnvironmentVariable("LOTFINCH_SCREENSHOTS", QDir::currentPath() + "/e2e-screenshots");
    QDir().mkpath(folder);
    QString file = folder + "/" + name + ".png";
    QFile::remove(file);
    runTool(tools_ + "/shot.sh", {file});
    return QFileInfo(file).size() > 0 ? file : QString();
}

void DesktopSession::key(const QString &name) const
{
    input({"key", name});
}

QRect DesktopSession::notificationArea() const
{
    if (kind_ == "gnome")
        return QRect(380, 30, 520, 100);
    if (kind_ == "kde")
        return QRect(780, 450, 500, 306);
    return QRect(880, 0, 400, 200);
}

bool DesktopSession::hasTray() const
{
    return property("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher",
                    "IsStatusNotifierHostRegistered")
        .toBool();
}

bool DesktopSession::pickTrayMenuEntry(qint64 pid, const QString &label) const
{
    const QString item = statusNotifierItemOf(pid);
    if (item.isEmpty())
        return false;
    const QString service = item.section('/', 0, 0);
    const QString menu = property(service, '/' + item.section('/', 1), "org.kde.StatusNotifierItem", "Menu")
                             .value<QDBusObjectPath>()
                             .path();
    if (menu.isEmpty())
        return false;
    // A host asks the menu to bring itself up to date before it shows it.
    call(service, menu, "com.canonical.dbusmenu", "AboutToShow", {0});
    QDBusMessage layout = call(service, menu, "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
    if (layout.type() != QDBusMessage::ReplyMessage || layout.arguments().size() < 2)
        return false;
    const int id = entryLabelled(qvariant_cast<QDBusArgument>(layout.arguments().at(1)), label);
    if (id < 0)
        return false;
    QDBusMessage clicked = call(service, menu, "com.canonical.dbusmenu", "Event",
                                {id, QString("clicked"), QVariant::fromValue(QDBusVariant(QString())), 0u});
    return clicked.type() == QDBusMessage::ReplyMessage;
}

} // namespace lotfinch::e2e
