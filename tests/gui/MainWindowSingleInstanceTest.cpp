// Copies of a small program that starts like Lotfinch (the start-up check,
// then the main window with its guard) meet each other as real processes.
#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <signal.h>

#include "desktop/SingleInstance.h"
#include "platform/InstanceRecord.h"
#include "support/TestUtil.h"

using namespace lotfinch;
using test::waitUntil;

namespace {

// One copy of the driver program, ended with the test.
class Copy
{
public:
    Copy(const QString &runtime, const QStringList &arguments, const QStringList &environment)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime);
        for (const QString &pair : environment)
            env.insert(pair.section('=', 0, 0), pair.section('=', 1));
        process_.setProcessEnvironment(env);
        process_.start(SINGLE_INSTANCE_DRIVER, arguments);
        process_.waitForStarted();
    }
    ~Copy()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        signal(SIGCONT);
        process_.kill();
        process_.waitForFinished();
    }

    void signal(int number) { ::kill(static_cast<pid_t>(process_.processId()), number); }
    bool ended() const { return process_.state() == QProcess::NotRunning; }
    // True when it ended by itself with exit code 0.
    bool endsWell()
    {
        return waitUntil([&] { return ended(); }, 60000) && process_.exitStatus() == QProcess::NormalExit &&
               process_.exitCode() == 0;
    }
    // The lines it printed so far.
    QStringList lines()
    {
        output_ += QString::fromUtf8(process_.readAllStandardOutput());
        return output_.split('\n', Qt::SkipEmptyParts);
    }
    bool waitForLines(int count)
    {
        return waitUntil([&] { return lines().size() >= count; }, 60000);
    }

private:
    QProcess process_;
    QString output_;
};

class MainWindowSingleInstance : public testing::Test
{
protected:
    // The first copy, taking hand-overs under limit.
    std::unique_ptr<Copy> first(int limit, const QString &runtime = QString())
    {
        auto copy = std::make_unique<Copy>(runtime.isEmpty() ? folder.path() : runtime, QStringList{},
                                           QStringList{"LOTFINCH_MAX_NEW_INSTANCES=" + QString::number(limit)});
        EXPECT_TRUE(copy->waitForLines(1));
        EXPECT_EQ(copy->lines(), QStringList{"first"});
        return copy;
    }
    // A further copy; it waits up to a minute for the first copy to answer.
    std::unique_ptr<Copy> further(const QStringList &arguments = {})
    {
        return std::make_unique<Copy>(folder.path(), arguments, QStringList{"LOTFINCH_TRANSPORT_TIMEOUT=60000"});
    }
    platform::InstanceRecord record() const
    {
        return platform::InstanceRecord(folder.filePath(desktop::InstanceName(SINGLE_INSTANCE_DRIVER) + ".record"));
    }

    QTemporaryDir folder;
};

TEST_F(MainWindowSingleInstance, UnderLimitZeroAFurtherCopyEndsAtOnceAndTheFirstHearsNothing)
{
    auto running = first(0);
    auto copy = further({"ignored"});
    ASSERT_TRUE(copy->endsWell());
    EXPECT_TRUE(copy->lines().isEmpty());
    test::runEventsFor(500);
    EXPECT_EQ(running->lines(), QStringList{"first"});
}

TEST_F(MainWindowSingleInstance, WithoutLimitEveryCopyHandsItsArgumentsOverUnchanged)
{
    auto running = first(-1);
    struct Case
    {
        QStringList arguments;
        QString message;
    } cases[] = {
        {{}, R"(NewInstanceLoad with 00 parameter(s):\r\n)"},
        {{"Grüße", "日本語 テキスト"}, R"(NewInstanceLoad with 02 parameter(s):\r\n\r\nGrüße\r\n日本語 テキスト)"},
        {{"say \"hi\"", "C:\\dir\\", "", "a", "b", "c", "d", "e", "f", "g", "h", "i"},
         R"(NewInstanceLoad with 12 parameter(s):\r\n\r\nsay "hi"\r\nC:\dir\\r\n\r\na\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\nh\r\ni)"},
    };
    int expected = 1;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        ASSERT_TRUE(further(c.arguments)->endsWell());
        ASSERT_TRUE(running->waitForLines(++expected));
        EXPECT_EQ(running->lines().back(), c.message);
    }
}

TEST_F(MainWindowSingleInstance, UnderLimitTwoAtMostTwoCopiesHandOverAtOnce)
{
    auto running = first(2);
    // While the first copy is stopped, copies that got a place wait for its answer.
    running->signal(SIGSTOP);
    std::vector<std::unique_ptr<Copy>> copies;
    for (int i = 0; i < 5; ++i)
        copies.push_back(further({"copy " + QString::number(i)}));
    auto endedCount = [&] { return std::count_if(copies.begin(), copies.end(), [](auto &c) { return c->ended(); }); };
    ASSERT_TRUE(waitUntil([&] { return endedCount() == 3; }, 30000));
    EXPECT_EQ(record().loadingCount(), 2);
    test::runEventsFor(500);
    EXPECT_EQ(endedCount(), 3) << "two copies hand over";

    running->signal(SIGCONT);
    for (auto &copy : copies)
        EXPECT_TRUE(copy->endsWell());
    ASSERT_TRUE(running->waitForLines(3));
    test::runEventsFor(500);
    EXPECT_EQ(running->lines().size(), 3) << running->lines().join('\n').toStdString();
    EXPECT_EQ(record().loadingCount(), 0);
}

TEST_F(MainWindowSingleInstance, ACopyKilledWhileHandingOverLeavesNoPlaceTaken)
{
    auto running = first(1);
    running->signal(SIGSTOP);
    auto killed = further({"killed"});
    ASSERT_TRUE(waitUntil([&] { return record().loadingCount() == 1; }));
    killed->signal(SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return killed->ended(); }));
    EXPECT_EQ(record().loadingCount(), 0);

    auto next = further({"next"});
    ASSERT_TRUE(waitUntil([&] { return record().loadingCount() == 1; }));
    running->signal(SIGCONT);
    ASSERT_TRUE(next->endsWell());
    ASSERT_TRUE(waitUntil([&] { return running->lines().join('\n').contains(R"(\r\n\r\nnext)"); }, 30000))
        << running->lines().join('\n').toStdString();
}

TEST_F(MainWindowSingleInstance, AfterTheFirstCopyIsKilledTheNextStartRunsFirst)
{
    auto running = first(0);
    running->signal(SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return running->ended(); }));
    auto next = first(0);
    EXPECT_FALSE(next->ended());
}

TEST_F(MainWindowSingleInstance, CopiesOfDifferentUsersDoNotSeeEachOther)
{
    QTemporaryDir otherUser;
    auto mine = first(-1);
    auto theirs = first(-1, otherUser.path());
    ASSERT_TRUE(further({"mine"})->endsWell());
    ASSERT_TRUE(mine->waitForLines(2));
    test::runEventsFor(500);
    EXPECT_EQ(theirs->lines(), QStringList{"first"});
}

} // namespace
