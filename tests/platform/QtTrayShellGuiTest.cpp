#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <algorithm>
#include <memory>
#include <vector>

#include "platform/QtTrayShell.h"
#include "support/TestUtil.h"

using namespace lotfinch::platform;
using lotfinch::test::waitUntil;

namespace {

NotifyIconData iconData(TrayReceiver *receiver)
{
    NotifyIconData data;
    data.hWnd = receiver;
    data.uID = 1;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    setField(data.szTip, "Lotfinch");
    return data;
}

NotifyIconData balloon(NotifyIconData data, std::string_view title, std::string_view text, quint32 kind)
{
    data.uFlags |= NIF_INFO;
    setField(data.szInfoTitle, title);
    setField(data.szInfo, text);
    data.dwInfoFlags = kind;
    data.uTimeout = 15000;
    return data;
}

// A desktop notification service of its own on a private session bus: it
// records what it is asked and can answer late, so every path can be driven.
class FakeNotifications : public QDBusVirtualObject
{
public:
    struct Notice
    {
        QString app, icon, title, body;
        quint32 replaces = 0;
        QStringList actions;
        qint32 timeout = 0;
    };

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QList<QVariant> args = message.arguments();
        if (message.member() == "GetCapabilities") {
            connection.send(message.createReply(QVariant(capabilities)));
        } else if (message.member() == "Notify" && args.size() == 8) {
            notices.push_back({args[0].toString(), args[2].toString(), args[3].toString(), args[4].toString(),
                               args[1].toUInt(), args[5].toStringList(), args[7].toInt()});
            quint32 id = args[1].toUInt() != 0 ? args[1].toUInt() : ++lastId;
            QDBusMessage reply = message.createReply(QVariant::fromValue(id));
            if (holdReplies) {
                message.setDelayedReply(true);
                held.push_back(reply);
            } else {
                connection.send(reply);
            }
        } else if (message.member() == "CloseNotification" && args.size() == 1) {
            closed.push_back(args[0].toUInt());
            connection.send(message.createReply());
        } else {
            return false;
        }
        return true;
    }

    void emitSignal(const char *name, const QList<QVariant> &arguments)
    {
        QDBusMessage signal =
            QDBusMessage::createSignal("/org/freedesktop/Notifications", "org.freedesktop.Notifications", name);
        signal.setArguments(arguments);
        bus->send(signal);
    }

    QStringList capabilities{"body", "body-markup", "actions"};
    bool holdReplies = false;
    std::vector<QDBusMessage> held;
    std::vector<Notice> notices;
    std::vector<quint32> closed;
    quint32 lastId = 0;
    QDBusConnection *bus = nullptr;
};

// The shell on a desktop without a notification area but with a
// notification service, reached over a bus of the test's own.
class TraylessShell : public testing::Test
{
protected:
    void SetUp() override
    {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(daemon.waitForStarted()) << "dbus-daemon is missing; tools/setup --tests installs it";
        ASSERT_TRUE(waitUntil([&] { return daemon.canReadLine(); }));
        QString address = QString::fromUtf8(daemon.readLine()).trimmed();
        serviceBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "service"));
        clientBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "client"));
        ASSERT_TRUE(serviceBus->isConnected() && clientBus->isConnected());
        service.bus = serviceBus.get();
        ASSERT_TRUE(serviceBus->registerVirtualObject("/org/freedesktop/Notifications", &service));
        ASSERT_TRUE(serviceBus->registerService("org.freedesktop.Notifications"));
        shell = std::make_unique<QtTrayShell>(nullptr, *clientBus);
        receiver = new TrayReceiver([this](quint32, quint32, quint32 event) { events.push_back(event); });
    }

    void TearDown() override
    {
        shell.reset();
        if (receiver)
            receiver->dispose();
        serviceBus.reset();
        clientBus.reset();
        QDBusConnection::disconnectFromBus("service");
        QDBusConnection::disconnectFromBus("client");
        daemon.kill();
        daemon.waitForFinished();
    }

    // Shows a balloon and waits until the service has put it up.
    quint32 showBalloon(std::string_view text)
    {
        size_t before = events.size();
        EXPECT_TRUE(shell->notifyIcon(NIM_MODIFY, balloon(iconData(receiver), "FOUND", text, NIIF_INFO)));
        EXPECT_TRUE(waitUntil([&] { return events.size() == before + 1; }));
        EXPECT_EQ(events.back(), NIN_BALLOONSHOW);
        return service.lastId;
    }

    QProcess daemon;
    std::unique_ptr<QDBusConnection> serviceBus, clientBus;
    FakeNotifications service;
    std::unique_ptr<QtTrayShell> shell;
    TrayReceiver *receiver = nullptr;
    std::vector<quint32> events;
};

} // namespace

