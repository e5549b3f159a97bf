#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "core/TextUtils.h"
#include "core/VersionInfo.h"
#include "gui/AboutDialog.h"
#include "gui/HtmlHint.h"
#include "gui/MainWindow.h"
#include "gui/PageSourceDialog.h"
#include "gui/SplashScreen.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"

using namespace lotfinch;
using gui::MainWindow;
using platform::MessageBoxService;

namespace {

class Startup : public testing::Test
{
protected:
    ~Startup() override { delete main; }

    // Runs command, which should open a modal window of type W; looks at it
    // with look and closes it. False when no such window opened.
    template <class W> bool modal(const std::function<void()> &command, const std::function<void(W *)> &look)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            if (auto *window = qobject_cast<W *>(QApplication::activeModalWidget())) {
                seen = true;
                look(window);
                window->accept();
            }
        });
        command();
        return seen;
    }

    void mouseOver(QPushButton *button)
    {
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), button->mapToGlobal(QPointF(5, 5)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(button, &move);
    }

    MainWindow *main = new MainWindow;
};

// Records what the splash shows each time its label is painted.
struct SplashWatch : QObject
{
    QStringList texts;
    bool busyCursor = true;
    QLabel *label;
    explicit SplashWatch(QLabel *watched) : label(watched) { label->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            if (texts.isEmpty() || texts.last() != label->text())
                texts << label->text();
            const QCursor *cursor = QApplication::overrideCursor();
            busyCursor = busyCursor && cursor && cursor->shape() == Qt::BusyCursor;
        }
        return false;
    }
};

} // namespace

