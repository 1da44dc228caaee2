#include "benchfigures.h"

#include <QFile>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <ctime>

namespace {

qint64 clockNs(clockid_t id)
{
    timespec ts{};
    clock_gettime(id, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace

qint64 BenchFigures::threadCpuNs()
{
    return clockNs(CLOCK_THREAD_CPUTIME_ID);
}

qint64 BenchFigures::processCpuNs()
{
    return clockNs(CLOCK_PROCESS_CPUTIME_ID);
}

qint64 BenchFigures::statusKiB(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

double BenchFigures::percentile(QVector<double> samples, double p)
{
    if (samples.isEmpty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const int rank = qBound(0, int(std::ceil(p * samples.size())) - 1, samples.size() - 1);
    return samples.at(rank);
}

QString BenchFigures::medianSpread(const QVector<double> &samples, int digits)
{
    if (samples.isEmpty())
        return QStringLiteral("-");
    const auto range = std::minmax_element(samples.begin(), samples.end());
    return QStringLiteral("%1 (%2-%3)").arg(num(percentile(samples, 0.5), digits), num(*range.first, digits),
                                            num(*range.second, digits));
}

QString BenchFigures::num(double n, int digits)
{
    if (n == 0)
        return QStringLiteral("0");
    const int magnitude = int(std::floor(std::log10(std::fabs(n)))) + 1;
    const int decimals = qMax(0, digits - magnitude);
    return QString::number(n, 'f', decimals);
}

QByteArray BenchFigures::noise(qint64 size, quint32 seed)
{
    QByteArray out(int(size), Qt::Uninitialized);
    quint32 x = seed ? seed : 1;
    for (int i = 0; i < out.size(); ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = char(x >> 24);
    }
    return out;
}

QString BenchFigures::machine()
{
    QString model;
    QFile f(QStringLiteral("/proc/cpuinfo"));
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : f.readAll().split('\n')) {
            if (line.startsWith("model name")) {
                model = QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
                break;
            }
        }
    }
    return QStringLiteral("%1 cores (nproc), %2").arg(QThread::idealThreadCount()).arg(model);
}
