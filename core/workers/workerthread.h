#ifndef WORKERTHREAD_H
#define WORKERTHREAD_H

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <memory>

// A worker object on a thread of its own, the way the dialogs run their workers: the
// holder owns both, the thread runs only while the worker has work (started for a
// request, stopped when the worker reports its end, on a restart and on close), and
// requests go to the worker as queued signals.
//
// The stop sequence: whatever the worker needs to abandon its work is called first by
// the dialog (a stop flag, a blocking stop request); then stop() ends the thread's
// event loop, which also ends a local event loop the worker waits in, waits for the
// thread without a bound, and drops the requests queued to the worker that it never
// got to, so that they cannot run on the next start. The release (the destructor) stops
// the thread the same way, then deletes the worker, then the thread.
template <class Worker>
class WorkerThread
{
public:
    // Takes over worker (created without a parent) and moves it to a new thread, which
    // is not started yet.
    explicit WorkerThread(Worker *worker) : m_worker(worker), m_thread(new QThread)
    {
        m_worker->moveToThread(m_thread.get());
    }
    ~WorkerThread()
    {
        stop();
        // The thread has ended: nothing runs in it any more, so the worker (and what it
        // still owns) can go now.
        delete m_worker;
    }
    WorkerThread(const WorkerThread &) = delete;
    WorkerThread &operator=(const WorkerThread &) = delete;

    Worker *worker() const { return m_worker; }
    bool isRunning() const { return m_thread->isRunning(); }

    void start(QThread::Priority priority = QThread::InheritPriority) { m_thread->start(priority); }

    void stop()
    {
        if (!m_thread->isRunning())
            return;
        m_thread->quit();
        m_thread->wait();
        QCoreApplication::removePostedEvents(m_worker, QEvent::MetaCall);
    }

private:
    Worker *m_worker;
    std::unique_ptr<QThread> m_thread;
};

#endif // WORKERTHREAD_H
