#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include "core/Sites.h"
#include "support/FixtureSite.h"

using lotfinch::test::FixtureSite;
using lotfinch::test::rawHttpExchange;

// The fixture auction site that GUI, e2e tests and demonstrations use as the
// program's HTTP proxy.
namespace {

QByteArray proxyGet(const FixtureSite &site, const std::string &url)
{
    return rawHttpExchange(site.port(),
                           "GET " + QByteArray::fromStdString(url) + " HTTP/1.1\r\nConnection: close\r\n\r\n");
}

QByteArray savedPage(const QString &name)
{
    QFile file(QDir(FixtureSite::pagesPath()).filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing " + name.toUtf8());
}

QByteArray bodyOf(const QByteArray &answer)
{
    qsizetype end = answer.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : answer.mid(end + 4);
}

} // namespace

TEST(FixtureSite, AnswersSearchAddressesWithSavedPages)
{
    FixtureSite site;
    ASSERT_TRUE(site.started()) << site.diagnostics().toStdString();
    using lotfinch::core::SearchAddress;
    struct Case
    {
        std::string request; // a proxy request line's target, or a full request
        const char *status;
        QString page;
    };
    const Case cases[] = {
        {SearchAddress(0, "digital camera"), "200", "ebay.com/digital-camera.html"},
        {SearchAddress(1, "Digital Camera"), "200", "ebay.ca/digital-camera.html"},
        {SearchAddress(2, "digital camera"), "200", "ebay.co.uk/digital-camera.html"},
        {SearchAddress(3, "digital  camera!"), "200", "ebay.com.au/digital-camera.html"},
        {SearchAddress(4, "digital camera"), "200", "ubid.com/digital-camera.html"},
        {SearchAddress(0, "no such thing \xE9"), "200", "ebay.com/no-results.html"},
        {SearchAddress(4, ""), "200", "ubid.com/no-results.html"},
        {"http://www.example.com/", "403", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.request);
        QByteArray answer = proxyGet(site, c.request);
        EXPECT_TRUE(answer.startsWith(QByteArray("HTTP/1.1 ") + c.status)) << answer.left(200).toStdString();
        if (!c.page.isEmpty()) {
            EXPECT_EQ(bodyOf(answer), savedPage(c.page));
        }
    }
    // Today's pages carry tracking parameters that differ at every fetch.
    const std::string today = SearchAddress(0, "film camera");
    QByteArray first = bodyOf(proxyGet(site, today)), second = bodyOf(proxyGet(site, today));
    EXPECT_FALSE(first.contains("{fetch}"));
    EXPECT_NE(first, second);
    EXPECT_EQ(QByteArray(first).replace(first.mid(first.indexOf("itmmeta=") + 8, 26), "{fetch}"),
              savedPage("ebay.com/film-camera.html"));

    // A request in origin form is placed by its Host header.
    QByteArray direct = rawHttpExchange(site.port(), "GET /sch/i.html?_nkw=digital%20camera HTTP/1.1\r\n"
                                                     "Host: www.ebay.co.uk\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(bodyOf(direct), savedPage("ebay.co.uk/digital-camera.html"));

    // Every request line is logged as received, in order.
    QStringList log = site.requestLines();
    ASSERT_EQ(log.size(), 11);
    EXPECT_EQ(log[0].toStdString(), "GET " + SearchAddress(0, "digital camera") + " HTTP/1.1");
    EXPECT_EQ(log[5].toStdString(), "GET " + SearchAddress(0, "no such thing \xE9") + " HTTP/1.1");
    EXPECT_EQ(log[10], "GET /sch/i.html?_nkw=digital%20camera HTTP/1.1");
}

TEST(FixtureSite, MisbehavesWhenToldTo)
{
    FixtureSite site;
    ASSERT_TRUE(site.started()) << site.diagnostics().toStdString();
    const std::string us = lotfinch::core::SearchAddress(0, "digital camera");
    const std::string uk = lotfinch::core::SearchAddress(2, "digital camera");
    const QByteArray page = savedPage("ebay.com/digital-camera.html");
    enum Expect { Page, ServerError, Unavailable, Nothing, HalfPage, BrowserCheck, EmptyPage, AccessDenied };
    struct Case
    {
        const char *control; // nullptr: keep the current mode
        std::string url;
        Expect expect;
    };
    const Case cases[] = {
        {"mode=fail&count=1", us, ServerError},
        {nullptr, us, Page}, // the count is used up
        {"mode=fail&count=1&status=503", us, Unavailable},
        {"mode=drop&count=1", us, Nothing},
        {"mode=cut", us, HalfPage},
        {nullptr, us, HalfPage}, // no count: until told otherwise
        {"mode=ok", us, Page},
        {"mode=stall&seconds=0.5&count=1", us, Nothing},
        {"mode=slow&seconds=0.2&count=1", us, Page},
        {"mode=fail&site=ebay.co.uk", us, Page},
        {nullptr, uk, ServerError},
        {"mode=ok", uk, Page},
        {"mode=challenge&count=1", us, BrowserCheck},
        {"mode=empty&count=1", us, EmptyPage},
        {"mode=denied&count=1", us, AccessDenied},
        {nullptr, us, Page},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.control ? c.control : "(same)") + " " + c.url);
        if (c.control) {
            ASSERT_TRUE(site.control(c.control));
        }
        QByteArray answer = proxyGet(site, c.url);
        QByteArray body = bodyOf(answer);
        switch (c.expect) {
        case Page: EXPECT_TRUE(answer.startsWith("HTTP/1.1 200") && body.contains("/itm/")); break;
        case ServerError: EXPECT_TRUE(answer.startsWith("HTTP/1.1 500")) << answer.left(100).toStdString(); break;
        case Unavailable: EXPECT_TRUE(answer.startsWith("HTTP/1.1 503")) << answer.left(100).toStdString(); break;
        case Nothing: EXPECT_TRUE(answer.isEmpty()) << answer.left(100).toStdString(); break;
        case HalfPage:
            EXPECT_TRUE(answer.contains("Content-Length: " + QByteArray::number(page.size())));
            EXPECT_EQ(body, page.left(page.size() / 2));
            break;
        case BrowserCheck: {
            // A redirect to the check, whose page the site serves as eBay does.
            EXPECT_TRUE(answer.startsWith("HTTP/1.1 302")) << answer.left(200).toStdString();
            const qsizetype at = answer.indexOf("\r\nLocation: /splashui/challenge?");
            ASSERT_GE(at, 0) << answer.toStdString();
            const QByteArray path = answer.mid(at + 12, answer.indexOf("\r\n", at + 2) - at - 12);
            QByteArray check = proxyGet(site, "http://www.ebay.com" + path.toStdString());
            EXPECT_TRUE(check.startsWith("HTTP/1.1 200"));
            EXPECT_EQ(bodyOf(check), savedPage("walls/challenge.html"));
            break;
        }
        case EmptyPage:
            EXPECT_TRUE(answer.startsWith("HTTP/1.1 200") && answer.contains("Content-Length: 0\r\n") && body.isEmpty())
                << answer.toStdString();
            break;
        case AccessDenied:
            EXPECT_TRUE(answer.startsWith("HTTP/1.1 403") && body.contains("<TITLE>Access Denied</TITLE>"))
                << answer.toStdString();
            break;
        }
    }
    EXPECT_FALSE(site.control("mode=explode"));
    EXPECT_FALSE(site.control("mode=fail&status=200"));
    EXPECT_FALSE(site.control("mode=fail&site=example.com"));
}
