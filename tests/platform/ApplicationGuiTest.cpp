#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>

#include "platform/MessageBox.h"
#include "support/TestUtil.h"

using namespace lotfinch;
using platform::MessageBoxService;

namespace {

class Throwing : public QObject
{
protected:
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::User)
            throw std::runtime_error("List index out of bounds (3)");
        return QObject::event(e);
    }
};

} // namespace

TEST(ErrorBox, AnExceptionFromAnEventHandlerShowsItsTextAndTheProgramGoesOn)
{
    MessageBoxService::reset();
    MessageBoxService::preAnswer(platform::MsgAnswer::OK);
    MessageBoxService::preAnswer(platform::MsgAnswer::OK);

    Throwing target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    bool slotThrew = false;
    QTimer::singleShot(0, [&] {
        slotThrew = true;
        throw std::logic_error("Timer handler failed");
    });
    bool later = false;
    QTimer::singleShot(10, [&] { later = true; });

    ASSERT_TRUE(test::waitUntil([&] { return later; }));
    EXPECT_TRUE(slotThrew);
    auto &asked = MessageBoxService::answeredQuestions();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].text, "List index out of bounds (3)");
    EXPECT_EQ(asked[0].icon, platform::MsgIcon::Error);
    EXPECT_EQ(asked[1].text, "Timer handler failed");
    MessageBoxService::reset();
}