// The offscreen platform has no notification area, like a desktop without a
// tray host; without a session bus either, every request fails and nothing
// else happens.
TEST(QtTrayShell, WithoutANotificationAreaOrSessionBusEveryRequestFails)
{
    QtTrayShell shell(nullptr, QDBusConnection("no such bus"));
    TrayReceiver *receiver = new TrayReceiver([](quint32, quint32, quint32) {});
    NotifyIconData data = iconData(receiver);
    EXPECT_FALSE(shell.available());
    for (TrayRequest request : {NIM_ADD, NIM_MODIFY, NIM_SETVERSION, NIM_DELETE})
        EXPECT_FALSE(shell.notifyIcon(request, data)) << request;
    EXPECT_FALSE(shell.notifyIcon(NIM_ADD, data));
    EXPECT_FALSE(shell.notifyIcon(NIM_MODIFY, balloon(data, "FOUND", "Matches for lamp.", NIIF_INFO)));
    EXPECT_GT(shell.doubleClickTime(), 0);
    receiver->dispose();
}

TEST_F(TraylessShell, BalloonsBecomeDesktopNotificationsWithTheirTitleTextAndIcon)
{
    NotifyIconData data = iconData(receiver);
    // There is nowhere to show the icon itself.
    EXPECT_FALSE(shell->notifyIcon(NIM_ADD, data));
    EXPECT_FALSE(shell->notifyIcon(NIM_MODIFY, data));
    EXPECT_FALSE(shell->notifyIcon(NIM_SETVERSION, data));

    struct Case
    {
        const char *text;
        quint32 kind;
        QStringList capabilities;
        QString body, icon;
    };
    const Case cases[] = {
        {"Matches for caf\u00e9 \u6771\u4eac lamp.",
         NIIF_INFO,
         {"body-markup"},
         "Matches for caf\u00e9 \u6771\u4eac lamp.",
         "dialog-information"},
        // A service that reads markup gets what the user typed escaped, one
        // that does not gets it as it is.
        {"Matches for <b>R&D</b>.",
         NIIF_WARNING,
         {"body-markup"},
         "Matches for &lt;b&gt;R&amp;D&lt;/b&gt;.",
         "dialog-warning"},
        {"Matches for <b>R&D</b>.", NIIF_ERROR, {"body"}, "Matches for <b>R&D</b>.", "dialog-error"},
        {"Matches for lamp.", NIIF_NONE, {}, "Matches for lamp.", ""},
    };
    for (const Case &c : cases) {
        service.capabilities = c.capabilities;
        size_t before = service.notices.size();
        EXPECT_TRUE(shell->notifyIcon(NIM_MODIFY, balloon(data, "FOUND", c.text, c.kind)));
        ASSERT_TRUE(waitUntil([&] { return service.notices.size() == before + 1; })) << c.text;
        const FakeNotifications::Notice &notice = service.notices.back();
        EXPECT_EQ(notice.title, "FOUND");
        EXPECT_EQ(notice.body, c.body);
        EXPECT_EQ(notice.icon, c.icon);
        EXPECT_EQ(notice.timeout, 15000);
        // A balloon has no buttons.
        EXPECT_TRUE(notice.actions.isEmpty());
    }
}

TEST_F(TraylessShell, TheServiceReportsTimeoutsAndTakingBack)
{
    ASSERT_FALSE(shell->notifyIcon(NIM_ADD, iconData(receiver)));

    // Timed out or dismissed by the user is the balloon's time-out; signals
    // about other notifications are not ours.
    for (quint32 reason : {1u, 2u}) {
        quint32 id = showBalloon("Matches for lamp.");
        service.emitSignal("NotificationClosed", {QVariant::fromValue(id + 100), QVariant::fromValue(reason)});
        service.emitSignal("NotificationClosed", {QVariant::fromValue(id), QVariant::fromValue(reason)});
        ASSERT_TRUE(waitUntil([&] { return events.back() == NIN_BALLOONTIMEOUT; })) << reason;
    }
    EXPECT_EQ(events.size(), 4u);

    // Taking the balloon back closes the notification.
    quint32 id = showBalloon("Matches for lamp.");
    EXPECT_FALSE(shell->notifyIcon(NIM_MODIFY, balloon(iconData(receiver), "", "", NIIF_NONE)));
    EXPECT_TRUE(waitUntil([&] { return service.closed == std::vector<quint32>{id}; }));
    EXPECT_EQ(events.back(), NIN_BALLOONHIDE);
    EXPECT_EQ(events.size(), 6u);

    // One taken back while the service has not yet answered is closed once
    // it has, and never reported as shown.
    service.holdReplies = true;
    EXPECT_TRUE(shell->notifyIcon(NIM_MODIFY, balloon(iconData(receiver), "FOUND", "Late.", NIIF_INFO)));
    ASSERT_TRUE(waitUntil([&] { return service.held.size() == 1; }));
    shell->notifyIcon(NIM_MODIFY, balloon(iconData(receiver), "", "", NIIF_NONE));
    serviceBus->send(service.held.front());
    EXPECT_TRUE(waitUntil([&] { return service.closed.size() == 2 && service.closed.back() == service.lastId; }));
    EXPECT_EQ(events.size(), 6u);

    // An icon that is removed takes its notification with it.
    service.holdReplies = false;
    id = showBalloon("Matches for lamp.");
    EXPECT_FALSE(shell->notifyIcon(NIM_DELETE, iconData(receiver)));
    EXPECT_TRUE(waitUntil([&] { return service.closed.size() == 3 && service.closed.back() == id; }));
}

