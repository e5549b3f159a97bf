#include <QFile>
#include <gtest/gtest.h>

#include "support/Desktop.h"
#include "support/ProgramWithFixtureSite.h"
#include "support/TestUtil.h"

using namespace lotfinch::e2e;
using lotfinch::test::waitUntil;

class Program : public ProgramWithFixtureSite
{};

// The phrase is stored once the focus moves on to Start: next to the program,
// or, for the installed build (the install check names the data folder it
// expects), in the user's data folder and not next to the program.
TEST_F(Program, KeepsAPhraseInTheHistoryFileAndSearchesForIt)
{
    const QString dataHome = qEnvironmentVariable("LOTFINCH_EXPECT_DATA_HOME");
    const QString besideProgram = program.folder() + "/searches.txt";
    program.startSearch("history phrase");
    QFile file(dataHome.isEmpty() ? besideProgram : dataHome + "/Lotfinch Desktop 2.0/searches.txt");
    ASSERT_TRUE(waitUntil([&] { return file.exists(); }, 30000)) << program.output().toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "history phrase\r\n");
    if (!dataHome.isEmpty()) {
        EXPECT_FALSE(QFile::exists(besideProgram));
    }
    // The first pass fetches the results through the HTTP helper, which an
    // installed build finds in the package's own folder.
    EXPECT_TRUE(waitUntil([&] { return site.requestLines().join('\n').contains("_nkw=history%20phrase"); }, 30000))
        << site.requestLines().join('\n').toStdString() << program.output().toStdString();
}

// A second start ends by itself and leaves the running copy's windows alone.
TEST_F(Program, ASecondStartEndsAtOnceLeavingOneMainWindowAndOneTrayIcon)
{
    EXPECT_EQ(program.startAgain({"second"}), 0);
    const QStringList mainWindows =
        runTool("xdotool", {"search", "--onlyvisible", "--name", LotfinchProgram::MainTitle})
            .split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(mainWindows.size(), 1) << mainWindows.join(' ').toStdString();
    screenshot("after-second-start");

    runTool("xdotool", {"windowminimize", QString::number(program.waitForMainWindow())});
    ASSERT_TRUE(waitUntil([&] { return trayIcons(pid).size() == 1 && otherWindows(pid).empty(); }));
    EXPECT_EQ(program.startAgain({"third"}), 0);
    EXPECT_EQ(trayIcons(pid).size(), 1u);
    EXPECT_TRUE(otherWindows(pid).empty()) << "the running copy shows nothing";
}
