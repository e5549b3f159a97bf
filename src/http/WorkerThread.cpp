#include "http/WorkerThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace lotfinch::http {

namespace {

const int PriorityTable[] = {-15, -2, -1, 0, 1, 2, 15}; // by WorkerPriority
// Workers left at exit are already cancelled; this only bounds a stuck one.
constexpr int ExitWaitMs = 5000;
const QEvent::Type CallEvent = static_cast<QEvent::Type>(QEvent::User + 0x0FFF);

// The GUI-side receiver of workers' calls. Its posted events wake the GUI's
// event loop; the calls themselves wait in the shared queue below.
class EventWindow : public QObject
{
public:
    bool event(QEvent *e) override;
};

struct PendingCall
{
    std::function<void()> method;
    std::shared_ptr<detail::WorkerState> worker;
    bool done = false;
};

// Everything workers and the GUI thread share. One mutex guards it all; it is
// never held while a call or a handler runs.
struct Shared
{
    std::mutex mutex;
    std::condition_variable changed; // a call was queued or done, a worker ended, a suspend lifted
    std::deque<std::shared_ptr<PendingCall>> calls;
    EventWindow *window = nullptr;
    int windowUsers = 0;
    std::atomic<int> liveWorkers{0};
};

Shared &shared()
{
    static Shared *instance = new Shared; // outlives detached workers at exit
    return *instance;
}

EventWindow *acquireEventWindow()
{
    Shared &s = shared();
    std::lock_guard lock(s.mutex);
    if (s.windowUsers++ == 0) {
        s.window = new EventWindow;
        if (auto *app = QCoreApplication::instance(); app && s.window->thread() != app->thread())
            s.window->moveToThread(app->thread());
    }
    return s.window;
}

void releaseEventWindow()
{
    Shared &s = shared();
    std::lock_guard lock(s.mutex);
    if (--s.windowUsers == 0) {
        if (QThread::currentThread() == s.window->thread())
            delete s.window;
        else
            s.window->deleteLater();
        s.window = nullptr;
    }
}

thread_local std::shared_ptr<detail::WorkerState> currentWorker;

} // namespace

namespace detail {

struct WorkerState
{
    WorkerThread *owner = nullptr; // dereferenced on the GUI thread only, and only while not abandoned
    NotifyEvent onExecute, onException, onFinish;
    bool handleExceptions = true;
    std::atomic<bool> terminated{false}, started{false}, running{false}, ended{false}, abandoned{false};
    int suspendCount = 1;                 // guarded by Shared::mutex
    std::function<void()> abandonHandler; // guarded by Shared::mutex
    std::mutex workerCall;                // held while an event runs on the worker
    std::atomic<WorkerPriority> priority{WorkerPriority::Normal};
    std::atomic<pid_t> tid{0};
    EventWindow *window = nullptr; // the worker's own reference, while it runs

    // On the GUI thread: whether calls for this worker may still reach its owner.
    bool ownerReachable() const { return !abandoned && !owner->Destroying(); }
};

} // namespace detail

namespace {

// Runs the queued calls on the GUI thread. A call whose worker was abandoned,
// or whose owner is being destroyed, is dropped; exceptions stop here.
void runPendingCalls()
{
    Shared &s = shared();
    for (;;) {
        std::shared_ptr<PendingCall> call;
        {
            std::lock_guard lock(s.mutex);
            if (s.calls.empty())
                return;
            call = s.calls.front();
            s.calls.pop_front();
        }
        if (call->worker->ownerReachable()) {
            try {
                call->method();
            } catch (...) {
                // The worker carries on: nothing of a failed call goes back to it.
            }
        }
        {
            std::lock_guard lock(s.mutex);
            call->done = true;
        }
        s.changed.notify_all();
    }
}

bool EventWindow::event(QEvent *e)
{
    if (e->type() != CallEvent)
        return QObject::event(e);
    runPendingCalls();
    return true;
}

void applyPriority(const detail::WorkerState &state)
{
    int nice = -PriorityTable[state.priority.load()];
    if (pid_t tid = state.tid.load())
        setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice); // a refusal keeps the old value
}

