// Root words: the segmenter made ready in a fresh process (time and memory),
// and 10,000 keywords segmented and totalled into the root table.

#include "child_process.h"
#include "segmenter/segmenter.h"
#include "table.h"
#include "titles/root_table.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <chrono>
#include <cstdio>

namespace quilla::bench {
namespace {

using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long long statusKiB(const char* field) {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Keywords as a run collects them: a product with one or two modifiers.
std::vector<Row> keywordRows(int count) {
    const QStringList products =
        u"连衣裙 阔腿裤 牛仔裤 羽绒服 卫衣 衬衫 手机壳 充电宝 蓝牙耳机 数据线 收纳盒 窗帘 "
        u"保温杯 台灯 牛肉干 螺蛳粉 茶叶 蜂蜜 口红 面膜 防晒霜 洗面奶 香水 眉笔"_s.split(u' ');
    const QStringList modifiers =
        u"新款 正品 官方 包邮 高档 网红 同款 爆款 小众 学生 女士 男士 儿童 大容量 便携 夏季 "
        u"冬季 加厚 纯棉 韩版 复古 宽松 无线 家用 进口 保湿 持久 iPhone15 2024"_s.split(u' ');
    std::vector<Row> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString& p = products[i % products.size()];
        const QString& a = modifiers[(i / products.size()) % modifiers.size()];
        const QString& b = modifiers[(i / 7) % modifiers.size()];
        const QString keyword =
            i % 3 == 0 ? QString(a + p) : QString(a + b + p + QString::number(i / 5000));
        rows.push_back(Row{{keyword, QString::number(1000 + i * 37 % 90000),
                            QString::number(100 + i % 5000), u"90"_s, QString::number(i % 300),
                            u"10"_s, u"+1%"_s, u"-1%"_s, u"+2%"_s, u"-2%"_s, u"上升"_s}});
    }
    return rows;
}

// In a process of its own: from nothing to the first keyword segmented.
int coldChild() {
    const long long before = statusKiB("VmRSS:");
    const auto start = Clock::now();
    const Segmenter segmenter;
    const QStringList roots = segmenter.segment(u"夏季新款雪纺连衣裙女"_s);
    const double ready = since(start);
    const long long after = statusKiB("VmRSS:");
    std::printf("ready_us=%.1f rss_kib=%lld roots=%lld\n", ready * 1e6, after - before,
                static_cast<long long>(roots.size()));
    return roots.isEmpty() ? 1 : 0;
}

void coldStart(benchmark::State& state) {
    for (auto _ : state) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {u"--segmenter-cold"_s});
        if (!child.waitForFinished(60000) || child.exitCode() != 0) {
            child.kill();
            child.waitForFinished(5000);
            state.SkipWithError("the segmenter did not start");
            return;
        }
        const QByteArray line = child.readAllStandardOutput();
        const auto ready = reported(line, "ready_us");
        const auto rss = reported(line, "rss_kib");
        if (!ready || !rss) {
            state.SkipWithError("the child reported nothing");
            return;
        }
        state.SetIterationTime(*ready / 1e6);
        state.counters["rss_MiB"] = *rss / 1024.0;
    }
}

void totals(benchmark::State& state) {
    const std::vector<Row> rows = keywordRows(10000);
    const Segmenter segmenter;
    for (auto _ : state) {
        const auto start = Clock::now();
        std::vector<RootFigures> table = rootTable(rows, segmenter);
        sortBySearch(table);
        state.SetIterationTime(since(start));
        if (table.size() < 50) {
            state.SkipWithError("too few roots");
            return;
        }
        benchmark::DoNotOptimize(table.data());
    }
}

void registerAll() {
    benchmark::RegisterBenchmark("roots/segmenter_cold", coldStart)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("roots/10000_keywords", totals)
        ->UseManualTime()
        ->Iterations(3)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);
}

std::vector<TableRow> table(const Results& r) {
    const auto ms = [&](const char* name) -> std::optional<double> {
        if (const auto s = r.seconds(name))
            return *s * 1e3;
        return std::nullopt;
    };
    return {
        limitRow("segmenter ready, fresh process, first keyword", ms("roots/segmenter_cold"), "ms",
                 100, true, "< 100 ms"),
        limitRow("segmenter's memory (resident growth)",
                 r.counter("roots/segmenter_cold", "rss_MiB"), "MiB", 30, true, "< 30 MiB"),
        limitRow("10,000 keywords segmented and totalled", ms("roots/10000_keywords"), "ms", 100,
                 true, "< 100 ms"),
    };
}

} // namespace
} // namespace quilla::bench

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--segmenter-cold") == 0)
        return quilla::bench::coldChild();
    quilla::bench::registerAll();
    return quilla::bench::runAndTabulate(argc, argv, quilla::bench::table);
}
