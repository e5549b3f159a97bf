#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QMap>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "desktop/SingleInstance.h"
#include "platform/InstanceChannel.h"
#include "platform/InstanceRecord.h"
#include "support/TestUtil.h"

using namespace lotfinch;
using namespace lotfinch::desktop;

namespace {

TEST(CommandLine, SplitsByTheWindowsRules)
{
    struct Case
    {
        QString line;
        QStringList args;
    } cases[] = {
        {"", {}},
        {R"(C:\prog.exe)", {R"(C:\prog.exe)"}},
        {R"("C:\Program Files\x.exe" a  b)", {R"(C:\Program Files\x.exe)", "a", "b"}},
        {"prog \t a\tb  ", {"prog", "a", "b"}},
        {R"(prog "a b" "" c)", {"prog", "a b", "", "c"}},
        {R"(prog a"b c"d)", {"prog", "ab cd"}},
        {R"(prog a\\b\ c)", {"prog", R"(a\\b\)", "c"}},
        {R"(prog a\"b)", {"prog", R"(a"b)"}},
        {R"(prog a\\"b c")", {"prog", R"(a\b c)"}},
        {R"(prog a\\\"b)", {"prog", R"(a\"b)"}},
        {R"(prog "a""b" c)", {"prog", R"(a"b)", "c"}},
        {R"(prog "unclosed arg)", {"prog", "unclosed arg"}},
        {R"("C:\a\"b c)", {R"(C:\a\)", "b", "c"}},
        {" prog", {"", "prog"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        ASSERT_EQ(CommandLineArgCount(c.line), c.args.size());
        for (int i = 0; i < c.args.size(); ++i)
            EXPECT_EQ(CommandLineArg(c.line, i), c.args[i]) << i;
        EXPECT_EQ(CommandLineArg(c.line, static_cast<int>(c.args.size())), "");
        EXPECT_EQ(CommandLineArg(c.line, -1), "");
    }
}

TEST(CommandLine, JoinedArgumentsComeBackUnchanged)
{
    const QStringList lists[] = {
        {"/usr/bin/lotfinch"},
        {"/opt/my programs/lotfinch", "plain", "two words", ""},
        {"prog", R"(say "hi")", R"(back\slash)", R"(trailing\)", R"(trailing two\\)", R"(\")", "tab\there"},
        {"prog", "Grüße", "日本語 テキスト", "emoji 🦜"},
    };
    for (const QStringList &args : lists) {
        const QString line = JoinCommandLine(args);
        SCOPED_TRACE(line.toStdString());
        ASSERT_EQ(CommandLineArgCount(line), args.size());
        for (int i = 0; i < args.size(); ++i)
            EXPECT_EQ(CommandLineArg(line, i), args[i]);
    }
    // A quote cannot stand in the program path; it is left out rather than split the line.
    EXPECT_EQ(CommandLineArgCount(JoinCommandLine({R"(/tmp/a"b/prog)", "x"})), 2);
}

TEST(CommandLine, PackedBlocksUnpackAndDamagedOnesAreRefused)
{
    const QString line = R"("/usr/bin/lotfinch" Grüße "日本語")";
    QByteArray block = PackCommandLine(line);
    const QByteArray utf8 = line.toUtf8();
    EXPECT_EQ(block.size(), 4 + utf8.size() + 1);
    EXPECT_EQ(block.mid(4), utf8 + '\0');
    EXPECT_EQ(UnpackCommandLine(block), line);
    EXPECT_EQ(UnpackCommandLine(PackCommandLine(QString("a") + QChar(0) + "b")), "a") << "the text ends at a zero";

    EXPECT_THROW(UnpackCommandLine(QByteArray("\x05\x00", 2)), std::runtime_error);
    QByteArray tooLong = block;
    tooLong[0] = static_cast<char>(tooLong[0] + 1);
    EXPECT_THROW(UnpackCommandLine(tooLong), std::runtime_error);
    QByteArray huge = block;
    huge[3] = '\x7f';
    EXPECT_THROW(UnpackCommandLine(huge), std::runtime_error);
}

// The error a guard's construction fails with, or nothing.
std::string constructionError(QObject *owner)
{
    try {
        SingleInstance guard(owner);
    } catch (const std::runtime_error &error) {
        return error.what();
    }
    return {};
}

TEST(SingleInstance, NeedsAWindowAsOwnerAndIsOnePerProgram)
{
    QObject notAWindow;
    EXPECT_EQ(constructionError(&notAWindow), "AOwner must be TForm or descendant");

    QWidget form;
    auto *guard = new SingleInstance(&form);
    EXPECT_EQ(guard->MsgTransportTimeout(), 3000u);
    EXPECT_FALSE(guard->About().isEmpty());
    guard->setMaxNewInstances(-1);
    EXPECT_EQ(guard->MaxNewInstances(), -1) << "read back from the shared record";
    QWidget other;
    EXPECT_EQ(constructionError(&other), "Only one copy of TOneInstance can be used on one application");
    delete guard;
    // Once the first one is gone another may come.
    EXPECT_EQ(constructionError(&other), "");
}

// Sets environment variables for a scope (a null value unsets one) and puts them back after it.
class ScopedEnvironment
{
public:
    void set(const char *name, const QString &value)
    {
        if (!saved_.contains(name))
            saved_.insert(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        value.isNull() ? qunsetenv(name) : qputenv(name, QFile::encodeName(value));
    }
    ~ScopedEnvironment()
    {
        for (auto it = saved_.begin(); it != saved_.end(); ++it)
            it.value() ? qputenv(it.key(), *it.value()) : qunsetenv(it.key());
    }

private:
    QMap<const char *, std::optional<QByteArray>> saved_;
};

// Where the guard keeps its files, by the state of the folders it may take.
TEST(UserRuntimeFolder, IsTheUsersOwnAndWritableByNobodyElse)
{
    QTemporaryDir root;
    const QString name = "/lotfinch-" + QString::number(::getuid());
    const QString runtime = root.filePath("runtime"), tmp = root.filePath("tmp"), home = root.filePath("home");
    const QString inTmp = tmp + name, inHome = home + "/.cache" + name;
    const QString elsewhere = root.filePath("elsewhere"), longHome = home + "/" + QString(100, 'h');
    auto make = [](const QString &folder, mode_t mode) {
        QDir().mkpath(folder);
        ::chmod(QFile::encodeName(folder).constData(), mode);
    };
    const bool runsAsRoot = ::getuid() == 0;
    struct Case
    {
        const char *what;
        QString runtime;
        std::function<void()> prepare;
        QString expected;
        bool needsRoot = false;
    } cases[] = {
        {"a private XDG_RUNTIME_DIR", runtime, [&] { make(runtime, 0700); }, runtime},
        {"an XDG_RUNTIME_DIR that others can write", runtime, [&] { make(runtime, 0777); }, inTmp},
        {"an XDG_RUNTIME_DIR that does not exist", runtime, [] {}, inTmp},
        {"none, and nothing in the temporary folder yet", QString(), [] {}, inTmp},
        {"the user's own private folder there", QString(), [&] { make(inTmp, 0700); }, inTmp},
        {"the user's own folder that the group can write", QString(), [&] { make(inTmp, 0770); }, inHome},
        {"the user's own folder that others can write", QString(), [&] { make(inTmp, 0703); }, inHome},
        {"a link to a private folder", QString(),
         [&] {
             make(elsewhere, 0700);
             QFile::link(elsewhere, inTmp);
         },
         inHome},
        {"another user's folder", QString(),
         [&] {
             make(inTmp, 0700);
             ::chown(QFile::encodeName(inTmp).constData(), 65534, 65534);
         },
         inHome, true},
        {"a link there, and a folder in ~/.cache that others can write", QString(),
         [&] {
             QFile::link(elsewhere, inTmp);
             make(inHome, 0777);
         },
         QString()},
        // The claim still keeps a second copy from running; only a hand-over
        // needs the socket, whose path would not fit.
        {"a link there, and a home folder whose path is long", QString(),
         [&] {
             QFile::link(elsewhere, inTmp);
             make(longHome, 0700);
             qputenv("HOME", QFile::encodeName(longHome));
         },
         longHome + "/.cache" + name},
    };
    ScopedEnvironment environment;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && !runsAsRoot)
            continue;
        for (const QString &folder : {runtime, tmp, home})
            QDir(folder).removeRecursively();
        make(tmp, 01777);
        make(home, 0700);
        environment.set("XDG_RUNTIME_DIR", c.runtime);
        environment.set("TMPDIR", tmp);
        environment.set("HOME", home);
        c.prepare();
        const QString folder = platform::UserRuntimeFolder();
        EXPECT_EQ(folder.toStdString(), c.expected.toStdString());
        if (!folder.isEmpty()) {
            struct stat info;
            ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, 0700u);
        }
    }
    platform::InstanceReceiver tooLong(longHome + "/.cache" + name + "/TOneInstance::1.socket");
    EXPECT_FALSE(tooLong.listen());
    EXPECT_EQ(errno, ENAMETOOLONG) << "what the first copy reports";
}

// The first copy's receiver takes a whole message even while other
// connections send junk or nothing at all.
TEST(InstanceChannel, JunkAndSilentConnectionsDoNotStopAWholeMessage)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("channel.socket");
    platform::InstanceReceiver receiver(path);
    ASSERT_TRUE(receiver.listen());
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "only its user can reach it";
    std::vector<std::pair<uint32_t, QByteArray>> received;
    receiver.OnMessage = [&](uint32_t key, const QByteArray &block) { received.emplace_back(key, block); };

    QLocalSocket junk, silent, huge;
    for (QLocalSocket *socket : {&junk, &silent, &huge})
        socket->connectToServer(path);
    junk.write(QByteArray("\x99\x04\x00\x00\x01\x00\x00\x00\x01\x00\x00\x00x", 13));
    huge.write(QByteArray("\x65\x04\x00\x00\x01\x00\x00\x00\xff\xff\xff\x7f", 12));

    bool answered = false;
    std::thread sender([&] { answered = platform::SendToInstance(path, 42, QByteArray("block\0", 6), 30000); });
    EXPECT_TRUE(test::waitUntil([&] { return !received.empty(); }, 30000));
    sender.join();
    EXPECT_TRUE(answered);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].first, 42u);
    EXPECT_EQ(received[0].second, QByteArray("block\0", 6));
    EXPECT_TRUE(test::waitUntil([&] {
        return junk.state() == QLocalSocket::UnconnectedState && huge.state() == QLocalSocket::UnconnectedState;
    })) << "junk is cut off";
}

// A receiver on a fresh socket in its own folder, keeping what it receives.
struct Receiving
{
    Receiving() : receiver(path)
    {
        receiver.OnMessage = [this](uint32_t key, const QByteArray &block) { received.emplace_back(key, block); };
    }

    QTemporaryDir folder;
    const QString path = folder.filePath("channel.socket");
    platform::InstanceReceiver receiver;
    std::vector<std::pair<uint32_t, QByteArray>> received;
};

// Connects socket to the receiver at path.
bool connectTo(int socket, const QString &path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
    return ::connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
}

// The CPU time the process has used, user and system, in milliseconds.
qint64 cpuMs()
{
    rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval &time) { return qint64(time.tv_sec) * 1000 + time.tv_usec / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Out of file descriptors the receiver cannot take a copy's connection: it
// leaves it queued without spinning on the ready socket, and takes it once
// descriptors are free again.
TEST(InstanceChannel, OutOfFileDescriptorsAConnectionWaitsWithoutSpinning)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' own checks need free descriptors (they probe memory through a pipe)";
#endif
    Receiving receiving;
    ASSERT_TRUE(receiving.receiver.listen());
    const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(client, 0);
    // The lowest free descriptor becomes the limit, so the next one fails with EMFILE.
    const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(lowestFree);
    rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limited), 0);

    const QByteArray message = platform::EncodeInstanceMessage(7, "block");
    const bool sent = connectTo(client, receiving.path) &&
                      ::send(client, message.constData(), message.size(), MSG_NOSIGNAL) == message.size();
    const qint64 before = cpuMs();
    test::runEventsFor(1000);
    const qint64 used = cpuMs() - before;
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_TRUE(sent);
    EXPECT_LT(used, 250) << "CPU milliseconds used in a second of waiting";

    EXPECT_TRUE(test::waitUntil([&] { return !receiving.received.empty(); }));
    char answer = 0;
    EXPECT_EQ(::recv(client, &answer, 1, 0), 1);
    ::close(client);
    ASSERT_EQ(receiving.received.size(), 1u);
    EXPECT_EQ(receiving.received[0].second, "block");
}

// Connections that never finish their message are held only so many at a
// time, and so is their memory: the others wait in the socket's queue, where
// a connection cannot send more than the socket's buffer takes. Once the held
// ones go, a whole message comes through.
TEST(InstanceChannel, AFloodOfUnfinishedMessagesHoldsABoundedNumberOfConnections)
{
    Receiving receiving;
    ASSERT_TRUE(receiving.receiver.listen());
    constexpr int held = platform::InstanceReceiver::MaxHeldConnections;
    const QByteArray unfinished = platform::EncodeInstanceMessage(7, QByteArray(1 << 20, 'x')).chopped(1);
    struct Client
    {
        int socket;
        qsizetype sent = 0;
    };
    std::vector<Client> clients;
    for (int i = 0; i < held + 4; ++i) {
        clients.push_back({::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)});
        ASSERT_TRUE(connectTo(clients.back().socket, receiving.path));
    }
    auto sendMore = [&] {
        for (Client &client : clients) {
            ssize_t n;
            while (client.sent < unfinished.size() &&
                   (n = ::send(client.socket, unfinished.constData() + client.sent,
                               static_cast<size_t>(unfinished.size() - client.sent), MSG_NOSIGNAL)) > 0)
                client.sent += n;
        }
        return std::count_if(clients.begin(), clients.end(),
                             [&](const Client &client) { return client.sent == unfinished.size(); });
    };
    ASSERT_TRUE(test::waitUntil([&] { return sendMore() >= held; }));
    for (QDeadlineTimer deadline(500); !deadline.hasExpired(); sendMore())
        test::runEventsOnce(10);
    EXPECT_EQ(sendMore(), held) << "connections whose unfinished messages were taken";

