#ifndef BENCHFIGURES_H
#define BENCHFIGURES_H

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

// Small helpers the benchmark programs share: clocks, memory figures of the running
// process, percentiles and number formatting.
class BenchFigures
{
public:
    // CPU time used so far by the calling thread, in nanoseconds.
    static qint64 threadCpuNs();
    // CPU time used so far by the whole process, in nanoseconds.
    static qint64 processCpuNs();
    // A field of /proc/self/status in KiB ("VmHWM", "VmRSS"); -1 when missing.
    static qint64 statusKiB(const char *field);
    // The value at fraction p (0..1) of the sorted samples (nearest rank).
    static double percentile(QVector<double> samples, double p);
    // "median (min-max)" of the samples, each with the given significant digits.
    static QString medianSpread(const QVector<double> &samples, int digits = 3);
    // n with the given number of significant digits.
    static QString num(double n, int digits = 3);
    // Reproducible pseudo-random bytes.
    static QByteArray noise(qint64 size, quint32 seed);
    // One line naming the machine: cores and CPU model.
    static QString machine();
};

#endif // BENCHFIGURES_H
