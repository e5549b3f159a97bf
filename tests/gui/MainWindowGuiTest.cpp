#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "gui/HtmlHint.h"
#include "gui/MainWindow.h"
#include "platform/MessageBox.h"
#include "support/TestUtil.h"

using namespace lotfinch;
using gui::TApplicationForm;
using platform::MessageBoxService;
using platform::MsgAnswer;

namespace {

class MainWindow : public testing::Test
{
protected:
    void SetUp() override
    {
        MessageBoxService::reset();
        form = new TApplicationForm;
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.data()));
    }
    void TearDown() override
    {
        delete form.data();
        MessageBoxService::reset();
    }
    bool closed()
    {
        return test::waitUntil([&] { return form.isNull(); }, 3000);
    }

    QPointer<TApplicationForm> form;
};

} // namespace

TEST_F(MainWindow, IsLaidOutAsDesigned)
{
    EXPECT_EQ(form->size(), QSize(324, 186));
    EXPECT_EQ(form->windowTitle(), "Lotfinch Lite 2.0");
    EXPECT_EQ(form->GroupBox1->geometry(), QRect(19, 20, 287, 111));
    EXPECT_TRUE(form->GroupBox1->font().bold());
    EXPECT_FALSE(form->Label1->font().bold());
    EXPECT_EQ(form->ComboAuctionSite->geometry(), QRect(72, 26, 200, 21));
    EXPECT_EQ(form->ComboSearchFrequency->geometry().topLeft(), QPoint(102, 78));
    EXPECT_EQ(form->BitBtn2->geometry(), QRect(220, 142, 90, 35));
    EXPECT_EQ(form->ComboAuctionSite->count(), 6);
    EXPECT_EQ(form->ComboAuctionSite->currentIndex(), 0);
    EXPECT_EQ(form->ComboSearchFrequency->currentText(), "Once Per Day (24 Hours)");
    EXPECT_TRUE(form->comboSearchString->currentText().isEmpty());
    EXPECT_FALSE(form->BitBtn1->isEnabled());
    EXPECT_FALSE(form->BitBtn3->isEnabled());
    EXPECT_EQ(form->LinksCaption, "ebay.com (US) Links Matching: ");

    // Tab order: site list, interval list, phrase box, Start, Auctions..., Exit.
    QWidget *expected[] = {form->ComboSearchFrequency, form->comboSearchString, form->BitBtn1, form->BitBtn3,
                           form->BitBtn2};
    QWidget *w = form->ComboAuctionSite;
    for (QWidget *next : expected) {
        w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || w->focusProxy())
            w = w->nextInFocusChain();
        EXPECT_EQ(w, next) << next->objectName().toStdString();
    }

    QStringList entries;
    for (QAction *a : form->PopupMenu1->actions())
        entries << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(entries, QStringList({"&Open Lotfinch Crawler...", "-", "Lotfinch &System", "-", "Show &HTML Source",
                                    "Links to Found &Items...", "-", "E&xit"}));
    EXPECT_EQ(form->PopupMenu1->defaultAction(), form->Restore1);
    EXPECT_FALSE(form->ShowHTMLSource1->isVisible());
    EXPECT_FALSE(form->ShowFoundLinks1->isEnabled());
    for (int image : {0, 1, 2, 3, 4, 5, 6, 8, 10})
        EXPECT_FALSE(form->ImageList2->icon(image).isNull()) << image;
}

TEST_F(MainWindow, StartIsEnabledExactlyWhileThePhraseBoxHoldsText)
{
    form->comboSearchString->setFocus();
    QTest::keyClick(form->comboSearchString, Qt::Key_A);
    EXPECT_TRUE(form->BitBtn1->isEnabled());
    QTest::keyClick(form->comboSearchString, Qt::Key_Backspace);
    EXPECT_FALSE(form->BitBtn1->isEnabled());
    QTest::keyClicks(form->comboSearchString, "  ");
    EXPECT_TRUE(form->BitBtn1->isEnabled()); // blanks are a phrase too
}

TEST_F(MainWindow, ExitWithoutFoundItemsClosesAtOnce)
{
    form->BitBtn2->click();
    EXPECT_TRUE(closed());
    EXPECT_TRUE(MessageBoxService::answeredQuestions().empty());
}

