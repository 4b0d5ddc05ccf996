#include "history/history.h"

#include "history/changes.h"

#include <cmath>

namespace quilla {

std::optional<std::int64_t> Snapshot::itemCount() const {
    return items >= 0 ? std::optional(items) : std::nullopt;
}

QString Snapshot::figure(int i) const {
    return QStringView(figures).split(QChar(figureSeparator)).value(i).toString();
}

QStringList Snapshot::figureList() const {
    return figures.split(QChar(figureSeparator));
}

std::optional<QDate> Snapshot::seriesEndDate() const {
    if (seriesEnd < 0)
        return std::nullopt;
    return QDate::fromJulianDay(seriesEnd);
}

namespace {

const QDate firstDay(2000, 1, 1), lastDay(2100, 12, 31);

bool saneDay(const QDate& day) {
    return day.isValid() && day >= firstDay && day <= lastDay;
}

} // namespace

std::optional<Snapshot> makeSnapshot(std::int64_t atMs, const QString& keyword,
                                     std::optional<double> items, const QStringList& figures,
                                     std::optional<QDate> seriesEnd) {
    using namespace historyBounds;
    if (atMs < earliestMs || atMs >= latestMs || keyword.isEmpty() ||
        keyword.size() > maxKeywordLength)
        return std::nullopt;
    Snapshot s;
    s.atMs = atMs;
    s.keyword = keyword;
    if (items && std::isfinite(*items) && *items >= 0 && *items <= double(maxItemCount))
        s.items = static_cast<std::int64_t>(std::llround(*items));
    QStringList kept;
    for (int i = 0; i < snapshotFigureCount; ++i) {
        QString figure = figures.value(i).left(maxFigureLength);
        if (!figure.isEmpty() && figure.back().isHighSurrogate())
            figure.chop(1);
        figure.replace(QChar(figureSeparator), QChar(u' '));
        kept.append(figure);
    }
    s.figures = kept.join(QChar(figureSeparator));
    if (seriesEnd && saneDay(*seriesEnd))
        s.seriesEnd = seriesEnd->toJulianDay();
    return s;
}

// What makeSnapshot makes, checked in one pass: a project holds hundreds of
// thousands of snapshots.
bool isStorable(const Snapshot& s) {
    using namespace historyBounds;
    if (s.atMs < earliestMs || s.atMs >= latestMs || s.keyword.isEmpty() ||
        s.keyword.size() > maxKeywordLength || s.items < -1 || s.items > maxItemCount)
        return false;
    if (s.seriesEnd != -1 &&
        (s.seriesEnd < firstDay.toJulianDay() || s.seriesEnd > lastDay.toJulianDay()))
        return false;
    int separators = 0;
    qsizetype length = 0;
    QChar last;
    for (const QChar c : s.figures) {
        if (c == QChar(figureSeparator)) {
            if (last.isHighSurrogate())
                return false;
            ++separators;
            length = 0;
            last = QChar();
            continue;
        }
        if (++length > maxFigureLength)
            return false;
        last = c;
    }
    return separators == snapshotFigureCount - 1 && !last.isHighSurrogate();
}

void History::append(Snapshot snapshot) {
    const auto at = static_cast<std::int64_t>(entries_.size());
    auto found = lastTwo_.find(snapshot.keyword);
    if (found == lastTwo_.end()) {
        found = lastTwo_.insert(snapshot.keyword, {});
    } else {
        snapshot.keyword = found.key(); // one copy of the text for all of them
    }
    found->previous = found->latest;
    found->latest = at;
    found->change.reset();
    entries_.push_back(std::move(snapshot));
}

void History::clear() {
    entries_.clear();
    lastTwo_.clear();
}

const Snapshot* History::latest(const QString& keyword) const {
    const auto found = lastTwo_.constFind(keyword);
    return found == lastTwo_.cend() ? nullptr : &entries_[static_cast<std::size_t>(found->latest)];
}

const Snapshot* History::previous(const QString& keyword) const {
    const auto found = lastTwo_.constFind(keyword);
    if (found == lastTwo_.cend() || found->previous < 0)
        return nullptr;
    return &entries_[static_cast<std::size_t>(found->previous)];
}

RowChange History::change(const QString& keyword) const {
    const auto found = lastTwo_.constFind(keyword);
    if (found == lastTwo_.cend() || found->previous < 0)
        return {};
    if (!found->change) {
        const Snapshot& latest = entries_[static_cast<std::size_t>(found->latest)];
        const Snapshot& previous = entries_[static_cast<std::size_t>(found->previous)];
        const auto items = [](const Snapshot& s) {
            const auto n = s.itemCount();
            return n ? std::optional(double(*n)) : std::nullopt;
        };
        found->change = RowChange{changeBetween(searchIndexOf(previous), searchIndexOf(latest)),
                                  changeBetween(items(previous), items(latest))};
    }
    return *found->change;
}

std::vector<const Snapshot*> History::of(const QString& keyword) const {
    std::vector<const Snapshot*> out;
    if (!lastTwo_.contains(keyword))
        return out;
    for (const Snapshot& s : entries_)
        if (s.keyword == keyword)
            out.push_back(&s);
    return out;
}

} // namespace quilla
