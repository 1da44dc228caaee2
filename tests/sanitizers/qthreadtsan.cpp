// ThreadSanitizer builds only (VANTELO_SANITIZE=thread): the happens-before edge that
// QThread::wait() gives and that ThreadSanitizer cannot see, because Qt is not
// instrumented and QThread's state is guarded by a QMutex, a bare futex on Linux.
//
// Everything a thread did before it finished happens before QThread::wait() returns
// true for it. When the thread is still running at the call, the wait goes through a
// pthread condition variable and ThreadSanitizer sees the edge; when it has already
// finished, the wait returns at once and the edge is lost, so a worker object used by
// one run of a QThread and then by the next run looks raced. The linker routes the
// program's calls of QThread::start and QThread::wait here (-Wl,--wrap); the finishing
// thread releases the QThread object from its finished() signal, and a successful wait
// acquires it.
#include <QDeadlineTimer>
#include <QThread>
#include <QVariant>

#include <sanitizer/tsan_interface.h>

extern "C" {

void __real__ZN7QThread5startENS_8PriorityE(QThread *thread, QThread::Priority priority);
bool __real__ZN7QThread4waitE14QDeadlineTimer(QThread *thread, QDeadlineTimer deadline);
bool __real__ZN7QThread4waitEm(QThread *thread, unsigned long ms);

void __wrap__ZN7QThread5startENS_8PriorityE(QThread *thread, QThread::Priority priority)
{
    static const char kConnected[] = "vantelo_tsan_finished";
    if (!thread->property(kConnected).isValid()) {
        thread->setProperty(kConnected, true);
        // Direct: runs in the finishing thread, after the last event it handled.
        QObject::connect(thread, &QThread::finished, thread,
                         [thread] { __tsan_release(thread); }, Qt::DirectConnection);
    }
    __real__ZN7QThread5startENS_8PriorityE(thread, priority);
}

bool __wrap__ZN7QThread4waitE14QDeadlineTimer(QThread *thread, QDeadlineTimer deadline)
{
    const bool finished = __real__ZN7QThread4waitE14QDeadlineTimer(thread, deadline);
    if (finished)
        __tsan_acquire(thread);
    return finished;
}

bool __wrap__ZN7QThread4waitEm(QThread *thread, unsigned long ms)
{
    const bool finished = __real__ZN7QThread4waitEm(thread, ms);
    if (finished)
        __tsan_acquire(thread);
    return finished;
}

} // extern "C"