TEST_F(TraylessShell, NothingIsShownWhenNoServiceRuns)
{
    ASSERT_TRUE(serviceBus->unregisterService("org.freedesktop.Notifications"));
    ASSERT_FALSE(shell->notifyIcon(NIM_ADD, iconData(receiver)));
    shell->notifyIcon(NIM_MODIFY, balloon(iconData(receiver), "FOUND", "Matches for lamp.", NIIF_INFO));
    lotfinch::test::runEventsFor(300);
    EXPECT_TRUE(service.notices.empty());
    EXPECT_TRUE(events.empty());
}

TEST_F(TraylessShell, AClickOnTheNotificationIsTheBalloonsClickWhereTheServiceTakesActions)
{
    ASSERT_FALSE(shell->notifyIcon(NIM_ADD, iconData(receiver)));
    quint32 id = showBalloon("Matches for lamp.");
    ASSERT_FALSE(service.notices.empty());
    EXPECT_EQ(service.notices.back().actions, QStringList({"default", "Open"}));

    // Other notifications' clicks and other actions are not a click on ours.
    service.emitSignal("ActionInvoked", {QVariant::fromValue(id + 100), QString("default")});
    service.emitSignal("ActionInvoked", {QVariant::fromValue(id), QString("other")});
    service.emitSignal("ActionInvoked", {QVariant::fromValue(id), QString("default")});
    ASSERT_TRUE(waitUntil([&] { return events.back() == NIN_BALLOONUSERCLICK; }));
    // The service closes a clicked notification: that is no second ending.
    service.emitSignal("NotificationClosed", {QVariant::fromValue(id), QVariant::fromValue(2u)});
    lotfinch::test::runEventsFor(200);
    EXPECT_EQ(events, (std::vector<quint32>{NIN_BALLOONSHOW, NIN_BALLOONUSERCLICK}));
}

TEST_F(TraylessShell, ABalloonsActionIsOfferedWhereTheServiceTakesActionsAndChoosingItIsReported)
{
    ASSERT_FALSE(shell->notifyIcon(NIM_ADD, iconData(receiver)));
    NotifyIconData warning = balloon(iconData(receiver), "CHECK FAILED", "ebay.com answered 403", NIIF_WARNING);
    setField(warning.szInfoAction, "Open in browser");
    struct Case
    {
        QStringList capabilities;
        QStringList actions;
    };
    const Case cases[] = {
        {{"body", "actions"}, {"default", "Open", "lotfinch-action", "Open in browser"}},
        {{"body"}, {}},
    };
    for (const Case &c : cases) {
        service.capabilities = c.capabilities;
        size_t before = service.notices.size();
        EXPECT_TRUE(shell->notifyIcon(NIM_MODIFY, warning));
        ASSERT_TRUE(waitUntil([&] { return service.notices.size() == before + 1; }));
        EXPECT_EQ(service.notices.back().actions, c.actions);
    }
    ASSERT_TRUE(waitUntil([&] { return !events.empty() && events.back() == NIN_BALLOONSHOW; }));
    const quint32 id = service.lastId;
    service.emitSignal("ActionInvoked", {QVariant::fromValue(id + 100), QString("lotfinch-action")});
    service.emitSignal("ActionInvoked", {QVariant::fromValue(id), QString("lotfinch-action")});
    ASSERT_TRUE(waitUntil([&] { return events.back() == NIN_BALLOONACTION; }));
    service.emitSignal("NotificationClosed", {QVariant::fromValue(id), QVariant::fromValue(2u)});
    lotfinch::test::runEventsFor(200);
    EXPECT_EQ(std::count(events.begin(), events.end(), NIN_BALLOONACTION), 1);
    EXPECT_EQ(events.back(), NIN_BALLOONACTION) << "the service closing it is no second ending";
}
