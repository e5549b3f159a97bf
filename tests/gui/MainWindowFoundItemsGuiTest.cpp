#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "gui/FoundItemsDialog.h"
#include "gui/MainWindow.h"
#include "support/FakeTrayShell.h"
#include "support/FixtureSite.h"

using namespace lotfinch;
using gui::FoundItemsDialog;

namespace {

struct Seen
{
    QString title;
    QStringList items;
    QString panel0, panel1;
    QPointer<FoundItemsDialog> form;
    bool overTheMainWindow = false; // it belongs to the main window
};

class FoundLinks : public testing::Test
{
protected:
    FoundLinks() { main->phraseCombo->setEditText("camera"); }
    ~FoundLinks() override { delete main; }

    // Adds a found item; its description is the time stamp, two blanks and the title.
    void found(const std::string &link, const std::string &title) { main->Found.AddFoundItem(link, title); }

    // Runs command, which should open the found-items window modally; looks
    // at the window and closes it. Nothing is seen when no window opened.
    std::optional<Seen> open(const std::function<void()> &command)
    {
        std::optional<Seen> seen;
        QTimer::singleShot(0, [&] {
            if (auto *form = qobject_cast<FoundItemsDialog *>(QApplication::activeModalWidget())) {
                QStringList items;
                for (int i = 0; i < form->itemList->count(); ++i)
                    items << form->itemList->item(i)->text();
                seen = Seen{
                    form->windowTitle(),      items, form->latestLabel->text(),
                    form->countLabel->text(), form,  form->windowHandle()->transientParent() == main->windowHandle()};
                form->closeClicked();
            }
        });
        command();
        QApplication::processEvents();
        return seen;
    }

    gui::MainWindow *main = new gui::MainWindow;
};

TEST_F(FoundLinks, NothingOpensWithoutFoundItems)
{
    EXPECT_FALSE(open([&] { main->showFoundItems(); }));
}

TEST_F(FoundLinks, ListsACopyNewestFirstWithTheStatusPanels)
{
    found("http://www.ebay.com/itm/Old/1?x", "Old");
    found("http://www.ebay.com/itm/New/2?x", "New");
    auto seen = open([&] { main->showFoundItems(); });
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->items, (QStringList{"http://www.ebay.com/itm/New/2?x", "http://www.ebay.com/itm/Old/1?x"}));
    EXPECT_EQ(seen->panel0.toStdString(), main->Found.LatestFoundText());
    EXPECT_TRUE(seen->panel0.startsWith("Most recent auction listing found: ")) << seen->panel0.toStdString();
    EXPECT_TRUE(seen->panel0.endsWith("  New")) << seen->panel0.toStdString();
    EXPECT_EQ(seen->panel1, "2 Items Found");
    EXPECT_TRUE(seen->form.isNull()) << "the window is destroyed when it closes";
    EXPECT_EQ(main->Found.count(), 2);
}

TEST_F(FoundLinks, CaptionGrowsWithEachNewPhraseAndRestartsAfterASiteChange)
{
    found("http://www.ebay.com/itm/A/1?x", "d");
    const std::string start = main->linksCaption;
    struct Step
    {
        const char *phrase;
        int site; // -1 keeps the site
        std::string title;
    };
    const Step steps[] = {
        {"camera", -1, start + "\"camera\" "},         {"camera", -1, start + "\"camera\" "},
        {"lens", -1, start + "\"camera\" \"lens\" "},  {"cam", -1, start + "\"camera\" \"lens\" "}, // already contained
        {"", -1, start + "\"camera\" \"lens\" \"\" "},
    };
    for (const Step &step : steps) {
        main->phraseCombo->setEditText(step.phrase);
        auto seen = open([&] { main->showFoundItems(); });
        ASSERT_TRUE(seen);
        EXPECT_EQ(seen->title.toStdString(), step.title) << step.phrase;
        EXPECT_EQ(main->linksCaption, step.title);
    }
    main->siteCombo->setCurrentIndex(2);
    std::string restarted = main->linksCaption;
    main->phraseCombo->setEditText("camera");
    auto seen = open([&] { main->showFoundItems(); });
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->title.toStdString(), restarted + "\"camera\" ");
}

