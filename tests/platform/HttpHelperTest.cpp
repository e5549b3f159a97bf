#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>

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

} // namespace
