#include <QThread>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include "http/WorkerThread.h"
#include "support/TestUtil.h"

using namespace lotfinch::http;
using lotfinch::test::runEventsFor;
using lotfinch::test::waitUntil;

namespace {

bool onGuiThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// A job that runs until released, and a log of where each handler ran.
struct Job
{
    std::atomic<bool> release{false};
    std::atomic<bool> jobOnWorker{false};
    std::vector<std::string> log; // GUI thread only

    void install(WorkerThread &thread)
    {
        thread.SetOnExecute([this](QObject *) {
            jobOnWorker = !onGuiThread();
            EventThread::Synchronize([this] { log.push_back(onGuiThread() ? "call on GUI" : "call elsewhere"); });
            while (!release)
                QThread::msleep(5);
        });
        thread.SetOnFinish([this](QObject *) { log.push_back(onGuiThread() ? "finish on GUI" : "finish elsewhere"); });
        thread.SetOnException([this](QObject *) { log.push_back("exception"); });
    }
};

class WorkerThreadTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        EXPECT_TRUE(waitUntil([] { return EventThread::LiveWorkers() == 0; }));
    }
};

TEST_F(WorkerThreadTest, ExecuteWithAndWithoutWaiting)
{
    for (bool wait : {false, true}) {
        SCOPED_TRACE(wait ? "waiting" : "not waiting");
        QObject owner;
        auto *thread = new WorkerThread(&owner);
        Job job;
        job.install(*thread);
        thread->WaitThread = wait;
        if (wait)
            QTimer::singleShot(50, [&] { job.release = true; });
        else
            job.release = true;
        EXPECT_TRUE(thread->Execute());
        if (!wait) {
            EXPECT_TRUE(waitUntil([&] { return job.log.size() == 2; }));
        }
        EXPECT_EQ(job.log, (std::vector<std::string>{"call on GUI", "finish on GUI"}));
        EXPECT_TRUE(job.jobOnWorker);
    }
}

TEST_F(WorkerThreadTest, ExceptionsStopAtTheThreadBoundary)
{
    QObject owner;
    auto *thread = new WorkerThread(&owner);
    std::vector<std::string> log;
    std::atomic<bool> workerWentOn{false};
    thread->SetOnExecute([&](QObject *) {
        EventThread::Synchronize([] { throw std::runtime_error("call fails"); });
        workerWentOn = true;
        throw std::runtime_error("job fails");
    });
    thread->SetOnException(
        [&](QObject *) { log.push_back(onGuiThread() ? "exception on GUI" : "exception elsewhere"); });
    thread->SetOnFinish([&](QObject *) {
        log.push_back("finish");
        throw std::runtime_error("finish fails");
    });
    thread->WaitThread = true;
    EXPECT_TRUE(thread->Execute());
    EXPECT_TRUE(workerWentOn);
    EXPECT_EQ(log, (std::vector<std::string>{"exception on GUI", "finish", "exception on GUI"}));
}

TEST_F(WorkerThreadTest, WaitTimeout)
{
    struct Case
    {
        const char *name;
        bool terminate;
        bool expected;
        std::vector<std::string> log;
    } cases[] = {
        {"worker stopped", true, false, {"call on GUI"}},
        {"worker left running", false, true, {"call on GUI", "finish on GUI"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QObject owner;
        auto *thread = new WorkerThread(&owner);
        Job job;
        job.install(*thread);
        thread->WaitThread = true;
        thread->WaitTimeout = 50;
        int expiries = 0;
        thread->OnWaitTimeoutExpired = [&](QObject *sender, bool &terminate) {
            EXPECT_EQ(sender, thread);
            EXPECT_TRUE(terminate);
            ++expiries;
            terminate = c.terminate;
        };
        EXPECT_EQ(thread->Execute(), c.expected);
        EXPECT_EQ(expiries, 1);
        job.release = true;
        EXPECT_TRUE(waitUntil([] { return EventThread::LiveWorkers() == 0; }));
        runEventsFor(50);
        EXPECT_EQ(job.log, c.log);
    }
}

TEST_F(WorkerThreadTest, StreamOfEventsPostponesTheWaitTimeout)
{
    QObject owner;
    auto *thread = new WorkerThread(&owner);
    Job job;
    job.install(*thread);
    thread->WaitThread = true;
    thread->WaitTimeout = 1000;
    int expiries = 0;
    thread->OnWaitTimeoutExpired = [&](QObject *, bool &) { ++expiries; };
    QTimer ticker;
    int ticks = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (++ticks == 150)
            job.release = true;
    });
    ticker.start(10);
    EXPECT_TRUE(thread->Execute());
    EXPECT_EQ(expiries, 0);
    EXPECT_GE(ticks, 150);
}