TEST_F(FoundLinks, OpenedByTheAuctionsButtonAndTheTrayEntry)
{
    found("http://www.ebay.com/itm/A/1?x", "d");
    main->auctionsButton->setEnabled(true);
    EXPECT_TRUE(open([&] { main->auctionsButton->click(); }));
    main->foundItemsAction->setEnabled(true);
    EXPECT_TRUE(open([&] { main->foundItemsAction->trigger(); }));
}

TEST_F(FoundLinks, AClickOnTheFoundNotificationOpensThemWhereThereIsNoTray)
{
    found("http://www.ebay.com/itm/A/1?x", "d");
    for (bool tray : {true, false}) {
        test::FakeTrayShell shell;
        shell.hasTray = tray;
        main->showMinimized();
        auto seen = open([&] { main->trayIcon->OnBalloonHintClick(main->trayIcon); });
        ASSERT_EQ(seen.has_value(), !tray);
        // On their own: a window that belongs to a minimised one is hidden with it.
        if (seen) {
            EXPECT_FALSE(seen->overTheMainWindow);
        }
    }
    // The main window came back behind them.
    EXPECT_TRUE(main->isVisible());
    EXPECT_FALSE(main->isMinimized());
    // Opened from the shown window, they sit over it.
    auto seen = open([&] { main->showFoundItems(); });
    ASSERT_TRUE(seen);
    EXPECT_TRUE(seen->overTheMainWindow);
}

TEST_F(FoundLinks, TheListsHintKeepsEachLinkWithItsOwnDescription)
{
    found("http://www.ebay.com/itm/A/1?x", "A title");
    const std::string description = main->Found.FoundDescriptions()[0];
    std::string hint;
    QTimer::singleShot(0, [&] {
        auto *form = qobject_cast<FoundItemsDialog *>(QApplication::activeModalWidget());
        if (!form)
            return;
        form->itemList->setCurrentRow(0);
        // A pass that adds an item while the window is open shifts the main
        // window's descriptions, not the window's.
        main->Found.AddFoundItem("http://www.ebay.com/itm/B/2?x", "changed while open");
        form->itemListMouseMove();
        hint = form->Hint();
        form->closeClicked();
    });
    main->showFoundItems();
    EXPECT_EQ(hint, "<b><font color=\"#A00000\">" + description + "</font></b><br/><br/>http://www.ebay.com/itm/A/1?x");
    EXPECT_NE(hint.find("  A title</font>"), std::string::npos);
}

TEST_F(FoundLinks, AHostileTitleIsShownAsReceivedAndLoadsNothing)
{
    // A result page whose newest item's title holds an image tag naming a local file.
    QTemporaryDir pages;
    const QString image = pages.filePath("local.png");
    ASSERT_TRUE(QImage(4, 4, QImage::Format_RGB32).save(image));
    const std::string title = "Film camera <b>bold &amp; <img src=\"" + image.toStdString() + "\"> end";
    QDir(pages.path()).mkpath("ebay.com");
    QFile page(pages.filePath("ebay.com/film-camera.html"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write(("<ul id=\"ListViewInner\"><a href=\"http://www.ebay.com/itm/Film-Camera/420000000042?pt=1\">"
                "<span class=\"g-b\">" +
                title + "</span></a>\r\n")
                   .c_str());
    page.close();
    test::FixtureSite site(pages.path());
    ASSERT_TRUE(site.started()) << site.diagnostics().toStdString();
    setenv("http_proxy", site.proxyUrl().toUtf8().constData(), 1);
    main->phraseCombo->setEditText("film camera");
    main->SearchSites(0);
    unsetenv("http_proxy");
    ASSERT_EQ(main->Found.count(), 1) << site.diagnostics().toStdString();

    int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, image.toLocal8Bit().constData(), IN_OPEN | IN_ACCESS), 0);
    QString panel;
    QTimer::singleShot(0, [&] {
        if (auto *form = qobject_cast<FoundItemsDialog *>(QApplication::activeModalWidget())) {
            form->grab(); // lays out and paints everything the window shows
            panel = form->latestLabel->text();
            form->closeClicked();
        }
    });
    main->showFoundItems();
    char events[4096];
    EXPECT_LE(read(watch, events, sizeof events), 0) << "the image file was opened";
    close(watch);
    EXPECT_EQ(panel.toStdString(), main->Found.LatestFoundText());
    EXPECT_TRUE(panel.toStdString().ends_with("  " + title)) << panel.toStdString();
}

} // namespace
