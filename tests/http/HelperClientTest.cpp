#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

#include "support/HelperProcesses.h"
#include "support/LoopbackServer.h"
#include "support/TestUtil.h"

using lotfinch::test::HttpReply;
using lotfinch::test::LoopbackServer;
using lotfinch::test::waitUntil;

namespace {

TEST(HttpHelper, EndsAtOnceWhenTheProgramIsKilledMidFetch)
{
    LoopbackServer server([](auto &) {
        HttpReply reply = HttpReply::text(200, "never sent");
        reply.stallMs = -1;
        return reply;
    });
    QProcess program;
    program.start(FETCH_DRIVER, {QString::fromStdString(server.url("/stalled"))});
    ASSERT_TRUE(program.waitForStarted());
    const auto pid = static_cast<pid_t>(program.processId());
    ASSERT_TRUE(waitUntil([&] { return !server.requests().empty(); })) << program.readAll().toStdString();
    const std::vector<pid_t> helpers = lotfinch::test::httpHelpersOf(pid);
    ASSERT_EQ(helpers.size(), 1u);

    ::kill(pid, SIGKILL);
    program.waitForFinished();
    // The request's own time limits would keep it a minute on the stalled server.
    EXPECT_TRUE(waitUntil([&] { return lotfinch::test::processEnded(helpers[0]); }, 10000));
}

// A copy of the fetching program in a folder of the test's making; a hard
// link where one can be made.
QString placeDriver(const QString &folder)
{
    QDir().mkpath(folder);
    const QString driver = folder + "/FetchDriver";
    if (::link(FETCH_DRIVER, QFile::encodeName(driver).constData()) != 0)
        QFile::copy(FETCH_DRIVER, driver);
    return driver;
}

QString placeHelper(const QString &folder, const QByteArray &content, QFile::Permissions permissions)
{
    const QString driver = placeDriver(folder);
    QFile helper(folder + "/lotfinch-http");
    if (helper.open(QIODevice::WriteOnly))
        helper.write(content);
    helper.close();
    helper.setPermissions(permissions);
    return driver;
}

// The build's programs installed with the rules `cmake --install` follows,
// the fetching program beside the installed one.
QString installed(const QDir &root)
{
    QProcess install;
    install.start(CMAKE_COMMAND,
                  {"--install", BUILD_DIR, "--prefix", root.filePath("installed"), "--component", "programs"});
    if (!install.waitForFinished(60000) || install.exitCode() != 0)
        return "cmake --install failed: " + install.readAllStandardError();
    QDirIterator program(root.filePath("installed"), {"lotfinch"}, QDir::Files, QDirIterator::Subdirectories);
    return program.hasNext() ? placeDriver(QFileInfo(program.next()).path()) : "no program installed";
}

TEST(HttpHelper, IsFoundInEveryLayoutAndOneThatCannotStartFailsEachFetchAtOnceSayingSo)
{
    LoopbackServer server([](auto &) { return HttpReply::text(200, "found"); });
    QTemporaryDir root(QFileInfo(FETCH_DRIVER).dir().filePath("../helper-layouts-XXXXXX"));
    const QDir folder(root.path());
    QFile realHelper(QFileInfo(FETCH_DRIVER).dir().filePath("lotfinch-http"));
    ASSERT_TRUE(realHelper.open(QIODevice::ReadOnly));
    const QByteArray helperFile = realHelper.readAll();
    const QFile::Permissions runnable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    const char *const missing = "the HTTP helper could not be started";
    struct Layout
    {
        const char *name;
        std::function<QString()> place;
        const char *said;
    } layouts[] = {
        {"the build folder", [] { return QString(FETCH_DRIVER); }, "fetched 5 bytes"},
        {"installed", [&] { return installed(folder); }, "fetched 5 bytes"},
        {"no helper", [&] { return placeDriver(folder.filePath("alone")); }, missing},
        {"a helper that may not run",
         [&] { return placeHelper(folder.filePath("not-runnable"), helperFile, QFile::ReadOwner); }, missing},
        {"a helper that ends at once",
         [&] { return placeHelper(folder.filePath("ends"), "#!/bin/sh\nexit 1\n", runnable); }, missing},
    };
    for (const Layout &layout : layouts) {
        SCOPED_TRACE(layout.name);
        const QString driver = layout.place();
        QProcess program;
        program.start(driver, {QString::fromStdString(server.url("/"))});
        ASSERT_TRUE(program.waitForFinished(20000)) << driver.toStdString();
        EXPECT_EQ(program.readAllStandardOutput().trimmed().toStdString(), layout.said) << driver.toStdString();
    }
}

} // namespace
