#ifndef LABPROCESS_IMPL_H
#define LABPROCESS_IMPL_H

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

template <typename Pred>
QList<QJsonObject> waitForEventLines(const QString &path, int n, Pred pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QList<QJsonObject> lines;
    for (;;) {
        lines = readEventLines(path);
        int count = 0;
        for (const QJsonObject &l : lines)
            if (pred(l))
                ++count;
        if (count >= n || deadline.hasExpired())
            return lines;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

#endif // LABPROCESS_IMPL_H