void threadProcedure(std::shared_ptr<detail::WorkerState> state)
{
    currentWorker = state;
    state->tid = gettid();
    applyPriority(*state);
    if (!state->terminated && !state->abandoned) {
        state->running = true;
        if (state->onExecute && !state->abandoned) {
            try {
                state->onExecute(state->owner);
            } catch (...) {
                if (state->handleExceptions && state->onException)
                    EventThread::Synchronize([&state] { state->onException(state->owner); });
            }
        }
        // What the job held (its request, its stream) goes with it, abandoned or not.
        state->onExecute = nullptr;
        if (state->onFinish) {
            EventThread::Synchronize([&state] {
                try {
                    state->onFinish(state->owner);
                } catch (...) {
                    if (state->onException && state->ownerReachable())
                        state->onException(state->owner);
                }
            });
        }
        state->running = false;
    }
    Shared &s = shared();
    EventWindow *window = state->window;
    {
        std::lock_guard lock(s.mutex);
        state->ended = true;
        state->abandonHandler = nullptr;
    }
    s.changed.notify_all();
    // Wakes a GUI thread that waits for this worker inside its event loop.
    QCoreApplication::postEvent(window, new QEvent(QEvent::None));
    currentWorker.reset();
    state.reset();
    releaseEventWindow();
    {
        std::lock_guard lock(s.mutex);
        --s.liveWorkers;
    }
    s.changed.notify_all();
}

void waitForWorkersAtExit()
{
    EventThread::WaitForLiveWorkers(ExitWaitMs);
}

} // namespace

EventThread::EventThread(WorkerThread *owner) : owner_(owner), state_(std::make_shared<detail::WorkerState>())
{
    state_->owner = owner;
    acquireEventWindow();
}

EventThread::~EventThread()
{
    state_->terminated = true;
    if (state_->started && !state_->abandoned)
        WaitFor();
    releaseEventWindow();
}

bool EventThread::Synchronize(const std::function<void()> &method)
{
    std::shared_ptr<detail::WorkerState> state = currentWorker;
    if (!state)
        return false;
    Shared &s = shared();
    auto call = std::make_shared<PendingCall>();
    call->method = method;
    call->worker = state;
    std::unique_lock lock(s.mutex);
    // A suspended worker pauses here, before it touches the GUI again.
    s.changed.wait(lock, [&] { return state->suspendCount == 0 || state->abandoned; });
    if (state->abandoned)
        return false;
    s.calls.push_back(call);
    QCoreApplication::postEvent(state->window, new QEvent(CallEvent));
    s.changed.notify_all();
    s.changed.wait(lock, [&] { return call->done; });
    return !state->abandoned;
}

bool EventThread::Abandoned()
{
    return currentWorker && currentWorker->abandoned;
}

bool EventThread::RunUnlessAbandoned(const std::function<void()> &call)
{
    std::shared_ptr<detail::WorkerState> state = currentWorker;
    if (!state)
        return false;
    std::lock_guard lock(state->workerCall);
    if (state->abandoned)
        return false;
    call();
    return true;
}

void EventThread::SetAbandonHandler(std::function<void()> handler)
{
    if (!currentWorker)
        return;
    std::lock_guard lock(shared().mutex);
    currentWorker->abandonHandler = std::move(handler);
}

int EventThread::WaitFor()
{
    Shared &s = shared();
    bool onGui = QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
    for (;;) {
        if (onGui)
            runPendingCalls();
        std::unique_lock lock(s.mutex);
        if (state_->ended || !state_->started)
            return ReturnValue();
        s.changed.wait(lock, [&] { return state_->ended.load() || (onGui && !s.calls.empty()); });
    }
}

void EventThread::Suspend()
{
    std::lock_guard lock(shared().mutex);
    ++state_->suspendCount;
}

void EventThread::Resume()
{
    Shared &s = shared();
    bool start = false;
    {
        std::lock_guard lock(s.mutex);
        if (state_->suspendCount == 0)
            return;
        if (--state_->suspendCount == 0 && !state_->started && !state_->terminated) {
            state_->started = true;
            start = true;
        }
    }
    s.changed.notify_all();
    if (!start)
        return;
    state_->onExecute = OnExecute;
    state_->onException = OnException;
    state_->onFinish = OnFinish;
    if (owner_)
        state_->handleExceptions = owner_->HandleExceptions;
    state_->window = acquireEventWindow();
    ++s.liveWorkers;
    static std::once_flag exitWait;
    std::call_once(exitWait, [] { qAddPostRoutine(waitForWorkersAtExit); });
    try {
        std::thread(threadProcedure, state_).detach();
    } catch (const std::system_error &) {
        // Out of threads: this object never runs its job.
        {
            std::lock_guard lock(s.mutex);
            state_->started = false;
            state_->terminated = true;
            --s.liveWorkers;
        }
        state_->window = nullptr;
        releaseEventWindow();
        throw;
    }
}

bool EventThread::Suspended() const
{
    std::lock_guard lock(shared().mutex);
    return state_->suspendCount > 0;
}

bool EventThread::Running() const
{
    return state_->running;
}

