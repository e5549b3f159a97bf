#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

#include "http/HttpClient.h"
#include "support/HelperProcesses.h"
#include "support/LoopbackServer.h"
#include "support/TestUtil.h"

using namespace lotfinch::http;
using lotfinch::test::HttpReply;
using lotfinch::test::HttpRequestRecord;
using lotfinch::test::LoopbackServer;

namespace {

std::unique_ptr<HttpRequest> openRequest(const LoopbackServer &server, const std::string &target,
                                         std::shared_ptr<HttpCancel> cancel = nullptr, bool offline = false)
{
    HttpSessionOptions options;
    options.agent = "test agent";
    options.access = HttpProxyAccess::Direct;
    options.cancel = std::move(cancel);
    options.offline = offline;
    auto connection = openHttpSession(options)->connect("http", "127.0.0.1", server.port(), "", "");
    return connection->openRequest("GET", target, "", "*/*", httpKeepConnection);
}

TEST(CurlHttp, BodyIsReadPieceByPiece)
{
    LoopbackServer server([](auto &) {
        HttpReply r = HttpReply::text(200, "abcdefghijklmnopqrstuvwxyz", "text/plain");
        r.headers.emplace_back("X-Multi", "first");
        r.headers.emplace_back("X-Multi", "second");
        return r;
    });
    auto request = openRequest(server, "/letters");
    ASSERT_TRUE(request->send("", ""));
    EXPECT_EQ(request->status(), 200);
    EXPECT_EQ(request->header("content-type"), "text/plain");
    EXPECT_EQ(request->header("X-MULTI"), "first");
    EXPECT_FALSE(request->header("X-Absent"));
    EXPECT_EQ(request->rawHeaders().rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_EQ(request->rawHeaders().substr(request->rawHeaders().size() - 4), "\r\n\r\n");
    std::string body;
    char buffer[7];
    for (int64_t n; (n = request->read(buffer, sizeof buffer)) > 0;) {
        EXPECT_LE(n, 7);
        body.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(body, "abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(request->read(buffer, sizeof buffer), 0);
    EXPECT_EQ(server.requests()[0].header("User-Agent"), "test agent");
}

TEST(CurlHttp, SendReturnsWithTheHeadersAndCancelStopsTheRead)
{
    // The body never comes: send must not wait for it, and a cancel from
    // another thread must end the wait for it.
    LoopbackServer server([](auto &) {
        HttpReply r = HttpReply::text(200, "never sent");
        r.pieceDelayMs = -1;
        return r;
    });
    auto cancel = std::make_shared<HttpCancel>();
    auto request = openRequest(server, "/", cancel);
    ASSERT_TRUE(request->send("", ""));
    EXPECT_EQ(request->status(), 200);
    EXPECT_EQ(request->header("Content-Length"), "10");
    std::thread canceller([cancel] { cancel->cancel(); });
    char buffer[16];
    EXPECT_EQ(request->read(buffer, sizeof buffer), -1);
    canceller.join();
    EXPECT_FALSE(request->send("", ""));
}

std::vector<pid_t> helpers()
{
    return lotfinch::test::httpHelpersOf(getpid());
}

TEST(CurlHttp, AHelperThatDiesCostsOnlyItsOwnRequest)
{
    LoopbackServer server([](const HttpRequestRecord &r) {
        HttpReply reply = HttpReply::text(200, "a body that never comes");
        reply.pieceDelayMs = r.target == "/stall" ? -1 : 0;
        return reply;
    });
    // Killed while it waits for the next request: that request gets another.
    ASSERT_TRUE(openRequest(server, "/")->send("", ""));
    ASSERT_FALSE(helpers().empty());
    for (pid_t helper : helpers())
        kill(helper, SIGKILL);
    auto request = openRequest(server, "/stall");
    ASSERT_TRUE(request);
    ASSERT_TRUE(request->send("", ""));
    EXPECT_EQ(request->status(), 200);
    // Killed in the middle of a body: the request fails, and only it.
    for (pid_t helper : helpers())
        kill(helper, SIGKILL);
    char buffer[16];
    EXPECT_EQ(request->read(buffer, sizeof buffer), -1);
    EXPECT_FALSE(request->send("", ""));
    request.reset();
    EXPECT_TRUE(helpers().empty());
    auto next = openRequest(server, "/");
    ASSERT_TRUE(next->send("", ""));
    EXPECT_EQ(next->read(buffer, sizeof buffer), 16);
}

TEST(CurlHttp, CancelReachesARequestWhoseHelperHangsWhileItOpens)
{
    LoopbackServer server([](auto &) { return HttpReply::text(200, "ok"); });
    // Leaves its helper waiting for the next request; that one stops.
    ASSERT_TRUE(openRequest(server, "/")->send("", ""));
    const std::vector<pid_t> waiting = helpers();
    ASSERT_FALSE(waiting.empty());
    for (pid_t helper : waiting)
        kill(helper, SIGSTOP);
    auto cancel = std::make_shared<HttpCancel>();
    std::atomic<bool> returned = false;
    std::unique_ptr<HttpRequest> request;
    std::thread opener([&] {
        request = openRequest(server, "/", cancel);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // into the wait for the helper's answer
    cancel->cancel();
    const bool ended = lotfinch::test::waitUntil([&] { return returned.load(); }, 5000);
    for (pid_t helper : waiting)
        kill(helper, ended ? SIGCONT : SIGKILL); // a request still waiting then goes on
    opener.join();
    EXPECT_TRUE(ended) << "still waiting for the stopped helper after the cancel";
    EXPECT_FALSE(request);
}

TEST(CurlHttp, TheEnvironmentsProxyIsTheOneSetWhenTheRequestOpens)
{
    LoopbackServer first([](auto &) { return HttpReply::text(200, "first"); });
    LoopbackServer second([](auto &) { return HttpReply::text(200, "second"); });
    HttpSessionOptions options;
    options.access = HttpProxyAccess::Preconfigured;
    const char *before = std::getenv("http_proxy");
    const std::optional<std::string> saved = before ? std::optional<std::string>(before) : std::nullopt;
    for (LoopbackServer *proxy : {&first, &second}) {
        setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy->port())).c_str(), 1);
        auto request = openHttpSession(options)
                           ->connect("http", "auctions.invalid", 80, "", "")
                           ->openRequest("GET", "/", "", "", httpKeepConnection);
        ASSERT_TRUE(request->send("", ""));
    }
    saved ? setenv("http_proxy", saved->c_str(), 1) : unsetenv("http_proxy");
    ASSERT_EQ(first.requests().size(), 1u);
    ASSERT_EQ(second.requests().size(), 1u);
    EXPECT_EQ(second.requests()[0].target, "http://auctions.invalid/");
}

TEST(CurlHttp, RequestsThatNeverGoOut)
{
    LoopbackServer server([](auto &) { return HttpReply::text(200, "ok"); });
    struct Case
    {
        const char *name;
        std::string headers;
        bool offline;
    } cases[] = {
        {"offline session", "", true},
        {"line without a name", "no colon\r\n", false},
        {"name with a blank", "Bad Name: x\r\n", false},
        {"empty name", ": x\r\n", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto request = openRequest(server, "/", nullptr, c.offline);
        bool added = request->addHeaders(c.headers);
        EXPECT_EQ(added, c.headers.empty());
        if (added) {
            EXPECT_FALSE(request->send("", ""));
            EXPECT_FALSE(request->status());
        }
    }
    EXPECT_TRUE(server.requests().empty());
}

} // namespace
