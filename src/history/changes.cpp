#include "history/changes.h"

#include "core/number_text.h"

#include <algorithm>
#include <cmath>

namespace quilla {

std::optional<double> changeBetween(std::optional<double> before, std::optional<double> after) {
    if (!before || !after || *before == 0 || !std::isfinite(*before) || !std::isfinite(*after))
        return std::nullopt;
    return (*after - *before) / *before;
}

QString changeText(std::optional<double> change) {
    if (!change)
        return {};
    const double percent = std::round(*change * 100);
    if (percent == 0)
        return QStringLiteral("0%");
    return (percent > 0 ? QStringLiteral("+") : QString()) + QString::number(percent, 'f', 0) +
           u'%';
}

std::optional<double> searchIndexOf(const Snapshot& snapshot) {
    const qsizetype end = snapshot.figures.indexOf(QChar(figureSeparator));
    return plainNumber(
        QStringView(snapshot.figures).first(end < 0 ? snapshot.figures.size() : end).trimmed());
}

namespace {

std::optional<double> itemsOf(const Snapshot& snapshot) {
    const auto items = snapshot.itemCount();
    return items ? std::optional(double(*items)) : std::nullopt;
}

} // namespace

RowChange changeOf(const History& history, const QString& keyword) {
    return history.change(keyword);
}

ChangeReport changeReport(const History& history, const QStringList& tableKeywords,
                          const std::vector<QString>& offeredWords,
                          const ChangeThresholds& thresholds) {
    ChangeReport report;
    QSet<QString> inTable;
    for (const QString& keyword : tableKeywords) {
        if (inTable.contains(keyword))
            continue;
        inTable.insert(keyword);
        const Snapshot* latest = history.latest(keyword);
        const Snapshot* previous = history.previous(keyword);
        if (!latest || !previous)
            continue;
        const auto before = searchIndexOf(*previous), after = searchIndexOf(*latest);
        if (const auto c = changeBetween(before, after); c && std::abs(*c) >= thresholds.searchMove)
            report.searchMoved.push_back({keyword, *before, *after, *c});
        const auto itemsBefore = itemsOf(*previous), itemsAfter = itemsOf(*latest);
        if (const auto c = changeBetween(itemsBefore, itemsAfter); c && *c >= thresholds.itemsRise)
            report.itemsRose.push_back({keyword, *itemsBefore, *itemsAfter, *c});
    }
    const auto byMove = [](const ChangeReport::Line& a, const ChangeReport::Line& b) {
        return std::abs(a.change) > std::abs(b.change);
    };
    std::stable_sort(report.searchMoved.begin(), report.searchMoved.end(), byMove);
    std::stable_sort(report.itemsRose.begin(), report.itemsRose.end(), byMove);
    QSet<QString> offered;
    for (const QString& word : offeredWords) {
        if (word.isEmpty() || inTable.contains(word) || offered.contains(word))
            continue;
        offered.insert(word);
        report.offeredWords.push_back(word);
    }
    return report;
}

namespace {

QString number(double value) {
    return QString::number(value, 'f', value == std::floor(value) ? 0 : 1);
}

QString percentOf(double threshold) {
    return QString::number(std::round(threshold * 1000) / 10) + u'%';
}

} // namespace

QString changeReportText(const ChangeReport& report, const ChangeThresholds& thresholds) {
    QStringList lines{QStringLiteral("自上次以来")};
    if (report.empty()) {
        lines.append(QStringLiteral("没有达到阈值的变化。"));
        return lines.join(u'\n') + u'\n';
    }
    const auto section = [&](const QString& title, const std::vector<ChangeReport::Line>& found) {
        if (found.empty())
            return;
        lines.append(title);
        for (const auto& line : found)
            lines.append(QStringLiteral("  %1\t%2 → %3\t%4")
                             .arg(line.keyword, number(line.before), number(line.after),
                                  changeText(line.change)));
    };
    section(QStringLiteral("搜索指数变化 ≥ %1：").arg(percentOf(thresholds.searchMove)),
            report.searchMoved);
    section(QStringLiteral("宝贝数增加 ≥ %1：").arg(percentOf(thresholds.itemsRise)),
            report.itemsRose);
    if (!report.offeredWords.empty()) {
        lines.append(QStringLiteral("页面给出、表中没有的相关词："));
        for (const QString& word : report.offeredWords)
            lines.append(u"  " + word);
    }
    return lines.join(u'\n') + u'\n';
}

} // namespace quilla
