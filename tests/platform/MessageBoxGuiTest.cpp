#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/MessageBox.h"

using namespace lotfinch::platform;

// A person answers the box by a button's letter, alone or with Alt, whatever
// desktop theme named the buttons.
TEST(MessageBox, EachButtonAnswersItsLetter)
{
    struct Case
    {
        MsgButtons buttons;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        MsgAnswer answer;
    };
    const Case cases[] = {
        {MsgButtons::OKCancel, Qt::Key_O, Qt::NoModifier, MsgAnswer::OK},
        {MsgButtons::OKCancel, Qt::Key_C, Qt::NoModifier, MsgAnswer::Cancel},
        {MsgButtons::OKCancel, Qt::Key_O, Qt::AltModifier, MsgAnswer::OK},
        {MsgButtons::OK, Qt::Key_O, Qt::NoModifier, MsgAnswer::OK},
        {MsgButtons::YesNo, Qt::Key_N, Qt::NoModifier, MsgAnswer::No},
        {MsgButtons::YesNoCancel, Qt::Key_Y, Qt::NoModifier, MsgAnswer::Yes},
        {MsgButtons::YesNoCancel, Qt::Key_C, Qt::NoModifier, MsgAnswer::Cancel},
    };
    MessageBoxService::reset();
    for (const Case &c : cases) {
        SCOPED_TRACE(QKeySequence(c.key | c.modifiers).toString().toStdString());
        QStringList shown;
        bool closedByKey = false;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            for (QAbstractButton *button : box->buttons())
                shown << button->text();
            if (!QTest::qWaitForWindowActive(box))
                return box->reject();
            QTest::keyClick(box, c.key, c.modifiers);
            // A button pressed by its letter shows itself pressed a moment.
            closedByKey = QTest::qWaitFor([box] { return !box->isVisible(); }, 2000);
            if (!closedByKey)
                box->reject();
        });
        const MsgAnswer answer = MessageBoxService::ask(nullptr, "All search crawling will stop when closed.",
                                                        "CLOSE APPLICATION", MsgIcon::Warning, c.buttons);
        EXPECT_TRUE(closedByKey) << shown.join(' ').toStdString();
        EXPECT_EQ(answer, c.answer) << shown.join(' ').toStdString();
    }
}
