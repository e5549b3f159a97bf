#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include "desktop/LaunchFile.h"
#include "platform/Shell.h"

using namespace lotfinch::desktop;

TEST(LaunchFile, HandsLongPathsWholeToTheShellAndRefusesMissingFiles)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    // Past the 128 characters a fixed buffer would hold, with a blank and a non-ASCII letter.
    const QString folder = root.path() + "/" + QString(150, 'f') + " d\u00e9j\u00e0";
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile file(folder + "/manual.pdf");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    lotfinch::platform::FakeShell shell;
    const std::string dir = folder.toLatin1().toStdString();
    EXPECT_GT(LaunchFile("manual.pdf", "", dir, SW_SHOWNORMAL), 32);
    EXPECT_EQ(LaunchFile("missing.pdf", "", dir, SW_SHOWNORMAL), 2);
    EXPECT_EQ(LaunchFile("", "", dir, SW_SHOWNORMAL), 2);
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(QUrl::fromEncoded(QByteArray::fromStdString(shell.opened[0])).toLocalFile(), folder + "/manual.pdf");

    shell.succeed = false;
    EXPECT_EQ(LaunchFile("manual.pdf", "", dir, SW_SHOWNORMAL), 31);
}
