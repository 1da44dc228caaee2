#ifndef PTYPAIR_H
#define PTYPAIR_H

#include <QProcess>
#include <QString>

// Two ptys joined by socat, reached through two links; socat is stopped by stop() or on
// destruction.
class PtyPair
{
public:
    ~PtyPair();

    // The socat program, empty when it is not installed.
    static QString socat();

    // Starts socat and waits (bounded, serving events) until both links exist.
    bool start(const QString &linkA, const QString &linkB, int timeoutMs = 3000);
    void stop();

private:
    QProcess m_socat;
};

#endif // PTYPAIR_H
