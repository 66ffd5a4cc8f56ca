#pragma once

#include <QFile>

#include <benchmark/benchmark.h>

#include <cstring>

// Memory figures of this process from /proc, in KiB. The peak can be reset, so that each case
// measures its own.
inline qint64 processStatus(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key)) {
            return line.mid(static_cast<qsizetype>(std::strlen(key)))
                .trimmed()
                .split(' ')
                .front()
                .toLongLong();
        }
    }
    return 0;
}

inline qint64 residentKiB() {
    return processStatus("VmRSS:");
}
inline qint64 peakResidentKiB() {
    return processStatus("VmHWM:");
}

inline void resetPeakMemory() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// How far the peak rose above `before` (the resident memory when the peak was reset).
inline void reportPeak(benchmark::State& state, qint64 before) {
    state.counters["peak_growth_KiB"] = static_cast<double>(peakResidentKiB() - before);
}
