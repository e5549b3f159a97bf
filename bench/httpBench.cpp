// Fetching over loopback: the HTTP component against a plain libcurl easy
// transfer of the same body, and the peak memory of one large body.
#include <QCoreApplication>
#include <chrono>
#include <curl/curl.h>
#include <fstream>
#include <string>

#include "BenchRatio.h"
#include "http/HttpComponent.h"
#include "support/LoopbackServer.h"

using namespace lotfinch;

namespace {

constexpr uint64_t SmallBody = 4u << 20, LargeBody = 100u << 20;
constexpr int Rounds = 50;

double millisecondsOf(const std::function<void()> &run)
{
    auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

size_t appendBody(char *data, size_t size, size_t count, void *body)
{
    static_cast<std::string *>(body)->append(data, size * count);
    return size * count;
}

std::string plainCurlGet(const std::string &url)
{
    std::string body;
    CURL *curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return body;
}

// Kilobytes of a /proc/self/status line ("VmHWM", "VmRSS").
long statusKb(const std::string &key)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key + ":", 0) == 0)
            return std::stol(line.substr(key.size() + 1));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    test::LoopbackServer server([](const test::HttpRequestRecord &request) {
        test::HttpReply reply;
        reply.headers.emplace_back("Content-Type", "text/html");
        reply.generatedLength = request.target == "/large" ? LargeBody : SmallBody;
        return reply;
    });

    http::HttpComponent component;
    component.Proxy().AccessType = http::HttpAccessType::Direct;
    int64_t delivered = 0;
    component.OnDone = [&](QObject *, const std::string &, int64_t size, http::ByteStream *) { delivered = size; };

    // Peak memory first, while the process is small: reset the high-water mark, then fetch.
    std::ofstream("/proc/self/clear_refs") << "5";
    long before = statusKb("VmRSS");
    component.setURL(server.url("/large"));
    component.Read(true);
    long peak = statusKb("VmHWM");
    if (delivered != static_cast<int64_t>(LargeBody)) {
        std::fprintf(stderr, "large fetch delivered %lld bytes\n", static_cast<long long>(delivered));
        return 1;
    }
    bench::printRatio("http_peak_memory_100MiB", (peak - before) / 1024.0, LargeBody / 1048576.0, "MiB");

    component.setURL(server.url("/small"));
    std::vector<double> ours, baseline;
    for (int i = 0; i < Rounds; ++i) {
        ours.push_back(millisecondsOf([&] { component.Read(true); }));
        size_t size = 0;
        baseline.push_back(millisecondsOf([&] { size = plainCurlGet(server.url("/small")).size(); }));
        if (delivered != static_cast<int64_t>(SmallBody) || size != SmallBody) {
            std::fprintf(stderr, "small fetch delivered %lld / %zu bytes\n", static_cast<long long>(delivered), size);
            return 1;
        }
    }
    bench::printRatio("http_get_4MiB_median", bench::median(ours), bench::median(baseline), "ms");
    return 0;
}