bool EventThread::Started() const
{
    return state_->started;
}

bool EventThread::Finished() const
{
    return state_->ended;
}

WorkerPriority EventThread::Priority() const
{
    pid_t tid = state_->tid;
    if (!tid || state_->ended)
        return state_->priority;
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (errno != 0)
        return state_->priority;
    for (int p = WorkerPriority::Idle; p <= WorkerPriority::TimeCritical; ++p)
        if (PriorityTable[p] == -nice)
            return static_cast<WorkerPriority>(p);
    return WorkerPriority::Normal;
}

void EventThread::SetPriority(WorkerPriority priority)
{
    state_->priority = priority;
    if (state_->started && !state_->ended)
        applyPriority(*state_);
}

std::unique_ptr<EventThread> EventThread::Clone() const
{
    auto clone = std::make_unique<EventThread>(owner_);
    clone->state_->priority = state_->priority.load();
    clone->OnExecute = OnExecute;
    clone->OnException = OnException;
    clone->OnFinish = OnFinish;
    return clone;
}

void EventThread::Abandon()
{
    Shared &s = shared();
    std::function<void()> handler;
    {
        std::lock_guard lock(s.mutex);
        state_->abandoned = true;
        state_->terminated = true;
        handler = std::move(state_->abandonHandler);
        // Calls already queued for it are dropped unrun.
        for (auto it = s.calls.begin(); it != s.calls.end();) {
            if ((*it)->worker == state_) {
                (*it)->done = true;
                it = s.calls.erase(it);
            } else {
                ++it;
            }
        }
    }
    s.changed.notify_all();
    if (handler)
        handler();
    // An event running on the worker ends before the owner may go.
    if (currentWorker != state_) {
        std::lock_guard wait(state_->workerCall);
    }
}

int EventThread::LiveWorkers()
{
    return shared().liveWorkers;
}

bool EventThread::WaitForLiveWorkers(int boundMs)
{
    Shared &s = shared();
    std::unique_lock lock(s.mutex);
    return s.changed.wait_for(lock, std::chrono::milliseconds(boundMs), [&] { return s.liveWorkers == 0; });
}

int EventThread::EventWindowUsers()
{
    std::lock_guard lock(shared().mutex);
    return shared().windowUsers;
}

namespace {

// Counts the events the GUI thread handles while a wait cycle runs, except
// those of the cycle's own time-out timer.
class ActivityWatch : public QObject
{
public:
    explicit ActivityWatch(const QObject *ignored) : ignored_(ignored)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~ActivityWatch() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *) override
    {
        if (watched != ignored_)
            ++count;
        return false;
    }
    int count = 0;

private:
    const QObject *ignored_;
};

} // namespace

WorkerThread::WorkerThread(QObject *owner) : QObject(owner), thread_(std::make_unique<EventThread>(this))
{}

WorkerThread::~WorkerThread()
{
    destroying_ = true;
    *alive_ = false;
    RenewThread();
    thread_.reset();
}

void WorkerThread::RenewThread()
{
    if (thread_->Started() && !thread_->Finished())
        thread_->Abandon();
    std::unique_ptr<EventThread> fresh = thread_->Clone();
    thread_ = std::move(fresh);
}

void WorkerThread::Terminate()
{
    RenewThread();
}

void WorkerThread::Suspend()
{
    thread_->Suspend();
}

bool WorkerThread::Execute()
{
    Terminate();
    std::shared_ptr<bool> alive = alive_;
    std::shared_ptr<detail::WorkerState> state = thread_->state_;
    thread_->Resume();
    if (!WaitThread)
        return true;
    if (!QCoreApplication::instance()) {
        // No event loop to keep alive: a plain wait.
        thread_->WaitFor();
        return true;
    }

    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    bool timedOut = false;
    QObject::connect(&timer, &QTimer::timeout, [&timedOut] { timedOut = true; });
    ActivityWatch watch(&timer);
    while (!state->ended) {
        watch.count = 0;
        timedOut = false;
        if (WaitTimeout > 0)
            timer.start(WaitTimeout);
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        timer.stop();
        if (!*alive)
            return true; // destroyed by a handler during the wait: touch nothing more
        if (state->ended)
            break;
        if (timedOut && watch.count == 0) {
            bool terminateThread = true;
            if (OnWaitTimeoutExpired)
                OnWaitTimeoutExpired(this, terminateThread);
            if (*alive && terminateThread)
                Terminate();
            return !terminateThread;
        }
        if (destroying_ || QCoreApplication::closingDown())
            return true;
    }
    QCoreApplication::processEvents();
    return true;
}

} // namespace lotfinch::http
