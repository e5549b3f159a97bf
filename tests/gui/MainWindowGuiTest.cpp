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
using gui::MainWindow;
using platform::MessageBoxService;
using platform::MsgAnswer;

namespace {

class MainWindowTest : public testing::Test
{
protected:
    void SetUp() override
    {
        MessageBoxService::reset();
        form = new MainWindow;
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

    QPointer<MainWindow> form;
};

} // namespace

TEST_F(MainWindowTest, IsLaidOutAsDesigned)
{
    EXPECT_EQ(form->size(), QSize(324, 186));
    EXPECT_EQ(form->windowTitle(), "Lotfinch Lite 2.0");
    EXPECT_EQ(form->searchBox->geometry(), QRect(19, 20, 287, 111));
    EXPECT_TRUE(form->searchBox->font().bold());
    EXPECT_FALSE(form->siteLabel->font().bold());
    EXPECT_EQ(form->siteCombo->geometry(), QRect(72, 26, 200, 21));
    EXPECT_EQ(form->frequencyCombo->geometry().topLeft(), QPoint(102, 78));
    EXPECT_EQ(form->exitButton->geometry(), QRect(220, 142, 90, 35));
    EXPECT_EQ(form->siteCombo->count(), 6);
    EXPECT_EQ(form->siteCombo->currentIndex(), 0);
    EXPECT_EQ(form->frequencyCombo->currentText(), "Once Per Day (24 Hours)");
    EXPECT_TRUE(form->phraseCombo->currentText().isEmpty());
    EXPECT_FALSE(form->startButton->isEnabled());
    EXPECT_FALSE(form->auctionsButton->isEnabled());
    EXPECT_EQ(form->linksCaption, "ebay.com (US) Links Matching: ");

    // Tab order: site list, interval list, phrase box, Start, Auctions..., Exit, eBay Access....
    QWidget *expected[] = {form->frequencyCombo, form->phraseCombo, form->startButton,
                           form->auctionsButton, form->exitButton,  form->ebayAccessButton};
    QWidget *w = form->siteCombo;
    for (QWidget *next : expected) {
        w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || w->focusProxy())
            w = w->nextInFocusChain();
        EXPECT_EQ(w, next) << next->objectName().toStdString();
    }

    QStringList entries;
    for (QAction *a : form->trayMenu->actions())
        entries << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(entries, QStringList({"&Open Lotfinch Crawler...", "-", "Lotfinch &System", "-", "Show &HTML Source",
                                    "Links to Found &Items...", "Open in &browser", "e&Bay Access...", "-", "E&xit"}));
    EXPECT_EQ(form->trayMenu->defaultAction(), form->openAction);
    EXPECT_FALSE(form->pageSourceAction->isVisible());
    EXPECT_FALSE(form->openSearchAction->isVisible()) << "shown only while a site refuses the checks";
    EXPECT_FALSE(form->foundItemsAction->isEnabled());
    for (int image : {0, 1, 2, 3, 4, 5, 6, 8, 10})
        EXPECT_FALSE(form->trayImages->icon(image).isNull()) << image;
}

TEST_F(MainWindowTest, StartIsEnabledExactlyWhileThePhraseBoxHoldsText)
{
    form->phraseCombo->setFocus();
    QTest::keyClick(form->phraseCombo, Qt::Key_A);
    EXPECT_TRUE(form->startButton->isEnabled());
    QTest::keyClick(form->phraseCombo, Qt::Key_Backspace);
    EXPECT_FALSE(form->startButton->isEnabled());
    QTest::keyClicks(form->phraseCombo, "  ");
    EXPECT_TRUE(form->startButton->isEnabled()); // blanks are a phrase too
}

TEST_F(MainWindowTest, ExitWithoutFoundItemsClosesAtOnce)
{
    form->exitButton->click();
    EXPECT_TRUE(closed());
    EXPECT_TRUE(MessageBoxService::answeredQuestions().empty());
}

TEST_F(MainWindowTest, ExitWithFoundItemsAsksFirst)
{
    form->Found.AddFoundItem("http://www.ebay.com/itm/1", "");
    MessageBoxService::preAnswer(MsgAnswer::Cancel);
    form->exitButton->click();
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
    form->exitButton->click();
    EXPECT_TRUE(closed());
}

TEST_F(MainWindowTest, ExitFromTheTrayMenuWhileHiddenDoesNotAsk)
{
    form->Found.AddFoundItem("http://www.ebay.com/itm/1", "");
    form->hide();
    form->exitAction->trigger();
    EXPECT_TRUE(closed());
    EXPECT_TRUE(MessageBoxService::answeredQuestions().empty());
}

TEST_F(MainWindowTest, EnterActivatesTheDefaultButtonUnlessAButtonHasTheFocus)
{
    form->Found.AddFoundItem("http://www.ebay.com/itm/1", "");
    MessageBoxService::preAnswer(MsgAnswer::Cancel);
    form->phraseCombo->setFocus();
    QTest::keyClick(form->phraseCombo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(MessageBoxService::answeredQuestions().size(), 1u);
}

TEST_F(MainWindowTest, SiteChangeRewritesTheLinksCaption)
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
        form->siteCombo->setCurrentIndex(c.site);
        EXPECT_EQ(form->linksCaption, c.caption) << c.site;
    }
}

TEST_F(MainWindowTest, AuctionsButtonFollowsTheFoundItemsWhenShown)
{
    form->Found.AddFoundItem("http://www.ebay.com/itm/1", "");
    EXPECT_FALSE(form->auctionsButton->isEnabled()); // not until the window is shown again
    form->hide();
    form->show();
    EXPECT_TRUE(form->auctionsButton->isEnabled());
}

TEST_F(MainWindowTest, HintsAreDrawnByTheProgramsHintWindow)
{
    QHelpEvent event(QEvent::ToolTip, QPoint(5, 5), form->exitButton->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(form->exitButton, &event);
    ASSERT_TRUE(test::waitUntil(
        [&] { return form->htmlHint->HintWindow() && form->htmlHint->HintWindow()->isVisible(); }, 3000));
    EXPECT_EQ(form->htmlHint->hintStyle(), gui::HintStyle::Rounded);
}

TEST_F(MainWindowTest, AltAndTheLetterOfADisabledButtonChangesNothing)
{
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.data()));
    form->phraseCombo->setEditText("digital camera");
    form->startButton->setEnabled(false);
    // Start (S) and Auctions... (A) are disabled; the lists hold entries that begin with A, U and O.
    for (QComboBox *box : {form->phraseCombo, form->siteCombo, form->frequencyCombo}) {
        box->setFocus();
        for (Qt::Key letter : {Qt::Key_A, Qt::Key_S, Qt::Key_U, Qt::Key_O})
            QTest::keyClick(QApplication::focusWidget(), letter, Qt::AltModifier);
        EXPECT_EQ(form->phraseCombo->currentText(), "digital camera") << box->objectName().toStdString();
        EXPECT_EQ(form->siteCombo->currentIndex() + form->frequencyCombo->currentIndex(), 0);
    }
}
