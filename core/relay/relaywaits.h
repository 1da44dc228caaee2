#ifndef RELAYWAITS_H
#define RELAYWAITS_H

#include <atomic>
#include <mutex>

// The stop request and the bounds of the waits of a download link. The dialog's thread
// writes them (setStop) while a download on the worker's thread reads them: atomics,
// each read on its own when a wait starts (relaxed ordering suffices). Where the
// system has one, a wake descriptor turns readable with the stop request, so that a
// wait polling it with the link's socket ends at once.
class RelayWaits
{
public:
    static constexpr int kReplyTimeoutMs = 5000;     // the panel's reply to a command frame
    static constexpr int kIoTimeoutMs = 10000;       // frame writes and replies during a download
    static constexpr int kConnectTimeoutMs = 3000;   // the project download's connection and
                                                     // registration

    // true: the stop is requested and every bound is 1 ms, so that a running download
    // ends at once through its ordinary failure path; false: the normal bounds.
    void setStop(bool stop);
    // A download begins: a stop request left over is forgotten, the bounds stay.
    void clearStop()
    {
        m_stop.store(false, std::memory_order_relaxed);
        setWake(false);
    }

    RelayWaits();
    ~RelayWaits();
    RelayWaits(const RelayWaits &) = delete;
    RelayWaits &operator=(const RelayWaits &) = delete;
    // Readable while the stop is requested; -1 where there is none (waits then look at
    // the request in slices).
    int wakeDescriptor() const { return m_wake; }

    // While a socket is attached, the stop request also shuts its reading down, so that a
    // read blocked on it returns at once (with the end of the stream). Attached from the
    // thread that reads it, detached before the socket closes.
    void attach(int socketDescriptor) const;
    void detach() const;

    bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }
    int replyTimeoutMs() const { return m_replyMs.load(std::memory_order_relaxed); }
    int ioTimeoutMs() const { return m_ioMs.load(std::memory_order_relaxed); }
    int connectTimeoutMs() const { return m_connectMs.load(std::memory_order_relaxed); }

private:
    void setWake(bool readable);

    int m_wake = -1;
    mutable std::mutex m_attachedLock;
    mutable int m_attached = -1;   // guarded by m_attachedLock
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_replyMs{kReplyTimeoutMs};
    std::atomic<int> m_ioMs{kIoTimeoutMs};
    std::atomic<int> m_connectMs{kConnectTimeoutMs};
};

#endif // RELAYWAITS_H
