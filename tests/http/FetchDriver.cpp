// A small program that fetches one address through the HTTP component, as
// each check of the program does, and prints how it went: "fetched N bytes",
// or the reason its failure line would give. The HTTP helper's tests run it
// as the program: killed mid-fetch, or from folders of their making.
//   FetchDriver URL
#include <QCoreApplication>
#include <chrono>
#include <cstdio>

#include "core/SiteChecks.h"
#include "http/HttpComponent.h"

using namespace lotfinch;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    http::HttpComponent component;
    component.Proxy().AccessType = http::HttpAccessType::Direct;
    component.setURL(argv[1]);
    int64_t fetched = -1;
    component.OnDone = [&](QObject *, const std::string &, int64_t size, http::ByteStream *) { fetched = size; };
    const auto started = std::chrono::steady_clock::now();
    component.Read(true);
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    if (fetched >= 0) {
        std::printf("fetched %lld bytes\n", static_cast<long long>(fetched));
        return 0;
    }
    const core::FetchOutcome outcome = core::OutcomeOf(component, static_cast<int>(elapsed.count()));
    std::printf("%s\n", core::FailureReason(outcome, "the site").c_str());
    return 1;
}
