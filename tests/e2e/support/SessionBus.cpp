#include "support/SessionBus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QImage>
#include <gtest/gtest.h>

#include "support/Desktop.h"
#include "support/TestUtil.h"

namespace lotfinch::e2e {

namespace {

QVariant property(const QString &service, const QString &path, const QString &interface, const QString &name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(service, path, "org.freedesktop.DBus.Properties", "Get");
    get << interface << name;
    QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant();
}

} // namespace

QString statusNotifierItemOf(qint64 pid)
{
    QStringList items = property("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                 "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems")
                            .toStringList();
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    for (const QString &item : items) {
        // Some watchers (GNOME's AppIndicator extension) write "name@/path".
        QString name = item.section('/', 0, 0);
        if (name.endsWith('@'))
            name.chop(1);
        if (bus && bus->servicePid(name).value() == pid)
            return name + '/' + item.section('/', 1);
    }
    return QString();
}

QString statusNotifierToolTip(const QString &item)
{
    QString name = item.section('/', 0, 0), path = '/' + item.section('/', 1);
    QVariant value = property(name, path, "org.kde.StatusNotifierItem", "ToolTip");
    if (!value.canConvert<QDBusArgument>())
        return QString();
    // (icon name, icon pixmaps a(iiay), title, text)
    const QDBusArgument tip = qvariant_cast<QDBusArgument>(value);
    QString iconName, title, text;
    tip.beginStructure();
    tip >> iconName;
    tip.beginArray();
    while (!tip.atEnd()) {
        int width = 0, height = 0;
        QByteArray pixels;
        tip.beginStructure();
        tip >> width >> height >> pixels;
        tip.endStructure();
    }
    tip.endArray();
    tip >> title >> text;
    tip.endStructure();
    return title;
}

bool activateStatusNotifierItem(const QString &item)
{
    QDBusMessage activate = QDBusMessage::createMethodCall(item.section('/', 0, 0), '/' + item.section('/', 1),
                                                           "org.kde.StatusNotifierItem", "Activate");
    activate << 0 << 0;
    return QDBusConnection::sessionBus().call(activate, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

namespace {

// The id of the entry labelled label in a DBusMenu layout (id, properties,
// children) and its submenus; -1 if none is.
int menuEntryId(const QDBusArgument &layout, const QString &label)
{
    int id = -1, found = -1;
    QVariantMap properties;
    layout.beginStructure();
    layout >> id >> properties;
    if (properties.value("label").toString().remove('_') == label)
        found = id;
    layout.beginArray();
    while (!layout.atEnd()) {
        QDBusVariant child;
        layout >> child;
        const int inChild = menuEntryId(qvariant_cast<QDBusArgument>(child.variant()), label);
        if (found < 0)
            found = inChild;
    }
    layout.endArray();
    layout.endStructure();
    return found;
}

} // namespace

bool clickStatusNotifierMenuEntry(const QString &item, const QString &label)
{
    const QString name = item.section('/', 0, 0);
    const QString menu =
        qvariant_cast<QDBusObjectPath>(property(name, '/' + item.section('/', 1), "org.kde.StatusNotifierItem", "Menu"))
            .path();
    QDBusMessage getLayout = QDBusMessage::createMethodCall(name, menu, "com.canonical.dbusmenu", "GetLayout");
    getLayout << 0 << -1 << QStringList();
    QDBusMessage layout = QDBusConnection::sessionBus().call(getLayout, QDBus::Block, 5000);
    if (layout.type() != QDBusMessage::ReplyMessage || layout.arguments().size() < 2)
        return false;
    const int id = menuEntryId(qvariant_cast<QDBusArgument>(layout.arguments().at(1)), label);
    if (id < 0)
        return false;
    QDBusMessage event = QDBusMessage::createMethodCall(name, menu, "com.canonical.dbusmenu", "Event");
    event << id << QString("clicked") << QVariant::fromValue(QDBusVariant(0)) << 0u;
    return QDBusConnection::sessionBus().call(event, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

namespace {

// The first visible window of the class that is more than a few pixels wide
// (it may still be growing to its size).
QRect windowOfClass(const QString &windowClass)
{
    QStringList ids =
        runTool("xdotool", {"search", "--onlyvisible", "--class", windowClass}).split('\n', Qt::SkipEmptyParts);
    for (const QString &id : ids) {
        QRect rect = geometry(id.toULongLong());
        if (rect.width() > 100)
            return rect;
    }
    return QRect();
}

} // namespace

QRect statusTrayArea()
{
    QRect panel = windowOfClass("^xfce4-panel$");
    panel.setWidth(panel.width() / 2);
    return panel;
}

QRect notificationPopup()
{
    return windowOfClass("^xfce4-notifyd$");
}

QRect drawnIn(QRect area, const QString &image)
{
    QImage shot(image);
    area &= shot.rect();
    if (area.isEmpty())
        return QRect();
    QRect drawn;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        // The panel's far end shows its background (with its edges in their rows).
        QRgb background = shot.pixel(area.right(), y);
        for (int x = area.left(); x <= area.right(); ++x)
            if (shot.pixel(x, y) != background)
                drawn |= QRect(x, y, 1, 1);
    }
    return drawn;
}

NotificationMonitor::NotificationMonitor()
{
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start("dbus-monitor", {"--session", "type='method_call',interface='org.freedesktop.Notifications'"});
}

NotificationMonitor::~NotificationMonitor()
{
    process_.kill();
    process_.waitForFinished();
}

bool NotificationMonitor::started()
{
    // It prints the NameAcquired signal of its own connection once it listens.
    return process_.waitForStarted() && test::waitUntil([&] { return output().contains("NameAcquired"); });
}

QString NotificationMonitor::output()
{
    output_ += QString::fromUtf8(process_.readAll());
    return output_;
}

void expectNotification(NotificationMonitor &notifications, LotfinchProgram &program, const QString &title,
                        const QString &text, const QString &icon, const QString &popupText, QRect *popup)
{
    using test::waitUntil;
    ASSERT_TRUE(waitUntil([&] { return notifications.output().contains(text); }, 60000))
        << notifications.output().toStdString() << program.output().toStdString();
    QString calls = notifications.output();
    EXPECT_TRUE(calls.contains("string \"" + title + "\"")) << calls.toStdString();
    EXPECT_TRUE(calls.contains("string \"" + icon + "\"")) << calls.toStdString();
    // It grows to its size after it comes up.
    QString shown;
    EXPECT_TRUE(waitUntil(
        [&] {
            QRect place = notificationPopup();
            shown = place.isEmpty()
                        ? QString()
                        : plainText(readText(place,
                                             screenshot(QString(title).toLower().replace(" ", "-") + "-notification")));
            if (popup)
                *popup = place;
            return shown.contains(title) && shown.contains(popupText);
        },
        30000))
        << shown.toStdString();
}

void expectFoundNotification(NotificationMonitor &notifications, LotfinchProgram &program)
{
    expectNotification(notifications, program, "FOUND", "string \"Matches for digital camera.\"", "dialog-information",
                       "Matches for digital camera.");
}

} // namespace lotfinch::e2e