    for (Client &client : clients)
        ::close(client.socket);
    bool answered = false;
    std::thread sender([&] { answered = platform::SendToInstance(receiving.path, 42, "block", 30000); });
    EXPECT_TRUE(test::waitUntil([&] { return !receiving.received.empty(); }, 30000));
    sender.join();
    EXPECT_TRUE(answered);
}

// The handler may open a modal window, in which the program may end and
// take the receiver with it; messages still waiting then go unread.
TEST(InstanceChannel, AHandlerMayEndTheReceiver)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("channel.socket");
    auto *receiver = new platform::InstanceReceiver(path);
    ASSERT_TRUE(receiver->listen());
    int calls = 0;
    receiver->OnMessage = [&](uint32_t, const QByteArray &) {
        ++calls;
        delete receiver;
    };
    // Both messages are in before the receiver takes the first connection.
    const QByteArray message = platform::EncodeInstanceMessage(7, "block");
    int clients[2];
    for (int &client : clients) {
        client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_TRUE(connectTo(client, path));
        ASSERT_EQ(::send(client, message.constData(), message.size(), MSG_NOSIGNAL), message.size());
    }
    EXPECT_TRUE(test::waitUntil([&] { return calls > 0; }));
    test::runEventsFor(300);
    EXPECT_EQ(calls, 1);
    for (int client : clients)
        ::close(client);
}

} // namespace
