#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>

// The threading base of the HTTP component: one worker thread per job, calls
// handed to the GUI thread, and waiting for a job while the GUI stays alive.
namespace lotfinch::http {

enum WorkerPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

class WorkerThread;
using NotifyEvent = std::function<void(QObject *sender)>;
using ThreadWaitTimeoutExpired = std::function<void(QObject *sender, bool &terminateThread)>;

namespace detail {
struct WorkerState;
}

// One job on one operating-system thread. It starts only when resumed, runs
// its job once, and is never restarted.
class EventThread
{
public:
    explicit EventThread(WorkerThread *owner);
    // Never started: it never will be. Running: waits for the job to end
    // (keeping the GUI's calls flowing) unless it was abandoned first.
    ~EventThread();
    EventThread(const EventThread &) = delete;
    EventThread &operator=(const EventThread &) = delete;

    // Runs method on the GUI thread and returns once it has run. Only from a
    // worker; false when the call was dropped because its job was abandoned
    // or its owner is going away.
    static bool Synchronize(const std::function<void()> &method);
    // On a worker: its job has been abandoned and must end without further calls.
    static bool Abandoned();
    // On a worker: handler runs (on whatever thread abandons the job) when the job is abandoned.
    static void SetAbandonHandler(std::function<void()> handler);
    // On a worker: runs call there unless its job was abandoned; abandoning
    // waits for a call in progress, so none runs after it. False when dropped.
    static bool RunUnlessAbandoned(const std::function<void()> &call);

    // Blocks until the job has ended; on the GUI thread, calls from the worker still run.
    int WaitFor();
    // Counted: the job starts when the count returns to 0. A running worker
    // pauses at its next call to the GUI thread. Resume throws std::system_error
    // when no thread can be started; the job then never runs.
    void Suspend();
    void Resume();
    bool Suspended() const;
    bool Running() const;
    bool Started() const;
    // The worker has ended (after its job and finish handler, or without them).
    bool Finished() const;

    WorkerPriority Priority() const;
    void SetPriority(WorkerPriority priority);
    // Same owner, priority and handlers; suspended, job not started.
    std::unique_ptr<EventThread> Clone() const;
    // Forcible stop: the worker is left to end by itself. It runs no more of
    // the owner's code and drops its calls; the abandon handler tells the job.
    void Abandon();

    NotifyEvent OnExecute, OnException, OnFinish;
    // Nothing sets an exit code: it is always 0.
    int ReturnValue() const { return 0; }

    // Workers whose operating-system thread has not yet ended (for tidy shutdown and tests).
    static int LiveWorkers();
    // Waits up to boundMs for every worker to end; whether they did. Runs by
    // itself when the application object goes, so that no abandoned worker is
    // still inside the HTTP library while the process ends.
    static bool WaitForLiveWorkers(int boundMs);
    // Users of the GUI-side call window: thread objects and running workers.
    static int EventWindowUsers();

private:
    friend class WorkerThread;
    WorkerThread *owner_;
    std::shared_ptr<detail::WorkerState> state_;
};

// Owns the current thread object on behalf of a component and runs its job,
// either returning at once or waiting while the GUI keeps handling events.
class WorkerThread : public QObject
{
public:
    explicit WorkerThread(QObject *owner);
    ~WorkerThread() override;

    // Runs the job on a fresh worker. True when started without waiting or the
    // wait ended normally; false when a wait time-out stopped the worker.
    bool Execute();
    // Replaces the thread object by a fresh one, abandoning a running job.
    void Terminate();
    void Suspend();
    // True while the component is being destroyed: marshalled calls are dropped.
    bool Destroying() const { return destroying_; }

    WorkerPriority Priority() const { return thread_->Priority(); }
    void SetPriority(WorkerPriority priority) { thread_->SetPriority(priority); }
    void SetOnExecute(NotifyEvent handler) { thread_->OnExecute = std::move(handler); }
    void SetOnException(NotifyEvent handler) { thread_->OnException = std::move(handler); }
    void SetOnFinish(NotifyEvent handler) { thread_->OnFinish = std::move(handler); }
    EventThread *Thread() const { return thread_.get(); }

    bool HandleExceptions = true;
    bool WaitThread = false;
    int WaitTimeout = 0; // milliseconds of one wait cycle; 0 = no limit
    ThreadWaitTimeoutExpired OnWaitTimeoutExpired;

private:
    void RenewThread();

    std::unique_ptr<EventThread> thread_;
    bool destroying_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace lotfinch::http