TEST_F(MainWindow, ExitWithFoundItemsAsksFirst)
{
    form->Found.AddFoundItem("http://www.ebay.com/itm/1", "");
    MessageBoxService::preAnswer(MsgAnswer::Cancel);
    form->BitBtn2->click();
    test::runEventsFor(50);
    ASSERT_FALSE(form.isNull());
    ASSERT_EQ(MessageBoxService::answeredQuestions().size(), 1u);
    const auto &q = MessageBoxService::answeredQuestions().front();
    EXPECT_EQ(q.text, "All search crawling will stop when closed.");
    EXPECT_EQ(q.title, "CLOSE APPLICATION");
    EXPECT_EQ(q.icon, platform::MsgIcon::Warning);
    EXPECT_EQ(q.buttons, platform::MsgButtons::OKCancel);
    EXPECT_EQ(q.owner, form.data());
    EXPECT_EQ(form->Found.count(), 1);

    MessageBoxService::preAnswer(MsgAnswer::OK);
    form->BitBtn2->click();
    EXPECT_TRUE(closed());
}

TEST_F(MainWindow, ExitFromTheTrayMenuWhileHiddenDoesNotAsk)
{
    form->Found.AddFoundItem("http://www.ebay.com/itm/1", "");
    form->hide();
    form->Exit1->trigger();
    EXPECT_TRUE(closed());
    EXPECT_TRUE(MessageBoxService::answeredQuestions().empty());
}

TEST_F(MainWindow, EnterActivatesTheDefaultButtonUnlessAButtonHasTheFocus)
{
    form->Found.AddFoundItem("http://www.ebay.com/itm/1", "");
    MessageBoxService::preAnswer(MsgAnswer::Cancel);
    form->comboSearchString->setFocus();
    QTest::keyClick(form->comboSearchString->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(MessageBoxService::answeredQuestions().size(), 1u);
}

TEST_F(MainWindow, SiteChangeRewritesTheLinksCaption)
{
    struct Case
    {
        int site;
        bool haveItems;
        std::string caption;
    } cases[] = {
        {3, false, "ebay.com.au (Australia) Links Matching: "},
        {5, false, "all ebay and ubid sites Links Matching: "},
        {1, true, "Auction Links Matching: "},
        {0, false, "ebay.com (US) Links Matching: "},
    };
    for (const auto &c : cases) {
        form->Found.Clear();
        if (c.haveItems)
            form->Found.AddFoundItem("http://www.ebay.ca/itm/2", "");
        form->ComboAuctionSite->setCurrentIndex(c.site);
        EXPECT_EQ(form->LinksCaption, c.caption) << c.site;
    }
}

TEST_F(MainWindow, AuctionsButtonFollowsTheFoundItemsWhenShown)
{
    form->Found.AddFoundItem("http://www.ebay.com/itm/1", "");
    EXPECT_FALSE(form->BitBtn3->isEnabled()); // not until the window is shown again
    form->hide();
    form->show();
    EXPECT_TRUE(form->BitBtn3->isEnabled());
}

TEST_F(MainWindow, HintsAreDrawnByTheProgramsHintWindow)
{
    QHelpEvent event(QEvent::ToolTip, QPoint(5, 5), form->BitBtn2->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(form->BitBtn2, &event);
    ASSERT_TRUE(test::waitUntil(
        [&] { return form->HTMLHint1->HintWindow() && form->HTMLHint1->HintWindow()->isVisible(); }, 3000));
    EXPECT_EQ(form->HTMLHint1->HintStyle(), gui::THintStyle::hsRounded);
}

TEST_F(MainWindow, AltAndTheLetterOfADisabledButtonChangesNothing)
{
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.data()));
    form->comboSearchString->setEditText("digital camera");
    form->BitBtn1->setEnabled(false);
    // Start (S) and Auctions... (A) are disabled; the lists hold entries that begin with A, U and O.
    for (QComboBox *box : {form->comboSearchString, form->ComboAuctionSite, form->ComboSearchFrequency}) {
        box->setFocus();
        for (Qt::Key letter : {Qt::Key_A, Qt::Key_S, Qt::Key_U, Qt::Key_O})
            QTest::keyClick(QApplication::focusWidget(), letter, Qt::AltModifier);
        EXPECT_EQ(form->comboSearchString->currentText(), "digital camera") << box->objectName().toStdString();
        EXPECT_EQ(form->ComboAuctionSite->currentIndex() + form->ComboSearchFrequency->currentIndex(), 0);
    }
}