TEST_F(Startup, TheSplashCountsFiveDotsUnderTheBusyCursorAndGivesTheProductVersion)
{
    EXPECT_EQ(main->versionText, "2.0.1") << "read during the window's creation";
    EXPECT_EQ(main->DefaultTrayHint(), "Lotfinch (Desktop) 2.0.1 from Pellory");
    EXPECT_TRUE(main->findChildren<gui::SplashScreen *>().isEmpty()) << "the splash is gone after start-up";

    main->versionText.clear();
    gui::SplashScreen splash(main);
    SplashWatch watch(splash.initLabel);
    main->RunSplash(&splash);
    const QString init = "Initializing the Lotfinch";
    EXPECT_EQ(watch.texts, (QStringList{init, init + ".", init + "..", init + "...", init + "....", init + "....."}));
    EXPECT_TRUE(watch.busyCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(splash.isVisible());
    EXPECT_EQ(splash.buildLabel->text(), "Build 2.0.1.28");
    EXPECT_EQ(main->versionText, "2.0.1");
}

TEST_F(Startup, AProgramFileWithoutVersionInformationStillStarts)
{
    MessageBoxService::reset();
    MessageBoxService::preAnswer(platform::MsgAnswer::OK);
    gui::SplashScreen splash(main);
    splash.versionInfo->SetFileName("/bin/true");
    main->RunSplash(&splash);
    EXPECT_EQ(main->versionText, "");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_EQ(MessageBoxService::answeredQuestions().size(), 1u) << "the splash's own error is shown once";
    EXPECT_EQ(MessageBoxService::answeredQuestions().front().text, "File does not contain version info");
    MessageBoxService::reset();
}

TEST_F(Startup, TheButtonHintsNameThePhraseInBoldAndOnlyOverAnEnabledButton)
{
    main->phraseCombo->setEditText("digital camera");
    main->startedPhrase = "brass lamp \u20AC";
    main->auctionsButton->setEnabled(true);
    const struct
    {
        QPushButton *button;
        QString phrase;
        bool enabled;
        QString hint;
    } cases[] = {
        {main->startButton, "digital camera", true, "Start searching for \"<b>digital camera</b>\"..."},
        {main->auctionsButton, "anything", true,
         QString::fromUtf8("View all matches found for \"<b>brass lamp \u20AC</b>\"...")},
        {main->startButton, "a<i>b</i> & c", true, "Start searching for \"<b>a&lt;i&gt;b&lt;/i&gt; && c</b>\"..."},
        {main->startButton, QString::fromUtf8("\u6771\u4EAC \U0001F600"), true,
         QString::fromUtf8("Start searching for \"<b>\u6771\u4EAC \U0001F600</b>\"...")},
        {main->startButton, "digital camera", false, ""},
    };
    for (const auto &c : cases) {
        main->phraseCombo->setEditText(c.phrase);
        c.button->setEnabled(c.enabled);
        mouseOver(c.button);
        EXPECT_EQ(c.button->toolTip(), c.hint) << c.phrase.toStdString();
    }

    // The HTML hint draws the phrase as it was typed.
    main->phraseCombo->setEditText("a<i>b</i> & c");
    main->startButton->setEnabled(true);
    mouseOver(main->startButton);
    ASSERT_TRUE(main->htmlHint->ShowHintFor(main->startButton, main->startButton->mapToGlobal(QPoint(5, 5))));
    std::string drawn, bold;
    for (const core::HintItem &item : main->htmlHint->HintWindow()->Layout().items)
        if (item.kind == core::HintItemKind::Text) {
            drawn += item.text;
            if (item.font.bold)
                bold += item.text;
        }
    EXPECT_EQ(drawn, "Start searching for \"a<i>b</i> & c\"...");
    EXPECT_EQ(bold, "a<i>b</i> & c");
    main->htmlHint->HideHint();
}

TEST_F(Startup, AboutAndThePageSourceOpenModallyFromTheMenuAndAreFreed)
{
    QPointer<gui::AboutDialog> about;
    EXPECT_TRUE(
        modal<gui::AboutDialog>([&] { main->aboutAction->trigger(); }, [&](gui::AboutDialog *box) { about = box; }));
    EXPECT_TRUE(about.isNull());

    main->pageLines.setText("<html>\n<body>");
    QString shown;
    QPointer<gui::PageSourceDialog> source;
    EXPECT_TRUE(modal<gui::PageSourceDialog>([&] { main->pageSourceAction->trigger(); },
                                             [&](gui::PageSourceDialog *form) {
                                                 shown = form->sourceText->toPlainText();
                                                 source = form;
                                             }));
    EXPECT_EQ(shown, "<html>\n<body>");
    EXPECT_TRUE(source.isNull());
}

TEST_F(Startup, TheProductManualBuiltNextToTheProgramOpensThroughTheShell)
{
    const QString manual = core::ProgramFolderFile("manual.pdf");
    QFile pdf(manual);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly)) << "the build places the manual next to the program";
    EXPECT_TRUE(pdf.read(5).startsWith("%PDF-"));
    pdf.close();

    platform::FakeShell shell;
    main->manualAction->trigger();
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(QString::fromStdString(shell.opened.front()), QUrl::fromLocalFile(manual).toString(QUrl::FullyEncoded));

    // Without the manual nothing happens and nothing is said.
    const QString away = manual + ".away";
    ASSERT_TRUE(QFile::rename(manual, away));
    struct PutBack
    {
        QString from, to;
        ~PutBack() { QFile::rename(from, to); }
    } putBack{away, manual};
    MessageBoxService::reset();
    main->manualAction->trigger();
    EXPECT_EQ(shell.opened.size(), 1u);
    EXPECT_TRUE(MessageBoxService::answeredQuestions().empty());
}

TEST_F(Startup, TheSplashAnswersTheWindowSystemWhileItWaits)
{
    const auto dotWait = MainWindow::SplashDotWait;
    MainWindow::SplashDotWait = std::chrono::milliseconds(40);
    gui::SplashScreen splash(main);
    // Stands for the desktop's ping, due while the dots count.
    bool answeredWhileShown = false;
    QTimer::singleShot(60, [&] { answeredWhileShown = splash.isVisible(); });
    main->RunSplash(&splash);
    MainWindow::SplashDotWait = dotWait;
    EXPECT_TRUE(answeredWhileShown);
}