TEST_F(WorkerThreadTest, DestroyingTheOwnerAbandonsTheJob)
{
    int usersBefore = EventThread::EventWindowUsers();
    Job job;
    {
        QObject owner;
        auto *thread = new WorkerThread(&owner);
        job.install(*thread);
        EXPECT_GT(EventThread::EventWindowUsers(), usersBefore);
        thread->Execute();
        ASSERT_TRUE(waitUntil([&] { return !job.log.empty(); }));
    }
    job.release = true;
    EXPECT_TRUE(waitUntil([] { return EventThread::LiveWorkers() == 0; }));
    runEventsFor(50);
    EXPECT_EQ(job.log, std::vector<std::string>{"call on GUI"});
    EXPECT_EQ(EventThread::EventWindowUsers(), usersBefore);

    {
        // Never started: nothing runs and nothing stays behind.
        QObject owner;
        new WorkerThread(&owner);
    }
    EXPECT_EQ(EventThread::EventWindowUsers(), usersBefore);
}

TEST_F(WorkerThreadTest, SuspendedWorkerPausesBeforeItsNextCall)
{
    QObject owner;
    auto *thread = new WorkerThread(&owner);
    std::atomic<int> calls{0};
    std::atomic<bool> go{false};
    thread->SetOnExecute([&](QObject *) {
        EventThread::Synchronize([&] { ++calls; });
        while (!go)
            QThread::msleep(5);
        EventThread::Synchronize([&] { ++calls; });
    });
    thread->Execute();
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    thread->Suspend();
    EXPECT_TRUE(thread->Thread()->Suspended());
    go = true;
    runEventsFor(100);
    EXPECT_EQ(calls, 1);
    thread->Thread()->Resume();
    EXPECT_TRUE(waitUntil([&] { return calls == 2; }));
}

TEST_F(WorkerThreadTest, ExitWaitsForAbandonedWorkers)
{
    // The job does not notice that it was abandoned and takes its time to end.
    QObject owner;
    auto *thread = new WorkerThread(&owner);
    std::atomic<bool> started{false}, ended{false};
    thread->SetOnExecute([&](QObject *) {
        started = true;
        QThread::msleep(300);
        ended = true;
    });
    thread->Execute();
    ASSERT_TRUE(waitUntil([&] { return started.load(); }));
    thread->Terminate();
    EXPECT_TRUE(EventThread::WaitForLiveWorkers(10000));
    EXPECT_TRUE(ended);
    EXPECT_EQ(EventThread::LiveWorkers(), 0);
}

TEST_F(WorkerThreadTest, PriorityGoesThroughTheTable)
{
    struct Case
    {
        WorkerPriority priority;
        int nice; // what the system shows for the worker
    } cases[] = {
        {WorkerPriority::Idle, 15},          {WorkerPriority::Lowest, 2},  {WorkerPriority::Lower, 1},
        {WorkerPriority::Normal, 0},         {WorkerPriority::Higher, -1}, {WorkerPriority::Highest, -2},
        {WorkerPriority::TimeCritical, -15},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.priority);
        if (c.nice < 0 && geteuid() != 0)
            continue; // raising a priority needs privileges
        QObject owner;
        auto *thread = new WorkerThread(&owner);
        std::atomic<int> seen{100};
        std::atomic<bool> release{false};
        thread->SetOnExecute([&](QObject *) {
            seen = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
            while (!release)
                QThread::msleep(5);
        });
        thread->SetPriority(c.priority);
        EXPECT_EQ(thread->Priority(), c.priority);
        thread->Execute();
        ASSERT_TRUE(waitUntil([&] { return seen != 100; }));
        EXPECT_EQ(seen, c.nice);
        EXPECT_EQ(thread->Priority(), c.priority);
        release = true;
        EXPECT_TRUE(waitUntil([&] { return thread->Thread()->Finished(); }));
    }

    // A value outside the table reads as normal.
    QObject owner;
    auto *thread = new WorkerThread(&owner);
    std::atomic<bool> set{false}, release{false};
    thread->SetOnExecute([&](QObject *) {
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 5);
        set = true;
        while (!release)
            QThread::msleep(5);
    });
    thread->SetPriority(WorkerPriority::Lowest);
    thread->Execute();
    ASSERT_TRUE(waitUntil([&] { return set.load(); }));
    EXPECT_EQ(thread->Priority(), WorkerPriority::Normal);
    release = true;
    EXPECT_TRUE(waitUntil([&] { return thread->Thread()->Finished(); }));
}

} // namespace
