#include "ptypair.h"

#include "labprocess.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

PtyPair::~PtyPair()
{
    stop();
}

QString PtyPair::socat()
{
    return QStandardPaths::findExecutable(QStringLiteral("socat"));
}

bool PtyPair::start(const QString &linkA, const QString &linkB, int timeoutMs)
{
    m_socat.start(socat(), {"pty,raw,echo=0,link=" + linkA, "pty,raw,echo=0,link=" + linkB});
    if (!m_socat.waitForStarted(timeoutMs))
        return false;
    QDeadlineTimer deadline(timeoutMs);
    while (!(QFileInfo::exists(linkA) && QFileInfo::exists(linkB)) && !deadline.hasExpired())
        QTest::qWait(10);
    return QFileInfo::exists(linkA) && QFileInfo::exists(linkB);
}

void PtyPair::stop()
{
    stopProcess(m_socat);
}
