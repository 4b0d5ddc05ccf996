#include "child_process.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <chrono>
#include <cstdio>

namespace quilla::bench {

std::optional<double> reported(const QByteArray& line, const QByteArray& key) {
    const QByteArray prefix = key + '=';
    for (const QByteArray& part : line.trimmed().split(' ')) {
        if (part.startsWith(prefix))
            return part.mid(prefix.size()).toDouble();
    }
    return std::nullopt;
}

namespace {

// The peak resident size of this process's own memory, in KiB. Not getrusage:
// Linux carries the peak over an exec, so that would count what the parent
// held when it started this process.
std::optional<long long> peakResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return std::nullopt;
}

} // namespace

void reportPeakMemory(long long keywords, long long rows) {
    std::printf("keywords=%lld rows=%lld", keywords, rows);
    if (const auto peak = peakResidentKiB())
        std::printf(" peak_kib=%lld", *peak);
    std::printf("\n");
    std::fflush(stdout);
}

void measurePeakMemory(benchmark::State& state, const QString& flag) {
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        QProcess child;
        const auto start = Clock::now();
        child.start(QCoreApplication::applicationFilePath(), {flag});
        if (!child.waitForFinished(360000) || child.exitCode() != 0) {
            child.kill();
            child.waitForFinished(5000);
            state.SkipWithError("the measured run did not finish");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        const QByteArray line = child.readAllStandardOutput();
        const auto peak = reported(line, "peak_kib");
        if (!peak) {
            state.SkipWithError("the measured run reported no peak");
            return;
        }
        state.counters["peak_MiB"] = *peak / 1024;
        state.counters["keywords"] = reported(line, "keywords").value_or(0);
        state.counters["rows"] = reported(line, "rows").value_or(0);
    }
}

} // namespace quilla::bench
