#include <QProcess>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include "http/HttpComponent.h"
#include "support/LoopbackServer.h"
#include "support/TestUtil.h"

using namespace lotfinch::http;
using lotfinch::test::HttpReply;
using lotfinch::test::HttpRequestRecord;
using lotfinch::test::LoopbackServer;
using lotfinch::test::waitUntil;

namespace {

// Logs every GUI-thread result event of a component as one line.
struct Recorder
{
    std::vector<std::string> events;
    std::string body;
    int64_t streamPosition = -1;

    explicit Recorder(HttpComponent &http)
    {
        http.OnDone = [this](QObject *, const std::string &, int64_t size, ByteStream *stream) {
            events.push_back("Done " + std::to_string(size));
            if (stream) {
                streamPosition = stream->Position();
                body = stream->ReadAll();
            }
        };
        http.OnHTTPError = [this](QObject *, int status, ByteStream *stream) {
            events.push_back("HTTPError " + std::to_string(status));
            body = stream ? stream->ReadAll() : "";
        };
        http.OnConnLost = [this](QObject *, const std::string &, int64_t size, int64_t read, ByteStream *) {
            events.push_back("ConnLost " + std::to_string(size) + " " + std::to_string(read));
        };
        http.OnHostUnreachable = [this](QObject *) { events.push_back("HostUnreachable"); };
        http.OnAnyError = [this](QObject *) { events.push_back("AnyError"); };
        http.OnDoneInterrupted = [this](QObject *) { events.push_back("DoneInterrupted"); };
        http.OnOutputFileError = [this](QObject *) { events.push_back("OutputFileError"); };
    }
};

// The addresses OnRedirected reported (it runs on the worker thread).
class RedirectLog
{
public:
    explicit RedirectLog(HttpComponent &http)
    {
        http.OnRedirected = [this](QObject *, const std::string &url) {
            std::lock_guard lock(mutex_);
            urls_.push_back(url);
        };
    }
    std::vector<std::string> reported()
    {
        std::lock_guard lock(mutex_);
        return urls_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> urls_;
};

using Events = std::vector<std::string>;

// The names of the events, without their figures.
Events eventNames(const Events &events)
{
    Events names;
    for (const std::string &event : events)
        names.push_back(event.substr(0, event.find(' ')));
    return names;
}

int openFileDescriptors()
{
    return static_cast<int>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator()));
}

// One plain fetch. Afterwards whatever the HTTP layer opens once for good is
// open, and so is the socket of the helper that waits for the next request.
void fetchOnce()
{
    LoopbackServer server([](auto &) { return HttpReply::text(200, "warm"); });
    HttpComponent http;
    http.setURL(server.url("/"));
    ASSERT_TRUE(http.Read(true));
}

std::string tempPath(const std::string &name)
{
    return (std::filesystem::temp_directory_path() / ("lotfinch-http-" + std::to_string(getpid()) + "-" + name))
        .string();
}

class HttpComponentTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        // No worker may outlive a test: it would touch the next one's state.
        EXPECT_TRUE(waitUntil([] { return EventThread::LiveWorkers() == 0; }));
    }
};

struct OutcomeCase
{
    const char *name;
    std::function<HttpReply(const HttpRequestRecord &)> reply;
    std::function<void(HttpComponent &, LoopbackServer &)> setup;
    Events expected;
    std::string body;
};

TEST_F(HttpComponentTest, ResultEventsFollowTheResponse)
{
    lotfinch::test::ReservedPort closed;
    const OutcomeCase cases[] = {
        {"success", [](auto &) { return HttpReply::text(200, "hello world"); }, nullptr, {"Done 11"}, "hello world"},
        {"not found",
         [](auto &) { return HttpReply::text(404, "<h1>gone</h1>"); },
         nullptr,
         {"HTTPError 404", "AnyError"},
         "<h1>gone</h1>"},
        {"cut short",
         [](auto &) {
             HttpReply r = HttpReply::text(200, std::string(1000, 'x'));
             r.cutAfter = 600;
             return r;
         },
         nullptr,
         {"ConnLost 1000 600", "AnyError"},
         ""},
        {"length beyond 32 bits",
         [](auto &) {
             HttpReply r = HttpReply::text(200, std::string(1000, 'x'));
             r.contentLength = "1000000000000";
             r.cutAfter = 1000;
             return r;
         },
         nullptr,
         {"ConnLost 1000000000000 1000", "AnyError"},
         ""},
        {"no length",
         [](auto &) {
             HttpReply r = HttpReply::text(200, std::string(70000, 'y'));
             r.omitContentLength = true;
             return r;
         },
         nullptr,
         {"Done 70000"},
         std::string(70000, 'y')},
        {"header info stops",
         [](auto &) { return HttpReply::text(200, "unread"); },
         [](HttpComponent &http, LoopbackServer &) {
             http.OnHeaderInfo = [](QObject *, int status, const std::string &raw, const std::string &type,
                                    const std::string &, const std::string &, int64_t length, const std::string &,
                                    DateTime, DateTime, DateTime, const std::string &, bool &go) {
                 EXPECT_EQ(status, 200);
                 EXPECT_EQ(type, "text/html");
                 EXPECT_EQ(length, 6);
                 EXPECT_EQ(raw.rfind("HTTP/1.1 200", 0), 0u);
                 EXPECT_TRUE(go);
                 go = false;
             };
         },
         {"DoneInterrupted"},
         ""},
        {"redirect chain",
         [](const HttpRequestRecord &request) {
             if (request.target == "/a")
                 return HttpReply::redirect(302, "/b");
             if (request.target == "/b")
                 return HttpReply::redirect(301, "/c");
             return HttpReply::text(200, "target");
         },
         [](HttpComponent &http, LoopbackServer &server) { http.setURL(server.url("/a")); },
         {"Done 6"},
         "target"},
        {"redirect not followed",
         [](auto &) { return HttpReply::redirect(302, "/elsewhere"); },
         [](HttpComponent &http, LoopbackServer &) {
             http.setInternetOptions(HttpInternetOption::KeepConnection | HttpInternetOption::NoAutoRedirect);
         },
         {"HTTPError 302", "AnyError"},
         "moved"},
        {"unreachable",
         [](auto &) { return HttpReply(); },
         [&](HttpComponent &http, LoopbackServer &) {
             http.setURL("http://127.0.0.1:" + std::to_string(closed.port()) + "/");
         },
         {"HostUnreachable", "AnyError"},
         ""},
        {"silent server",
         [](auto &) {
             HttpReply r = HttpReply::text(200, "late");
             r.stallMs = -1;
             return r;
         },
         [](HttpComponent &http, LoopbackServer &) { http.Timeouts().ReceiveTimeout = 300; },
         {"HostUnreachable", "AnyError"},
         ""},
        {"body stalls",
         [](auto &) {
             HttpReply r = HttpReply::text(200, std::string(200, 'z'));
             r.pieceSize = 100;
             r.pieceDelayMs = 60000;
             return r;
         },
         [](HttpComponent &http, LoopbackServer &) { http.Timeouts().ReceiveTimeout = 300; },
         {"ConnLost 200 0", "AnyError"},
         ""},
        {"chunked with trailers",
         [](auto &) {
             HttpReply r = HttpReply::text(200, std::string(3000, 'c'));
             r.chunked = true;
             r.pieceSize = 1000;
             r.trailers.emplace_back("X-Checksum", "none");
             return r;
         },
         nullptr,
         {"Done 3000"},
         std::string(3000, 'c')},
        {"interim responses first",
         [](auto &) {
             HttpReply r = HttpReply::text(200, "final");
             r.interim = {100, 103};
             return r;
         },
         nullptr,
         {"Done 5"},
         "final"},
    };
    for (const OutcomeCase &c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer server(c.reply);
        HttpComponent http;
        Recorder recorder(http);
        http.setURL(server.url("/page"));
        if (c.setup)
            c.setup(http, server);
        EXPECT_TRUE(http.Read(true));
        EXPECT_EQ(recorder.events, c.expected);
        if (!c.body.empty()) {
            EXPECT_EQ(recorder.body, c.body);
        }
        if (recorder.streamPosition >= 0) {
            EXPECT_EQ(recorder.streamPosition, 0);
        }
        EXPECT_FALSE(http.Busy());
    }
}

