#include <QComboBox>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "gui/MainWindow.h"
#include "platform/MessageBox.h"

using namespace lotfinch;
using platform::MessageBoxService;

namespace {

// The main window's phrase box, its history in a program folder of its own,
// used through the keyboard and the drop-down as a person would.
class PhraseHistory : public testing::Test
{
protected:
    void SetUp() override
    {
        MessageBoxService::reset();
        QFile file(folder.filePath("searches.txt"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Camera\r\nlens\r\n");
        file.close();
        form = new gui::MainWindow;
        form->History = core::SearchHistory(file.fileName());
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.data()));
        box()->setFocus();
    }
    void TearDown() override
    {
        delete form.data();
        MessageBoxService::reset();
    }
    QComboBox *box() { return form->phraseCombo; }
    QStringList listed()
    {
        QStringList items;
        for (int i = 0; i < box()->count(); ++i)
            items << box()->itemText(i);
        return items;
    }
    QByteArray stored()
    {
        QFile file(form->History.FileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Leaves the phrase box for the Start button.
    void tabToStart()
    {
        QTest::keyClick(box(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), form->startButton);
    }

    QTemporaryDir folder;
    QPointer<gui::MainWindow> form;
};

TEST_F(PhraseHistory, TheDropDownOffersTheStoredPhrasesAndLeavingTheBoxStoresANewOneFirst)
{
    QTest::keyClicks(box(), "zoom");
    box()->showPopup();
    box()->hidePopup();
    EXPECT_EQ(listed(), (QStringList{"Camera", "lens"}));
    EXPECT_EQ(box()->currentText(), "zoom");
    EXPECT_EQ(stored(), "Camera\r\nlens\r\n") << "opening the list writes nothing";

    tabToStart();
    EXPECT_EQ(stored(), "zoom\r\nCamera\r\nlens\r\n");
    EXPECT_EQ(listed(), (QStringList{"zoom", "Camera", "lens"}));
    EXPECT_EQ(box()->currentText(), "zoom");

    // A phrase that cannot be searched for is not kept with question marks.
    box()->setFocus();
    box()->setEditText(QString::fromUtf8("\u6771\u4eac zoom"));
    tabToStart();
    EXPECT_EQ(stored(), "zoom\r\nCamera\r\nlens\r\n");
}

TEST_F(PhraseHistory, AFailedSaveShowsTheErrorAndKeepsThePhraseListed)
{
    form->History.Write = [](QSaveFile &, const QByteArray &) { return QString("No space left on device"); };
    MessageBoxService::preAnswer(platform::MsgAnswer::OK);
    QTest::keyClicks(box(), "zoom");
    tabToStart();
    ASSERT_EQ(MessageBoxService::answeredQuestions().size(), 1u);
    const platform::MsgQuestion &error = MessageBoxService::answeredQuestions().front();
    EXPECT_EQ(error.icon, platform::MsgIcon::Error);
    EXPECT_NE(error.text.find(form->History.FileName().toStdString()), std::string::npos) << error.text;
    EXPECT_NE(error.text.find("No space left on device"), std::string::npos) << error.text;
    EXPECT_EQ(stored(), "Camera\r\nlens\r\n");
    EXPECT_EQ(listed(), (QStringList{"zoom", "Camera", "lens"}));
}

} // namespace
