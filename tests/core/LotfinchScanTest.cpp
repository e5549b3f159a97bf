#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/FixtureSite.h"

// The developer tool lotfinch-scan, run as a person runs it.
namespace {

struct ScanRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ScanRun runScan(const QStringList &files)
{
    QProcess process;
    process.start(QDir(QCoreApplication::applicationDirPath()).filePath("lotfinch-scan"), files);
    ScanRun run;
    if (!process.waitForFinished(60000))
        return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
}

} // namespace

TEST(LotfinchScan, PrintsItemsNewestFirstThenOneLinePerPage)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case
    {
        const char *name;
        QList<QByteArray> pages;
        QByteArray expected;
    };
    const QByteArray first =
        "<a href=\"http://www.ebay.com/itm/1\"><span class=\"g-b\">Caf\xE9 &amp; <i>tea</span>\r\n";
    const QByteArray second = "<A HREF=\" http://www.ebay.com/itm/2\r\n\">x</A><a href=\"&#xA; /c/3.aspx&#xA;\">"
                              "<a href=\"http://www.EBAY.com/itm/1\">";
    const Case cases[] = {
        // The second page: the capital marker first, then the rest in order.
        {"two pages, one list",
         {first, second},
         "http://www.ubid.com/c/3.aspx\t\n"
         "http://www.ebay.com/itm/2\t\n"
         "http://www.ebay.com/itm/1\tCaf\xC3\xA9 &amp; <i>tea\n"
         "# page0.html: 1 item links\n"
         "# page1.html: 3 item links\n"},
        {"the same page twice adds nothing the second time",
         {first, first},
         "http://www.ebay.com/itm/1\tCaf\xC3\xA9 &amp; <i>tea\n"
         "# page0.html: 1 item links\n"
         "# page1.html: 1 item links\n"},
        // Read as a fetched body: the page ends at the NUL, and CR-only lines are lines.
        {"NUL cut and CR lines",
         {QByteArray("<a href=\"http://www.ebay.com/itm/4\">\r<span class=\"g-b\">Four</span>\0"
                     "<a href=\"http://www.ebay.com/itm/5\">",
                     80)},
         "http://www.ebay.com/itm/4\tFour\n"
         "# page0.html: 1 item links\n"},
        {"a page without items", {"<html><a href=\"/help\">Help</a></html>"}, "# page0.html: 0 item links\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QStringList files{"--described"};
        for (int i = 0; i < c.pages.size(); ++i)
            files << writeFile(dir, QString("page%1.html").arg(i), c.pages[i]);
        ScanRun run = runScan(files);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(run.out.toStdString(), c.expected.toStdString());
    }
}

TEST(LotfinchScan, SavedFixturePages)
{
    const QDir pages(lotfinch::test::FixtureSite::pagesPath());
    ScanRun run = runScan(
        {"--described", pages.filePath("ebay.com/digital-camera.html"), pages.filePath("ubid.com/digital-camera.html"),
         pages.filePath("ebay.co.uk/digital-camera.html"), pages.filePath("ebay.com/no-results.html")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QList<QByteArray> lines = run.out.split('\n');
    ASSERT_EQ(lines.size(), 8 + 5 + 6 + 4 + 1);
    EXPECT_TRUE(lines[0].startsWith("http://www.ebay.co.uk/itm/")) << lines[0].toStdString();
    EXPECT_TRUE(lines[6].startsWith("http://www.ubid.com/Digital-Cameras/")) << lines[6].toStdString();
    EXPECT_TRUE(lines[6].endsWith(".aspx\t"));
    EXPECT_EQ(lines[18], "http://www.ebay.com/itm/Canon-PowerShot-SX130-IS-12.1-MP-Digital-Camera---Black-/"
                         "2312345678?pt=Digital_Cameras&amp;hash=item89d3984e\tCanon PowerShot SX130 IS 12.1 MP "
                         "Digital Camera - Black");
    EXPECT_EQ(lines.mid(19, 4),
              (QList<QByteArray>{"# digital-camera.html: 16 item links", "# digital-camera.html: 10 item links",
                                 "# digital-camera.html: 12 item links", "# no-results.html: 0 item links"}));
}

TEST(LotfinchScan, ReportsUnreadableFilesAndGoesOn)
{
    QTemporaryDir dir;
    QString good = writeFile(dir, "good.html", "<a href=\"http://www.ebay.com/itm/900000009\">");
    ScanRun run = runScan({dir.filePath("missing.html"), good});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out.toStdString(), "https://www.ebay.com/itm/900000009\t\n# good.html: 1 item links\n");
    EXPECT_TRUE(run.err.contains("missing.html")) << run.err.toStdString();

    ScanRun usage = runScan({});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_TRUE(usage.err.contains("Usage: lotfinch-scan [--described] FILE..."));
}

TEST(LotfinchScan, TodaysRulesByDefaultAndTheDescribedOnesWhenAsked)
{
    const QDir pages(lotfinch::test::FixtureSite::pagesPath());
    const QString today = pages.filePath("ebay.com/film-camera.html");
    ScanRun current = runScan({today});
    ASSERT_EQ(current.exitCode, 0) << current.err.toStdString();
    QList<QByteArray> lines = current.out.split('\n');
    ASSERT_EQ(lines.size(), 6 + 1 + 1);
    // Each item by its own address, without the page's tracking parameters.
    EXPECT_EQ(lines[5], "https://www.ebay.com/itm/196123456781\tNikon F3 35mm SLR Film Camera Body & 50mm f/1.4 Lens");
    EXPECT_EQ(lines[6], "# film-camera.html: 8 item links");
    // Titles come out in UTF-8, as a terminal reads them.
    ScanRun uk = runScan({pages.filePath("ebay.co.uk/film-camera.html")});
    EXPECT_TRUE(uk.out.contains("\tOlympus Trip 35 Film Camera \xC2\xA3-Serviced, New Seals\n"))
        << uk.out.toStdString();

    ScanRun described = runScan({"--described", today});
    EXPECT_EQ(described.exitCode, 0);
    EXPECT_EQ(described.out.toStdString(), "# film-camera.html: 0 item links\n");
}
