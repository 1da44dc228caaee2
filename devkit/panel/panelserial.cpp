#include "panelserial.h"

#include <QDebug>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

PanelSerial::PanelSerial(const QString &device, QObject *parent) : QObject(parent), m_device(device)
{
    m_gather.setSingleShot(true);
    m_gather.setInterval(kGatherMs);
    connect(&m_gather, &QTimer::timeout, this, &PanelSerial::onGathered);
}

PanelSerial::~PanelSerial()
{
    close();
}

bool PanelSerial::open(QString *error)
{
    close();
    if (m_device.isEmpty()) {
        m_open = true;
        return true;
    }
    m_fd = ::open(m_device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct termios tio;
    if (::tcgetattr(m_fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_fd, TCSANOW, &tio);
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PanelSerial::onReadable);
    m_open = true;
    return true;
}

void PanelSerial::close()
{
    m_gather.stop();
    m_pending.clear();
    delete m_notifier;
    m_notifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_open = false;
}

void PanelSerial::write(const QByteArray &data)
{
    if (!m_open || data.isEmpty())
        return;
    if (m_fd < 0) {
        // Echo: the write comes back at once, in reads of kEchoRead bytes (a handler of
        // one may close the serial side).
        for (int at = 0; m_open && at < data.size(); at += kEchoRead)
            emit dataRead(data.mid(at, kEchoRead));
        return;
    }
    const char *p = data.constData();
    qint64 left = data.size();
    int stalls = 0;
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, size_t(left));
        if (n > 0) {
            p += n;
            left -= n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN && ++stalls < 20) {
            struct pollfd pfd = {m_fd, POLLOUT, 0};
            ::poll(&pfd, 1, 10);
            continue;
        }
        qWarning() << "PanelSerial::write failed" << m_device << std::strerror(errno) << "left" << left;
        return;
    }
}

void PanelSerial::onReadable()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n > 0) {
            if (m_pending.size() + n <= kMaxGather)
                m_pending.append(buf, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (n < 0 && errno != EAGAIN)) {
            // The far side of the pty is gone; stop watching until the next open.
            qDebug() << "PanelSerial::onReadable device closed" << m_device;
            if (m_notifier)
                m_notifier->setEnabled(false);
        }
        break;
    }
    if (!m_pending.isEmpty())
        m_gather.start();
}

void PanelSerial::onGathered()
{
    if (m_pending.isEmpty())
        return;
    const QByteArray data = m_pending;
    m_pending.clear();
    emit dataRead(data);
}
