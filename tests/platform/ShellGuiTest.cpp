#include <QDesktopServices>
#include <QObject>
#include <QUrl>
#include <gtest/gtest.h>

#include "platform/Shell.h"

using namespace lotfinch::platform;

namespace {

// Receives what QDesktopServices hands to the handler of its scheme.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

TEST(Shell, DesktopShellOpensThroughTheDesktopServices)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("lotfinch-test", &catcher, "open");
    DesktopShell shell;
    EXPECT_TRUE(shell.open("lotfinch-test://host/item?x=1"));
    EXPECT_FALSE(shell.open(""));
    EXPECT_FALSE(shell.open("no scheme at all"));
    QDesktopServices::unsetUrlHandler("lotfinch-test");
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].toString(), "lotfinch-test://host/item?x=1");
}

TEST(Shell, FakeShellTakesTheDesktopsPlaceWhileItLives)
{
    Shell *desktop = &Shell::current();
    {
        FakeShell fake;
        EXPECT_EQ(&Shell::current(), &fake);
        {
            FakeShell inner;
            inner.succeed = false;
            EXPECT_FALSE(Shell::current().open("http://a"));
            EXPECT_EQ(inner.opened, std::vector<std::string>{"http://a"});
        }
        EXPECT_EQ(&Shell::current(), &fake);
        EXPECT_TRUE(Shell::current().open("http://b"));
        EXPECT_EQ(fake.opened, std::vector<std::string>{"http://b"});
    }
    EXPECT_EQ(&Shell::current(), desktop);
}

} // namespace

#include "ShellGuiTest.moc"