TEST_F(HttpComponentTest, RequestCarriesTheComponentSettings)
{
    struct Case
    {
        const char *name;
        std::function<void(HttpComponent &)> setup;
        std::function<void(const HttpRequestRecord &)> check;
    } cases[] = {
        {"defaults", [](HttpComponent &) {},
         [](const HttpRequestRecord &r) {
             EXPECT_EQ(r.method, "GET");
             EXPECT_EQ(r.header("User-Agent"), "Mozilla/5.0 (compatible; auHTTP/2.0; Lotfinch)");
             EXPECT_EQ(r.header("Accept"), "text/html, */*");
             EXPECT_FALSE(r.header("Range"));
         }},
        {"range from start on", [](HttpComponent &http) { http.Range().StartRange = 100; },
         [](const HttpRequestRecord &r) { EXPECT_EQ(r.header("Range"), "bytes=100-"); }},
        {"range with end",
         [](HttpComponent &http) {
             http.setRange({{}, 5, 9});
         },
         [](const HttpRequestRecord &r) { EXPECT_EQ(r.header("Range"), "bytes=5-9"); }},
        {"extra headers and referrer",
         [](HttpComponent &http) {
             http.AddHeaders().add("X-One: 1");
             http.AddHeaders().add("X-Two: two words");
             http.setReferer("http://from.example/");
         },
         [](const HttpRequestRecord &r) {
             EXPECT_EQ(r.header("X-One"), "1");
             EXPECT_EQ(r.header("X-Two"), "two words");
             EXPECT_EQ(r.header("Referer"), "http://from.example/");
         }},
        {"form data chooses POST", [](HttpComponent &http) { http.setPOSTData("a=1&b=two"); },
         [](const HttpRequestRecord &r) {
             EXPECT_EQ(r.method, "POST");
             EXPECT_EQ(r.body, "a=1&b=two");
             EXPECT_EQ(r.header("Content-Type"), "application/x-www-form-urlencoded");
         }},
        {"GET forced despite form data",
         [](HttpComponent &http) {
             http.setPOSTData("a=1");
             http.setRequestMethod(HttpRequestMethod::GET);
         },
         [](const HttpRequestRecord &r) {
             EXPECT_EQ(r.method, "GET");
             EXPECT_EQ(r.body, "");
         }},
        {"query re-encoded once", [](HttpComponent &http) { http.setURL(http.URL() + "?q=red shoes&p=100%25&s=%20x"); },
         [](const HttpRequestRecord &r) { EXPECT_EQ(r.target, "/page?q=red%20shoes&p=100%25&s=%20x"); }},
        {"escaped separators and braces stay escaped",
         [](HttpComponent &http) { http.setURL(http.URL() + "?q=a%26b%3Dc&f=%7BX%7CY%7D"); },
         [](const HttpRequestRecord &r) { EXPECT_EQ(r.target, "/page?q=a%26b%3Dc&f=%7BX%7CY%7D"); }},
        {"reload asks caches to revalidate",
         [](HttpComponent &http) { http.setCacheOptions(HttpCacheOption::AlwaysReload); },
         [](const HttpRequestRecord &r) { EXPECT_EQ(r.header("Pragma"), "no-cache"); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer server([](auto &) { return HttpReply::text(200, "ok"); });
        HttpComponent http;
        Recorder recorder(http);
        http.setURL(server.url("/page"));
        c.setup(http);
        ASSERT_TRUE(http.Read(true));
        EXPECT_EQ(recorder.events, Events{"Done 2"});
        ASSERT_EQ(server.requests().size(), 1u);
        c.check(server.requests()[0]);
    }
}

TEST_F(HttpComponentTest, MemoryBodyOverTheLimitEndsAsError)
{
    for (bool announced : {true, false}) {
        SCOPED_TRACE(announced ? "announced" : "not announced");
        LoopbackServer server([&](auto &) {
            HttpReply r = HttpReply::text(200, "");
            r.generatedLength = 20000;
            r.omitContentLength = !announced;
            return r;
        });
        HttpComponent http;
        Recorder recorder(http);
        int64_t lost = -1;
        http.OnConnLost = [&](QObject *, const std::string &, int64_t, int64_t read, ByteStream *stream) {
            recorder.events.push_back("ConnLost");
            lost = read;
            EXPECT_EQ(stream->Size(), read);
        };
        http.setURL(server.url("/"));
        http.setMaxMemoryBody(1000);
        http.setTransferBufferSize(300);
        ASSERT_TRUE(http.Read(true));
        EXPECT_EQ(recorder.events, (Events{"ConnLost", "AnyError"}));
        EXPECT_GT(lost, 0);
        EXPECT_LE(lost, 1000);
        EXPECT_TRUE(http.OverMemoryLimit());
    }
}

TEST_F(HttpComponentTest, RejectedHeaderLineSendsNothing)
{
    LoopbackServer server([](auto &) { return HttpReply::text(200, "ok"); });
    HttpComponent http;
    Recorder recorder(http);
    http.setURL(server.url("/"));
    http.AddHeaders().add("no colon here");
    EXPECT_TRUE(http.Read(true));
    EXPECT_EQ(recorder.events, (Events{"HostUnreachable", "AnyError"}));
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(HttpComponentTest, CredentialRequestsResendWithNewCredentials)
{
    struct Case
    {
        const char *name;
        bool proxy;
        bool tryAgain;
        Events expected;
    } cases[] = {
        {"server, retried", false, true, {"Done 6"}},
        {"server, given up", false, false, {"HTTPError 401", "AnyError"}},
        {"proxy, retried", true, true, {"Done 6"}},
        {"proxy, given up", true, false, {"HTTPError 407", "AnyError"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string expected = lotfinch::test::basicCredentials("ann", "s3cret");
        LoopbackServer server([&](const HttpRequestRecord &r) {
            if (c.proxy && r.header("Proxy-Authorization") != expected)
                return HttpReply::proxyChallenge("Gate");
            if (!c.proxy && r.header("Authorization") != expected)
                return HttpReply::challenge("Lotfinch Test");
            return HttpReply::text(200, "inside");
        });
        HttpComponent http;
        Recorder recorder(http);
        std::vector<std::string> asked;
        if (c.proxy) {
            http.Proxy().AccessType = HttpAccessType::UseProxy;
            http.Proxy().ProxyServer = "127.0.0.1";
            http.Proxy().ProxyPort = server.port();
            http.Proxy().ProxyBypass = "";
            http.setURL("http://members.example/area");
            http.OnProxyAuthenticationRequest = [&](QObject *, std::string &user, std::string &password, bool &again) {
                asked.push_back("proxy");
                user = "ann";
                password = "s3cret";
                again = c.tryAgain;
            };
        } else {
            http.setURL(server.url("/area"));
            http.OnPasswordRequest = [&](QObject *, const std::string &realm, bool &again) {
                asked.push_back(realm);
                http.setUsername("ann");
                http.setPassword("s3cret");
                again = c.tryAgain;
            };
        }
        ASSERT_TRUE(http.Read(true));
        EXPECT_EQ(recorder.events, c.expected);
        EXPECT_EQ(asked, std::vector<std::string>{c.proxy ? "proxy" : "Lotfinch Test"});
        if (c.tryAgain) {
            auto header = server.requests().back().header(c.proxy ? "Proxy-Authorization" : "Authorization");
            EXPECT_EQ(header, expected);
        }
    }
}

// The environment's proxy setting is read by the HTTP library's threads, so
// it is never changed while they may run: the cases run in a child process
// started with the setting in place.
TEST_F(HttpComponentTest, ProxyChoiceDecidesWhoGetsTheRequest)
{
    if (qEnvironmentVariableIsEmpty("LOTFINCH_TEST_ORIGIN")) {
        LoopbackServer proxy([](auto &) { return HttpReply::text(200, "from proxy"); });
        LoopbackServer origin([](auto &) { return HttpReply::text(200, "from origin"); });
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("http_proxy", QString::fromStdString(proxy.url("")));
        environment.remove("no_proxy");
        environment.remove("NO_PROXY");
        environment.insert("LOTFINCH_TEST_ORIGIN", QString::fromStdString(origin.url("/search?q=1")));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=HttpComponentTest.ProxyChoiceDecidesWhoGetsTheRequest"});
        ASSERT_TRUE(child.waitForFinished(120000));
        EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
        EXPECT_EQ(proxy.requestLines().size(), 2u); // the environment's and the named proxy
        return;
    }
    std::string originUrl = qEnvironmentVariable("LOTFINCH_TEST_ORIGIN").toStdString();
    std::string proxyUrl = qEnvironmentVariable("http_proxy").toStdString();
    uint16_t proxyPort = static_cast<uint16_t>(std::stoi(proxyUrl.substr(proxyUrl.rfind(':') + 1)));
    struct Case
    {
        const char *name;
        HttpAccessType access;
        std::string bypass;
        bool viaProxy;
    } cases[] = {
        {"environment proxy", HttpAccessType::Preconfig, "", true},
        {"direct ignores the environment", HttpAccessType::Direct, "", false},
        {"named proxy", HttpAccessType::UseProxy, "", true},
        {"named proxy bypassed", HttpAccessType::UseProxy, "127.0.0.1;", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        HttpComponent http;
        Recorder recorder(http);
        http.setURL(originUrl);
        http.Proxy().AccessType = c.access;
        http.Proxy().ProxyServer = "127.0.0.1";
        http.Proxy().ProxyPort = proxyPort;
        http.Proxy().ProxyBypass = c.bypass;
        ASSERT_TRUE(http.Read(true));
        EXPECT_EQ(recorder.body, c.viaProxy ? "from proxy" : "from origin");
    }
}

TEST_F(HttpComponentTest, CookiesAreSharedBetweenComponentsUnlessRefused)
{
    LoopbackServer server([](const HttpRequestRecord &r) {
        HttpReply reply = HttpReply::text(200, r.header("Cookie").value_or("none"));
        if (r.target == "/set")
            reply.headers.emplace_back("Set-Cookie", "bidder=42; Path=/");
        return reply;
    });
    for (bool refuse : {true, false}) {
        SCOPED_TRACE(refuse ? "refused" : "kept");
        HttpComponent first, second;
        Recorder recorder(second);
        HttpInternetOptions options =
            HttpInternetOption::KeepConnection | (refuse ? HttpInternetOption::NoCookies : 0u);
        first.setInternetOptions(options);
        second.setInternetOptions(options);
        first.setURL(server.url("/set"));
        second.setURL(server.url("/get"));
        ASSERT_TRUE(first.Read(true));
        ASSERT_TRUE(second.Read(true));
        EXPECT_EQ(recorder.body, refuse ? "none" : "bidder=42");
    }
}

TEST_F(HttpComponentTest, ComponentDeletedByItsOwnHandler)
{
    for (bool thenThrow : {false, true}) {
        SCOPED_TRACE(thenThrow ? "then throws" : "then returns");
        LoopbackServer server([](auto &) { return HttpReply::text(200, "bye"); });
        auto *http = new HttpComponent;
        int done = 0, errors = 0;
        http->OnDone = [&](QObject *sender, const std::string &, int64_t, ByteStream *stream) {
            ++done;
            EXPECT_EQ(stream->ReadAll(), "bye");
            bool shouldThrow = thenThrow; // this handler goes with its sender
            delete sender;
            if (shouldThrow)
                throw std::runtime_error("after deleting its sender");
        };
        http->OnAnyError = [&](QObject *) { ++errors; };
        http->setURL(server.url("/"));
        EXPECT_TRUE(http->Read(true));
        EXPECT_EQ(done, 1);
        EXPECT_EQ(errors, 0); // nothing is left to raise it
    }
}

TEST_F(HttpComponentTest, WorkerThreadEvents)
{
    LoopbackServer server([](const HttpRequestRecord &r) {
        return r.target == "/old" ? HttpReply::redirect(301, "/new?x=1") : HttpReply::text(200, "new");
    });
    HttpComponent http;
    std::mutex mutex;
    std::vector<std::string> events;
    auto onWorker = [] { return QThread::currentThread() != QCoreApplication::instance()->thread(); };
    http.OnBeforeSendRequest = [&](QObject *, lotfinch::http::HttpRequest *request) {
        std::lock_guard lock(mutex);
        events.push_back(std::string("before send") + (request && onWorker() ? " on worker" : ""));
    };
    http.OnRedirected = [&](QObject *, const std::string &url) {
        std::lock_guard lock(mutex);
        events.push_back(url + (onWorker() ? " on worker" : ""));
    };
    // Without a scheme the address is taken as http.
    http.setURL(server.url("/old").substr(7));
    ASSERT_TRUE(http.Read(true));
    std::lock_guard lock(mutex);
    EXPECT_EQ(events, (std::vector<std::string>{"before send on worker", server.url("/new?x=1") + " on worker"}));
}

TEST_F(HttpComponentTest, LocalFiles)
{
    std::string path = tempPath("local.html");
    std::ofstream(path) << "<p>local page</p>";
    struct Case
    {
        std::string url;
        Events expected;
        std::string body;
    } cases[] = {
        {"file://" + path, {"Done 17"}, "<p>local page</p>"},
        {"file://" + path + ".missing", {"HTTPError 404", "AnyError"}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.url);
        HttpComponent http;
        Recorder recorder(http);
        http.setURL(c.url);
        ASSERT_TRUE(http.Read(true));
        EXPECT_EQ(recorder.events, c.expected);
        EXPECT_EQ(recorder.body, c.body);
    }
    std::filesystem::remove(path);
}

TEST_F(HttpComponentTest, OutputFile)
{
    LoopbackServer server([](const HttpRequestRecord &r) {
        return r.target == "/missing" ? HttpReply::text(404, "no") : HttpReply::text(200, "file body");
    });
    std::string path = tempPath("out.html");
    struct Case
    {
        const char *name;
        std::string target, file;
        HttpFileAttributes complete;
        Events expected;
        bool writable;
    } cases[] = {
        {"written", "/ok", path, HttpFileAttribute::Archive, {"Done 9"}, true},
        {"marked read-only when complete",
         "/ok",
         path,
         HttpFileAttribute::Archive | HttpFileAttribute::ReadOnly,
         {"Done 9"},
         false},
        {"replaces a read-only file", "/ok", path, HttpFileAttribute::Archive, {"Done 9"}, true},
        {"error page not written",
         "/missing",
         path + ".none",
         HttpFileAttribute::Archive,
         {"HTTPError 404", "AnyError"},
         true},
        {"cannot be created",
         "/ok",
         "/nonexistent-dir/out.html",
         HttpFileAttribute::Archive,
         {"AnyError", "OutputFileError"},
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        HttpComponent http;
        Recorder recorder(http);
        bool streamWasNull = false;
        http.OnDone = [&](QObject *, const std::string &, int64_t size, ByteStream *stream) {
            recorder.events.push_back("Done " + std::to_string(size));
            streamWasNull = stream == nullptr;
        };
        http.setURL(server.url(c.target));
        http.setOutputFileName(c.file);
        http.OutputFileAttributes().Complete = c.complete;
        ASSERT_TRUE(http.Read(true));
        EXPECT_EQ(recorder.events, c.expected);
        if (c.expected[0] == "Done 9") {
            EXPECT_TRUE(streamWasNull);
            std::ifstream in(c.file);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "file body");
            struct stat info
            {};
            ASSERT_EQ(stat(c.file.c_str(), &info), 0);
            EXPECT_EQ((info.st_mode & S_IWUSR) != 0, c.writable);
        } else {
            EXPECT_FALSE(std::filesystem::exists(c.file));
        }
    }
    std::filesystem::remove(path);
}

TEST_F(HttpComponentTest, ProgressReportsEachPiece)
{
    for (bool announced : {true, false}) {
        SCOPED_TRACE(announced ? "with length" : "without length");
        LoopbackServer server([&](auto &) {
            HttpReply r = HttpReply::text(200, std::string(10000, 'p'));
            r.omitContentLength = !announced;
            return r;
        });
        HttpComponent http;
        http.setURL(server.url("/"));
        http.setTransferBufferSize(1000);
        std::vector<int> percents, expected;
        int64_t lastRead = 0;
        http.OnProgress = [&](QObject *, const std::string &, int64_t size, int64_t read, int, int, uint8_t percent,
                              float rate, ByteStream *stream) {
            EXPECT_EQ(size, announced ? 10000 : 0);
            EXPECT_GT(read, lastRead);
            EXPECT_EQ(stream->Position(), read);
            EXPECT_GE(rate, 0.0f);
            lastRead = read;
            percents.push_back(percent);
            // However the pieces fall, each value is the share read so far.
            expected.push_back(announced ? static_cast<int>(std::nearbyint(read * 100.0 / 10000)) : 0);
        };
        ASSERT_TRUE(http.Read(true));
        ASSERT_FALSE(percents.empty());
        EXPECT_EQ(lastRead, 10000);
        EXPECT_EQ(percents, expected);
        EXPECT_EQ(percents.back(), announced ? 100 : 0);
    }
}

TEST_F(HttpComponentTest, ReadWhileBusyIsRefused)
{
    LoopbackServer server([](auto &) {
        HttpReply r = HttpReply::text(200, "slow");
        r.stallMs = 300;
        return r;
    });
    HttpComponent http;
    Recorder recorder(http);
    http.setURL(server.url("/"));
    bool nested = true;
    http.OnDone = [&](QObject *, const std::string &, int64_t, ByteStream *) {
        recorder.events.push_back("Done");
        nested = http.Read(false);
    };
    ASSERT_TRUE(http.Read(false));
    EXPECT_TRUE(http.Busy());
    EXPECT_FALSE(http.Read(false));
    EXPECT_FALSE(http.Read(true));
    ASSERT_TRUE(waitUntil([&] { return !http.Busy(); }));
    EXPECT_EQ(recorder.events, Events{"Done"});
    EXPECT_FALSE(nested);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(HttpComponentTest, ForcedWaitKeepsTheEventLoopRunning)
{
    LoopbackServer server([](auto &) {
        HttpReply r = HttpReply::text(200, std::string(400, 's'));
        r.pieceSize = 100;
        r.pieceDelayMs = 100;
        return r;
    });
    HttpComponent http;
    http.setURL(server.url("/"));
    bool done = false;
    http.OnDone = [&](QObject *, const std::string &, int64_t, ByteStream *) { done = true; };
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    ASSERT_TRUE(http.Read(true));
    EXPECT_TRUE(done);
    EXPECT_GT(ticks, 0);
    EXPECT_FALSE(http.WaitThread());
}

TEST_F(HttpComponentTest, ExceptionInFinishingHandlerStillReleases)
{
    LoopbackServer server([](auto &) { return HttpReply::text(200, "ok"); });
    HttpComponent http;
    Recorder recorder(http);
    http.setURL(server.url("/"));
    http.OnDone = [&](QObject *, const std::string &, int64_t, ByteStream *) {
        recorder.events.push_back("Done");
        throw std::runtime_error("handler failed");
    };
    ASSERT_TRUE(http.Read(true));
    EXPECT_EQ(recorder.events, (Events{"Done", "AnyError"}));
    EXPECT_FALSE(http.Busy());
    EXPECT_TRUE(http.Read(true));
}

TEST_F(HttpComponentTest, AbandonedRequestRaisesNothingMore)
{
    struct Case
    {
        const char *name;
        bool destroy; // else: wait time-out that stops the worker
    } cases[] = {{"component destroyed", true}, {"wait time-out", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer server([](auto &) {
            HttpReply r = HttpReply::text(200, std::string(1000, 'w'));
            r.pieceSize = 10;
            r.pieceDelayMs = 200;
            return r;
        });
        Events events;
        auto *http = new HttpComponent;
        Recorder recorder(*http);
        http->OnProgress = [&](QObject *, const std::string &, int64_t, int64_t, int, int, uint8_t, float,
                               ByteStream *) { events.push_back("Progress"); };
        int timeouts = 0;
        http->OnWaitTimeoutExpired = [&](QObject *, bool &terminate) {
            ++timeouts;
            EXPECT_TRUE(terminate);
        };
        http->setURL(server.url("/"));
        if (c.destroy) {
            ASSERT_TRUE(http->Read(false));
            ASSERT_TRUE(waitUntil([&] { return !events.empty(); }));
            delete http;
            http = nullptr;
        } else {
            http->setWaitTimeout(50);
            EXPECT_FALSE(http->Read(true));
            EXPECT_EQ(timeouts, 1);
            EXPECT_FALSE(http->Busy());
        }
        size_t seen = events.size();
        recorder.events.clear();
        ASSERT_TRUE(waitUntil([] { return EventThread::LiveWorkers() == 0; }));
        lotfinch::test::runEventsFor(100);
        EXPECT_EQ(events.size(), seen);
        EXPECT_TRUE(recorder.events.empty());
        delete http;
    }
}

TEST_F(HttpComponentTest, WaitTimeoutHandlerMayLetTheRequestRunOn)
{
    LoopbackServer server([](auto &) {
        HttpReply r = HttpReply::text(200, "eventually");
        r.stallMs = 300;
        return r;
    });
    HttpComponent http;
    Recorder recorder(http);
    http.setURL(server.url("/"));
    http.setWaitTimeout(50);
    http.OnWaitTimeoutExpired = [](QObject *, bool &terminate) { terminate = false; };
    EXPECT_TRUE(http.Read(true));
    EXPECT_TRUE(http.Busy());
    ASSERT_TRUE(waitUntil([&] { return !http.Busy(); }));
    EXPECT_EQ(recorder.events, Events{"Done 10"});
}

TEST_F(HttpComponentTest, TricklingServersAreBounded)
{
    struct Case
    {
        const char *name;
        std::function<HttpReply()> reply;
        Events expected;
    } cases[] = {
        {"header lines dripped",
         [] {
             HttpReply r = HttpReply::text(200, "late");
             for (int i = 0; i < 400; ++i)
                 r.headers.emplace_back("X-Drip-" + std::to_string(i), "x");
             r.headerDelayMs = 50;
             return r;
         },
         {"HostUnreachable", "AnyError"}},
        {"body bytes dripped",
         [] {
             HttpReply r = HttpReply::text(200, std::string(400, 'd'));
             r.pieceSize = 1;
             r.pieceDelayMs = 50;
             return r;
         },
         {"ConnLost", "AnyError"}},
        {"fast enough but endless",
         [] {
             HttpReply r = HttpReply::text(200, std::string(800000, 'e'));
             r.chunked = true;
             r.pieceSize = 2000;
             r.pieceDelayMs = 50;
             return r;
         },
         {"ConnLost", "AnyError"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer server([&](auto &) { return c.reply(); });
        HttpComponent http;
        Recorder recorder(http);
        http.setURL(server.url("/"));
        // Bytes come often enough for the idle limit; only speed and deadline end these.
        http.Timeouts().ReceiveTimeout = 10000;
        http.Timeouts().MinimumSpeed = 1000;
        http.Timeouts().MinimumSpeedTime = 500;
        http.Timeouts().TotalTimeout = 1500;
        EXPECT_TRUE(http.Read(true));
        EXPECT_EQ(eventNames(recorder.events), c.expected);
        EXPECT_FALSE(http.Busy());
    }
}

TEST_F(HttpComponentTest, ConnectingDoesNotCountAsWaitingForTheAnswer)
{
    // The server holds back connections for longer than the receive
    // time-out, then answers at once: the connect time-out covers that wait.
    for (bool afterCredentials : {false, true}) {
        SCOPED_TRACE(afterCredentials ? "connect of the resend after a credential request" : "first connect");
        std::string expected = lotfinch::test::basicCredentials("ann", "pw");
        LoopbackServer server([&](const HttpRequestRecord &r) {
            if (afterCredentials && r.header("Authorization") != expected) {
                HttpReply challenge = HttpReply::challenge("Area");
                challenge.omitContentLength = true; // closes: the resend connects anew
                return challenge;
            }
            return HttpReply::text(200, "in");
        });
        HttpComponent http;
        Recorder recorder(http);
        http.setURL(server.url("/"));
        http.Timeouts().ReceiveTimeout = 2000;
        http.OnPasswordRequest = [&](QObject *, const std::string &, bool &again) {
            server.delayConnects(1500);
            http.setUsername("ann");
            http.setPassword("pw");
            again = true;
        };
        if (!afterCredentials)
            server.delayConnects(1500);
        EXPECT_TRUE(http.Read(true));
        EXPECT_EQ(recorder.events, Events{"Done 2"});
    }
}

TEST_F(HttpComponentTest, WorkerThreadEventsEndBeforeTheComponentGoes)
{
    for (bool redirect : {false, true}) {
        SCOPED_TRACE(redirect ? "OnRedirected" : "OnBeforeSendRequest");
        LoopbackServer server([](const HttpRequestRecord &r) {
            HttpReply reply = r.target == "/old" ? HttpReply::redirect(301, "/new") : HttpReply::text(200, "new");
            reply.stallMs = r.target == "/old" ? 0 : -1;
            return reply;
        });
        auto *http = new HttpComponent;
        std::atomic<bool> destroyed{false}, entered{false}, sawDestroyed{false};
        std::atomic<int> calls{0};
        QObject::connect(http, &QObject::destroyed, [&] { destroyed = true; });
        // Slow on purpose: the component is destroyed while it runs.
        auto handler = [&](QObject *) {
            ++calls;
            entered = true;
            QThread::msleep(300);
            sawDestroyed = destroyed.load();
        };
        if (redirect)
            http->OnRedirected = [=](QObject *sender, const std::string &) { handler(sender); };
        else
            http->OnBeforeSendRequest = [=](QObject *sender, lotfinch::http::HttpRequest *) { handler(sender); };
        http->setURL(server.url("/old"));
        ASSERT_TRUE(http->Read(false));
        ASSERT_TRUE(waitUntil([&] { return entered.load(); }));
        delete http;
        ASSERT_TRUE(waitUntil([] { return EventThread::LiveWorkers() == 0; }));
        EXPECT_FALSE(sawDestroyed);
        EXPECT_EQ(calls, 1);
    }
}

TEST_F(HttpComponentTest, ThrowingRedirectHandlerLeavesNothingOpen)
{
    fetchOnce();
    int before = openFileDescriptors();
    {
        LoopbackServer server([](const HttpRequestRecord &r) {
            return r.target == "/old" ? HttpReply::redirect(302, "/new") : HttpReply::text(200, "new");
        });
        HttpComponent http;
        Recorder recorder(http);
        http.OnRedirected = [](QObject *, const std::string &) { throw std::runtime_error("handler fails"); };
        http.setURL(server.url("/old"));
        EXPECT_TRUE(http.Read(true));
        EXPECT_EQ(recorder.events, (Events{"AnyError", "HostUnreachable", "AnyError"}));
        ASSERT_TRUE(waitUntil([] { return EventThread::LiveWorkers() == 0; }));
    }
    fetchOnce();
    EXPECT_EQ(openFileDescriptors(), before);
}

TEST_F(HttpComponentTest, AbandonedRequestIsLetGoAtOnce)
{
    std::string path = tempPath("abandoned.html");
    HttpComponent http;
    {
        LoopbackServer server([](auto &) { return HttpReply::text(200, "warm"); });
        http.setURL(server.url("/"));
        ASSERT_TRUE(http.Read(true));
    }
    int before = openFileDescriptors();
    {
        LoopbackServer server([](auto &) {
            HttpReply r = HttpReply::text(200, std::string(1000, 'a'));
            r.pieceSize = 10;
            r.pieceDelayMs = 200;
            return r;
        });
        http.setURL(server.url("/"));
        http.setOutputFileName(path);
        http.setWaitTimeout(100);
        EXPECT_FALSE(http.Read(true));
        ASSERT_TRUE(waitUntil([] { return EventThread::LiveWorkers() == 0; }));
    }
    // Neither the output file nor the connection waits for the next request.
    fetchOnce();
    EXPECT_EQ(openFileDescriptors(), before);
    std::filesystem::remove(path);
}

TEST_F(HttpComponentTest, BodyThatCannotBeHeldIsAFailure)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator does not honour an address-space limit";
#endif
    // Announced far larger than memory allows, then cut short: the head start
    // for the announced size cannot be had, and that alone is no failure.
    LoopbackServer server([](auto &) {
        HttpReply r = HttpReply::text(200, "");
        r.generatedLength = 1 << 20;
        r.contentLength = std::to_string(100 << 20);
        r.cutAfter = 1 << 20;
        return r;
    });
    HttpComponent http;
    Recorder recorder(http);
    http.setURL(server.url("/"));
    std::ifstream status("/proc/self/status");
    long sizeKb = 0;
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmSize:", 0) == 0)
            sizeKb = std::stol(line.substr(7));
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = static_cast<rlim_t>(sizeKb + 40 * 1024) * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_AS, &limited), 0);
    bool read = http.Read(true);
    setrlimit(RLIMIT_AS, &saved);
    EXPECT_TRUE(read);
    EXPECT_EQ(recorder.events,
              (Events{"ConnLost " + std::to_string(100 << 20) + " " + std::to_string(1 << 20), "AnyError"}));
}

TEST_F(HttpComponentTest, ThreadThatCannotStartIsAFailedRequest)
{
    LoopbackServer server([](auto &) { return HttpReply::text(200, "ok"); });
    HttpComponent http;
    Recorder recorder(http);
    http.setURL(server.url("/"));
    // No thread gets a stack this large.
    pthread_attr_t saved, huge;
    ASSERT_EQ(pthread_getattr_default_np(&saved), 0);
    ASSERT_EQ(pthread_getattr_default_np(&huge), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&huge, size_t{1} << 46), 0);
    ASSERT_EQ(pthread_setattr_default_np(&huge), 0);
    bool read = http.Read(true);
    pthread_setattr_default_np(&saved);
    pthread_attr_destroy(&huge);
    pthread_attr_destroy(&saved);
    EXPECT_TRUE(read);
    EXPECT_EQ(recorder.events, (Events{"HostUnreachable", "AnyError"}));
    EXPECT_FALSE(http.Busy());
    recorder.events.clear();
    EXPECT_TRUE(http.Read(true));
    EXPECT_EQ(recorder.events, Events{"Done 2"});
}

TEST_F(HttpComponentTest, AddressAndHeaderEdgeCases)
{
    LoopbackServer server([](auto &) { return HttpReply::text(200, "ok"); });
    struct Case
    {
        const char *name;
        std::function<void(HttpComponent &)> setup;
        std::string requestLine; // empty: nothing may reach the server
    } cases[] = {
        {"IPv6 literal host",
         [&](HttpComponent &http) {
             http.setURL("http://[::1]:8080/v6");
             http.Proxy().AccessType = HttpAccessType::UseProxy;
             http.Proxy().ProxyServer = "127.0.0.1";
             http.Proxy().ProxyPort = server.port();
             http.Proxy().ProxyBypass = "";
         },
         "GET http://[::1]:8080/v6 HTTP/1.1"},
        {"tab pasted into the phrase", [&](HttpComponent &http) { http.setURL(server.url("/s?q=red\tshoes")); },
         "GET /s?q=red%09shoes HTTP/1.1"},
        {"line break in the agent", [](HttpComponent &http) { http.setAgent("Agent\r\nX-Injected: 1"); }, ""},
        {"line break in the referrer", [](HttpComponent &http) { http.setReferer("http://a/\nX-Injected: 1"); }, ""},
        {"line break in the accepted types", [](HttpComponent &http) { http.setAcceptTypes("*/*\r\nX-Injected: 1"); },
         ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        size_t seen = server.requests().size();
        HttpComponent http;
        Recorder recorder(http);
        http.setURL(server.url("/"));
        c.setup(http);
        EXPECT_TRUE(http.Read(true));
        std::vector<std::string> lines = server.requestLines();
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(seen));
        if (c.requestLine.empty()) {
            EXPECT_EQ(recorder.events, (Events{"HostUnreachable", "AnyError"}));
            EXPECT_TRUE(lines.empty());
        } else {
            EXPECT_EQ(recorder.events, Events{"Done 2"});
            EXPECT_EQ(lines, std::vector<std::string>{c.requestLine});
        }
    }
}

TEST_F(HttpComponentTest, OnlyRedirectsThatWereFollowedAreReported)
{
    LoopbackServer server([](const HttpRequestRecord &r) {
        if (r.target == "/file")
            return HttpReply::redirect(302, "file:///etc/passwd");
        if (r.target.rfind("/hop", 0) == 0)
            return HttpReply::redirect(302, "/hop" + std::to_string(std::stoi(r.target.substr(4)) + 1));
        return HttpReply::text(200, "landed");
    });
    struct Case
    {
        const char *name;
        std::string target;
        size_t reported;
        std::string lastReported;
        Events expected;
    } cases[] = {
        {"to a local file", "/file", 0, "", {"HTTPError 302", "AnyError"}},
        {"one hop too many", "/hop0", 20, server.url("/hop20"), {"HTTPError 302", "AnyError"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        HttpComponent http;
        Recorder recorder(http);
        RedirectLog redirects(http);
        http.setURL(server.url(c.target));
        EXPECT_TRUE(http.Read(true));
        EXPECT_EQ(recorder.events, c.expected);
        const std::vector<std::string> reported = redirects.reported();
        EXPECT_EQ(reported.size(), c.reported);
        if (!reported.empty()) {
            EXPECT_EQ(reported.back(), c.lastReported);
        }
    }
}

TEST_F(HttpComponentTest, CertificateOptionsRelaxOnlyWhatTheyName)
{
    using Certificate = LoopbackServer::Certificate;
    struct Case
    {
        const char *name;
        Certificate certificate;
        HttpInternetOptions options;
        bool accepted;
    } cases[] = {
        {"unknown authority", Certificate::SelfSigned, 0, false},
        {"unknown authority allowed", Certificate::SelfSigned, HttpInternetOption::IgnoreUnknownCertificateAuthority,
         true},
        {"expired, unknown authority allowed", Certificate::Expired,
         HttpInternetOption::IgnoreUnknownCertificateAuthority, false},
        {"expired, both allowed", Certificate::Expired,
         HttpInternetOption::IgnoreUnknownCertificateAuthority | HttpInternetOption::IgnoreCertificateDateInvalid,
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer server([](auto &) { return HttpReply::text(200, "ok"); }, c.certificate);
        HttpComponent http;
        Recorder recorder(http);
        http.setURL(server.url("/"));
        http.setInternetOptions(HttpInternetOption::KeepConnection | c.options);
        EXPECT_TRUE(http.Read(true));
        EXPECT_EQ(recorder.events, c.accepted ? Events{"Done 2"} : (Events{"HostUnreachable", "AnyError"}));
    }
}

TEST_F(HttpComponentTest, RedirectFromHttpsToHttpOnlyWhenAllowed)
{
    LoopbackServer plain([](auto &) { return HttpReply::text(200, "plain"); });
    LoopbackServer secure([&](auto &) { return HttpReply::redirect(302, plain.url("/landing")); },
                          LoopbackServer::Certificate::SelfSigned);
    for (bool allowed : {false, true}) {
        SCOPED_TRACE(allowed ? "allowed" : "refused");
        HttpComponent http;
        Recorder recorder(http);
        RedirectLog redirects(http);
        http.setURL(secure.url("/"));
        http.setInternetOptions(HttpInternetOption::KeepConnection |
                                HttpInternetOption::IgnoreUnknownCertificateAuthority |
                                (allowed ? HttpInternetOption::IgnoreRedirectToHTTP : 0u));
        EXPECT_TRUE(http.Read(true));
        EXPECT_EQ(recorder.events, allowed ? Events{"Done 5"} : (Events{"HTTPError 302", "AnyError"}));
        EXPECT_EQ(redirects.reported(),
                  allowed ? std::vector<std::string>{plain.url("/landing")} : std::vector<std::string>{});
    }
}

TEST(HttpSettings, DefaultsAndStoredProperties)
{
    HttpComponent http;
    EXPECT_EQ(http.AcceptTypes(), "text/html, */*");
    EXPECT_FALSE(http.AcceptTypesStored());
    http.setAcceptTypes("text/plain");
    EXPECT_TRUE(http.AcceptTypesStored());
    EXPECT_EQ(http.CacheOptions(), HttpCacheOption::ReloadIfNoExpireInformation |
                                       HttpCacheOption::ReloadUpdatedObjects |
                                       HttpCacheOption::CreateTempFilesIfCantCache);
    EXPECT_EQ(http.InternetOptions(), HttpInternetOption::KeepConnection);
    EXPECT_EQ(http.TransferBufferSize(), 4096);
    http.setTransferBufferSize(10);
    EXPECT_EQ(http.TransferBufferSize(), 255);
    EXPECT_EQ(http.ThreadPriority(), WorkerPriority::Normal);
    EXPECT_EQ(http.Proxy(), HttpProxySettings{});
    EXPECT_EQ(http.Proxy().ProxyPort, 8080);
    EXPECT_EQ(http.Proxy().ProxyBypass, "127.0.0.1;");
    EXPECT_FALSE(http.Proxy().ProxyServerStored());
    http.Proxy().AccessType = HttpAccessType::UseProxy;
    EXPECT_TRUE(http.Proxy().ProxyServerStored());
    http.Proxy().Assign(nullptr);
    EXPECT_EQ(http.Proxy(), HttpProxySettings{});
    EXPECT_EQ(http.OutputFileAttributes().Incomplete, HttpFileAttribute::Archive | HttpFileAttribute::Temporary);
}

TEST(HttpSettings, CredentialRecord)
{
    struct Case
    {
        std::string user, password;
        bool stored;
    } cases[] = {
        {"", "", false},
        {"ann", "", true},
        {"", "pw", true},
        {"ann", "s3cret\xE9", true},
        {std::string(200, 'u'), std::string(54, 'p'), true},
        {std::string(200, 'u'), std::string(55, 'p'), false}, // over 254 characters: not kept
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.user.size() + c.password.size());
        HttpComponent writer;
        writer.setUsername(c.user);
        writer.setPassword(c.password);
        EXPECT_EQ(writer.LInfoStored(), c.stored);
        std::string record = writer.LInfo();
        EXPECT_EQ(record.empty(), !c.stored);
        if (!c.stored)
            continue;
        EXPECT_EQ(record.size(), c.user.size() + c.password.size() + 2);
        if (!c.user.empty()) {
            EXPECT_EQ(record.find(c.user), std::string::npos);
        }
        HttpComponent reader;
        ASSERT_TRUE(reader.setLInfo(record));
        EXPECT_EQ(reader.Username(), c.user);
        EXPECT_EQ(reader.Password(), c.password);
    }
    HttpComponent reader;
    reader.setUsername("kept");
    for (const std::string &damaged : {std::string(),
                                       std::string("\x05"
                                                   "ab"),
                                       std::string("\x02\xFF\x00", 3)})
        EXPECT_FALSE(reader.setLInfo(damaged));
    EXPECT_EQ(reader.Username(), "kept");
}

} // namespace

TEST_F(HttpComponentTest, FinalURLIsWhereTheAnswerCameFrom)
{
    LoopbackServer server([](const HttpRequestRecord &r) {
        if (r.target == "/search")
            return HttpReply::redirect(302, "/check?ru=%2Fsearch");
        if (r.target == "/away")
            return HttpReply::redirect(307, "/search");
        return HttpReply::text(r.target == "/missing" ? 404 : 200, "answer");
    });
    struct Case
    {
        const char *path;
        HttpInternetOptions options;
        const char *final;
    };
    const Case cases[] = {
        {"/page", HttpInternetOption::KeepConnection, "/page"},
        {"/search", HttpInternetOption::KeepConnection, "/check?ru=%2Fsearch"},
        {"/away", HttpInternetOption::KeepConnection, "/check?ru=%2Fsearch"},
        {"/search", HttpInternetOption::KeepConnection | HttpInternetOption::NoAutoRedirect, "/search"},
        {"/missing", HttpInternetOption::KeepConnection, "/missing"},
    };
    // No OnRedirected handler: the component keeps track all the same.
    HttpComponent http;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        http.setURL(server.url(c.path));
        http.setInternetOptions(c.options);
        EXPECT_TRUE(http.Read(true));
        EXPECT_EQ(http.FinalURL(), server.url(c.final));
    }
}
