#pragma once

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <ctime>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

// What the benchmarks measure with: the process's CPU time and resident size.

// CPU seconds the whole process has used so far.
inline double processCpuSeconds()
{
#ifdef Q_OS_UNIX
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
#else
    return double(std::clock()) / CLOCKS_PER_SEC;
#endif
}

// Resident memory in MB (Linux); -1 where it cannot be read.
inline double rssMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// The middle of the figures of several runs (of an even count, the mean of the two in the middle).
inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}
