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
using gui::TApplicationForm;
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

    TApplicationForm *main = new TApplicationForm;
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
    EXPECT_EQ(main->VersionText, "2.0.1") << "read during the window's creation";
    EXPECT_EQ(main->DefaultTrayHint(), "Lotfinch (Desktop) 2.0.1 from Pellory");
    EXPECT_TRUE(main->findChildren<gui::TSplashForm *>().isEmpty()) << "the splash is gone after start-up";

    main->VersionText.clear();
    gui::TSplashForm splash(main);
    SplashWatch watch(splash.LabelInit);
    main->RunSplash(&splash);
    const QString init = "Initializing the Lotfinch";
    EXPECT_EQ(watch.texts, (QStringList{init, init + ".", init + "..", init + "...", init + "....", init + "....."}));
    EXPECT_TRUE(watch.busyCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(splash.isVisible());
    EXPECT_EQ(splash.LabelBuildNo->text(), "Build 2.0.1.28");
    EXPECT_EQ(main->VersionText, "2.0.1");
}

TEST_F(Startup, AProgramFileWithoutVersionInformationStillStarts)
{
    MessageBoxService::reset();
    MessageBoxService::preAnswer(platform::MsgAnswer::OK);
    gui::TSplashForm splash(main);
    splash.StVersionInfo1->SetFileName("/bin/true");
    main->RunSplash(&splash);
    EXPECT_EQ(main->VersionText, "");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_EQ(MessageBoxService::answeredQuestions().size(), 1u) << "the splash's own error is shown once";
    EXPECT_EQ(MessageBoxService::answeredQuestions().front().text, "File does not contain version info");
    MessageBoxService::reset();
}

TEST_F(Startup, TheButtonHintsNameThePhraseInBoldAndOnlyOverAnEnabledButton)
{
    main->comboSearchString->setEditText("digital camera");
    main->StartedPhrase = "brass lamp";
    main->BitBtn3->setEnabled(true);
    const struct
    {
        QPushButton *button;
        QString phrase;
        bool enabled;
        QString hint;
    } cases[] = {
        {main->BitBtn1, "digital camera", true, "Start searching for \"<b>digital camera</b>\"..."},
        {main->BitBtn3, "anything", true, "View all matches found for \"<b>brass lamp</b>\"..."},
        {main->BitBtn1, "a<i>b</i> & c", true, "Start searching for \"<b>a&lt;i&gt;b&lt;/i&gt; && c</b>\"..."},
        {main->BitBtn1, "digital camera", false, ""},
    };
    for (const auto &c : cases) {
        main->comboSearchString->setEditText(c.phrase);
        c.button->setEnabled(c.enabled);
        mouseOver(c.button);
        EXPECT_EQ(c.button->toolTip(), c.hint) << c.phrase.toStdString();
    }

    // The HTML hint draws the phrase as it was typed.
    main->comboSearchString->setEditText("a<i>b</i> & c");
    main->BitBtn1->setEnabled(true);
    mouseOver(main->BitBtn1);
    ASSERT_TRUE(main->HTMLHint1->ShowHintFor(main->BitBtn1, main->BitBtn1->mapToGlobal(QPoint(5, 5))));
    std::string drawn, bold;
    for (const core::HintItem &item : main->HTMLHint1->HintWindow()->Layout().items)
        if (item.kind == core::HintItemKind::Text) {
            drawn += item.text;
            if (item.font.bold)
                bold += item.text;
        }
    EXPECT_EQ(drawn, "Start searching for \"a<i>b</i> & c\"...");
    EXPECT_EQ(bold, "a<i>b</i> & c");
    main->HTMLHint1->HideHint();
}

TEST_F(Startup, AboutAndThePageSourceOpenModallyFromTheMenuAndAreFreed)
{
    QPointer<gui::TAboutBox> about;
    EXPECT_TRUE(
        modal<gui::TAboutBox>([&] { main->AboutLotfinch1->trigger(); }, [&](gui::TAboutBox *box) { about = box; }));
    EXPECT_TRUE(about.isNull());

    main->PageLines.setText("<html>\n<body>");
    QString shown;
    QPointer<gui::TSourceForm> source;
    EXPECT_TRUE(modal<gui::TSourceForm>([&] { main->ShowHTMLSource1->trigger(); },
                                        [&](gui::TSourceForm *form) {
                                            shown = form->Memo1->toPlainText();
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
    main->ProductManual1->trigger();
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
    main->ProductManual1->trigger();
    EXPECT_EQ(shell.opened.size(), 1u);
    EXPECT_TRUE(MessageBoxService::answeredQuestions().empty());
}

TEST_F(Startup, TheSplashAnswersTheWindowSystemWhileItWaits)
{
    const auto dotWait = TApplicationForm::SplashDotWait;
    TApplicationForm::SplashDotWait = std::chrono::milliseconds(40);
    gui::TSplashForm splash(main);
    // Stands for the desktop's ping, due while the dots count.
    bool answeredWhileShown = false;
    QTimer::singleShot(60, [&] { answeredWhileShown = splash.isVisible(); });
    main->RunSplash(&splash);
    TApplicationForm::SplashDotWait = dotWait;
    EXPECT_TRUE(answeredWhileShown);
}
