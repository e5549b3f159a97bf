#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <gtest/gtest.h>

#include "core/TextUtils.h"
#include "gui/ElidedLabel.h"
#include "gui/FoundItemsDialog.h"
#include "gui/UrlLabel.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "text/StringList.h"

using namespace lotfinch;
using gui::FoundItemsDialog;

namespace {

TEST(FoundLinks, AuctionNumberOfAnEntry)
{
    struct Case
    {
        const char *entry;
        const char *number;
    };
    const Case cases[] = {
        {"http://www.ebay.com/itm/Some-Item-Title/4711?pt=1", "4711"},
        {"abc/def/ghi?x", "ghi"},                                    // no marker: cut from the fifth character
        {"http://www.ebay.com/itm/Title/4711", ""},                  // no "?" after the number
        {"http://www.ebay.com/itm/4711?pt=1", "4711"},               // no further "/"
        {"https://www.ebay.co.uk/itm/387712345678", "387712345678"}, // the item's own address
        {"https://www.ebay.co.uk/itm/4711", ""},
        {"http://www.ebay.com/itm/T/4711?a/itm/x/9?b", "4711"},
        {"abc", ""},
        {"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(gui::AuctionNumberOf(c.entry), c.number) << c.entry;
}

TEST(FoundLinks, OnlyWebAddressesAreOpened)
{
    struct Case
    {
        const char *entry;
        bool web;
    };
    const Case cases[] = {
        {"http://www.ebay.com/itm/a/1?b", true},
        {"https://www.ebay.co.uk/itm/a/1?b", true},
        {"HTTPS://WWW.EBAY.COM/", true},
        {"file:///etc/passwd", false},
        {"javascript:alert(1)//http://www.ebay.com/", false},
        {"lotfinch-test://http://x", false},
        {" http://leading.blank", false},
        {"http://", false},
        {"www.ebay.com/itm/a/1", false},
        {"", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(gui::IsWebAddress(c.entry), c.web) << c.entry;
}

class FoundItemsDialogGui : public testing::Test
{
protected:
    FoundItemsDialogGui()
    {
        images.set(10, QIcon(QPixmap(16, 16)));
        form.SetItems({"http://www.ebay.com/itm/Newest-Camera/4711?pt=1", "https://www.ebay.com/itm/Older-Lens/815?x",
                       "file:///etc/passwd"},
                      descriptions);
        form.show();
        platform::MessageBoxService::reset();
    }
    ~FoundItemsDialogGui() override { platform::MessageBoxService::reset(); }

    void clickRow(int row, QEvent::Type type = QEvent::MouseButtonPress)
    {
        QPointF at = form.itemList->visualItemRect(form.itemList->item(row)).center();
        QWidget *viewport = form.itemList->viewport();
        QMouseEvent press(type, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(viewport, &press);
        QApplication::sendEvent(viewport, &release);
    }
    void moveOverList(QPointF at = {3, 3})
    {
        QWidget *viewport = form.itemList->viewport();
        QMouseEvent move(QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
    }

    QWidget owner;
    text::StringList descriptions{"12/07/2026 10:00:00  Newest Camera",
                                  "12/07/2026 09:00:00  Older Lens & Hood <NEW> \u2014 \u6771\u4eac",
                                  "12/07/2026 08:00:00  Local file"};
    desktop::ImageList images;
    FoundItemsDialog form{&owner, &images};
};

TEST_F(FoundItemsDialogGui, LayoutAsTabled)
{
    EXPECT_EQ(form.size(), QSize(465, 523));
    EXPECT_EQ(form.windowTitle(), "Links to Found Item(s)");
    EXPECT_EQ(form.itemList->geometry(), QRect(7, 8, 451, 457));
    EXPECT_EQ(form.viewButton->geometry(), QRect(99, 470, 110, 31));
    EXPECT_EQ(form.closeButton->geometry(), QRect(257, 470, 110, 31));
    EXPECT_EQ(form.viewButton->text(), "&View Auction");
    EXPECT_EQ(form.closeButton->text(), "&Close");
    EXPECT_EQ(form.viewButton->toolTip(), "Open the selected auction in the default browser");
    EXPECT_EQ(form.closeButton->toolTip(), "Close the auctions links");
    EXPECT_FALSE(form.viewButton->isEnabled());
    EXPECT_EQ(form.statusBar->geometry(), QRect(0, 504, 465, 19));
    EXPECT_EQ(form.latestLabel->width(), 300);
    EXPECT_TRUE(form.countLabel->alignment() & Qt::AlignRight);
    EXPECT_FALSE(form.urlLabel->isVisible());
    EXPECT_EQ(form.listMenu->defaultAction(), form.openAction);
    EXPECT_EQ(form.copyMenu->title(), "&Copy to Clipboard");
    EXPECT_EQ(form.copyUrlAction->text(), "Auction &URL");
    EXPECT_EQ(form.copyNumberAction->text(), "Auction &Number");
    EXPECT_EQ(form.itemList->count(), 3);
    EXPECT_EQ(QApplication::windowIcon().cacheKey(), images.icon(10).cacheKey());
}

TEST_F(FoundItemsDialogGui, ViewAndMenuFollowTheSelectionByMouseOrKeyboard)
{
    form.listMenuAboutToShow();
    EXPECT_FALSE(form.openAction->isEnabled());
    EXPECT_FALSE(form.copyMenu->menuAction()->isEnabled());
    EXPECT_FALSE(form.copySeparator->isEnabled());
    EXPECT_TRUE(form.copyUrlAction->isEnabled()); // the submenu's own entries are not touched

    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(form.itemList, &down);
    EXPECT_EQ(form.SelectedEntry(), "http://www.ebay.com/itm/Newest-Camera/4711?pt=1");
    EXPECT_TRUE(form.viewButton->isEnabled());
    form.listMenuAboutToShow();
    EXPECT_TRUE(form.openAction->isEnabled());
    EXPECT_TRUE(form.copyMenu->menuAction()->isEnabled());

    form.itemList->clearSelection();
    EXPECT_FALSE(form.viewButton->isEnabled());
    clickRow(1);
    EXPECT_EQ(form.SelectedEntry(), "https://www.ebay.com/itm/Older-Lens/815?x");
    EXPECT_TRUE(form.viewButton->isEnabled());
}

TEST_F(FoundItemsDialogGui, CopiesTheEntryOrItsNumberToTheClipboard)
{
    QClipboard *clipboard = QApplication::clipboard();
    struct Case
    {
        int row;
        QAction *action;
        QString expected;
    };
    const Case cases[] = {
        {0, form.copyUrlAction, "http://www.ebay.com/itm/Newest-Camera/4711?pt=1"},
        {0, form.copyNumberAction, "4711"},
        {1, form.copyNumberAction, "815"},
        {2, form.copyNumberAction, ""}, // empty text replaces the clipboard too
    };
    for (const Case &c : cases) {
        clipboard->setText("before");
        clickRow(c.row);
        c.action->trigger();
        EXPECT_EQ(clipboard->text(), c.expected) << c.row;
    }
}

TEST_F(FoundItemsDialogGui, OpensWebEntriesUnchangedAndRefusesTheRest)
{
    platform::FakeShell shell;
    clickRow(0);
    form.viewButton->click();
    clickRow(1);
    form.openAction->trigger();
    EXPECT_EQ(shell.opened, (std::vector<std::string>{"http://www.ebay.com/itm/Newest-Camera/4711?pt=1",
                                                      "https://www.ebay.com/itm/Older-Lens/815?x"}));

    platform::MessageBoxService::preAnswer(platform::MsgAnswer::OK);
    clickRow(2);
    form.viewButton->click();
    EXPECT_EQ(shell.opened.size(), 2u);
    ASSERT_EQ(platform::MessageBoxService::answeredQuestions().size(), 1u);
    EXPECT_EQ(platform::MessageBoxService::answeredQuestions()[0].text, "Searching for alternate browser.");
    EXPECT_TRUE(form.isVisible());

    // The shell failing gives the same message.
    shell.succeed = false;
    platform::MessageBoxService::preAnswer(platform::MsgAnswer::OK);
    clickRow(0); // a double-click starts as a click
    clickRow(0, QEvent::MouseButtonDblClick);
    EXPECT_EQ(shell.opened.size(), 3u);
    EXPECT_EQ(platform::MessageBoxService::answeredQuestions().size(), 2u);
}

TEST_F(FoundItemsDialogGui, CommandsWithoutSelectionDoNothing)
{
    platform::FakeShell shell;
    QApplication::clipboard()->setText("kept");
    form.viewClicked();
    form.copyUrl();
    form.copyNumber();
    EXPECT_TRUE(shell.opened.empty());
    EXPECT_EQ(QApplication::clipboard()->text(), "kept");
}

TEST_F(FoundItemsDialogGui, HintShowsTheSelectedEntrysDescriptionWhereverThePointerIs)
{
    moveOverList();
    EXPECT_FALSE(form.ShowHint());
    EXPECT_TRUE(form.toolTip().isEmpty());

    clickRow(1);
    moveOverList({3, 3}); // over entry 0
    EXPECT_TRUE(form.ShowHint());
    EXPECT_EQ(form.Hint(), "<b><font color=\"#A00000\">12/07/2026 09:00:00  Older Lens && Hood &lt;NEW&gt; \u2014 "
                           "\u6771\u4eac</font></b><br/><br/>"
                           "https://www.ebay.com/itm/Older-Lens/815?x");
    EXPECT_EQ(form.toolTip().toStdString(), form.Hint());
    EXPECT_EQ(form.itemList->toolTip(), "");
    EXPECT_EQ(form.itemList->item(1)->data(Qt::AccessibleDescriptionRole).toString(),
              QString::fromUtf8("12/07/2026 09:00:00  Older Lens & Hood <NEW> \u2014 \u6771\u4eac"));

    // An entry without a description switches the hint off and leaves it as it was.
    std::string before = form.Hint();
    form.SetItems({"http://www.ebay.com/itm/A/1?x", "http://www.ebay.com/itm/B/2?x"}, {"12/07/2026 10:00:00  A"});
    clickRow(1);
    moveOverList();
    EXPECT_FALSE(form.ShowHint());
    EXPECT_EQ(form.Hint(), before);
    EXPECT_TRUE(form.toolTip().isEmpty());
    EXPECT_EQ(form.viewButton->toolTip(), "Open the selected auction in the default browser");
}

TEST_F(FoundItemsDialogGui, KeysStartAtTheNewestEntryEnterOpensItAndEscCloses)
{
    platform::FakeShell shell;
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.itemList->setFocus(Qt::TabFocusReason);
    QTest::keyClick(form.itemList, Qt::Key_Return); // no entry selected yet
    EXPECT_TRUE(shell.opened.empty());
    QTest::keyClick(form.itemList, Qt::Key_Down);
    EXPECT_EQ(form.SelectedEntry(), "http://www.ebay.com/itm/Newest-Camera/4711?pt=1");
    ASSERT_TRUE(form.viewButton->isEnabled());

    // Enter opens the selected entry (there is no default button), and so
    // does Enter on the keypad.
    QTest::keyClick(form.itemList, Qt::Key_Return);
    QTest::keyClick(form.itemList, Qt::Key_Down);
    QTest::keyClick(form.itemList, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(shell.opened, (std::vector<std::string>{"http://www.ebay.com/itm/Newest-Camera/4711?pt=1",
                                                      "https://www.ebay.com/itm/Older-Lens/815?x"}));
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.viewButton->isDefault());
    EXPECT_FALSE(form.closeButton->isDefault());

    form.closeButton->setFocus(Qt::TabFocusReason); // a focused button takes Enter
    QTest::keyClick(form.closeButton, Qt::Key_Return);
    EXPECT_FALSE(form.isVisible());

    form.show();
    QTest::keyClick(form.itemList, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(FoundItemsDialogGui, TheHintIsRebuiltOnlyWhenTheSelectionChanges)
{
    struct ToolTipChanges : QObject
    {
        int count = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            count += event->type() == QEvent::ToolTipChange;
            return false;
        }
    } changes;
    form.installEventFilter(&changes);
    clickRow(0);
    moveOverList();
    EXPECT_EQ(changes.count, 1);
    for (int i = 0; i < 5; ++i)
        moveOverList({3.0 + i, 3});
    EXPECT_EQ(changes.count, 1) << "pointer moves alone leave the hint alone";
    clickRow(1);
    moveOverList();
    EXPECT_EQ(changes.count, 2);
    // The window describes its links with the descriptions it was given.
    descriptions[1] = "12/07/2026 09:30:00  Renamed";
    moveOverList();
    EXPECT_EQ(changes.count, 2);
    EXPECT_EQ(form.Hint().find("Renamed"), std::string::npos);
}

// Each status text shows whole, or elided in the middle with the whole text
// in its hint; a screen reader hears the whole text either way.
TEST_F(FoundItemsDialogGui, StatusTextsShowWholeOrElidedWithTheWholeTextAtHand)
{
    const QString latest = "Most recent auction listing found: 12/09/2026 02:04:37  Samsung ES80 12.2MP Digital "
                           "Camera (Pink) <b>NEW</b> with a 5x optical zoom, 2.7\" screen & a case";
    struct Case
    {
        gui::ElidedLabel *label;
        QString text;
        bool whole;
    };
    const Case cases[] = {
        {form.latestLabel, latest, false},
        {form.countLabel, "8 Items Found", true},
        {form.countLabel, "1048576 Items Found", true},
        {form.countLabel, latest, false},
        {form.latestLabel, latest + QString::fromUtf8(" \u6771\u4EAC \u20AC \U0001F600"), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        c.label->setText(c.text);
        QApplication::processEvents();
        const QString shown = c.label->QLabel::text();
        const QRect room = c.label->contentsRect();
        const QFontMetrics metrics = c.label->fontMetrics();
        EXPECT_LE(metrics.horizontalAdvance(shown), room.width());
        EXPECT_LE(metrics.height(), room.height());
        EXPECT_EQ(c.label->text(), c.text);
        EXPECT_EQ(QAccessible::queryAccessibleInterface(c.label)->text(QAccessible::Name), c.text);
        EXPECT_EQ(shown == c.text, c.whole) << shown.toStdString();
        if (shown == c.text) {
            EXPECT_EQ(c.label->toolTip(), "");
        } else {
            EXPECT_TRUE(shown.startsWith(c.text.left(10)) && shown.endsWith(c.text.right(5)) &&
                        shown.contains(u'\u2026'))
                << shown.toStdString();
            // The hint shows the title as it stands, not as markup.
            EXPECT_EQ(c.label->toolTip(), QString::fromStdString(core::HintMarkupText(c.text.toStdString())));
        }
    }
}

TEST_F(FoundItemsDialogGui, CloseEndsTheWindow)
{
    form.closeButton->click();
    EXPECT_FALSE(form.isVisible());
}

} // namespace
