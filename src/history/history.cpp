#include "history/history.h"

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

bool isStorable(const Snapshot& s) {
    const auto made = makeSnapshot(s.atMs, s.keyword,
                                   s.itemCount() ? std::optional<double>(s.items) : std::nullopt,
                                   s.figureList(), s.seriesEndDate());
    return made && *made == s && s.items >= -1 && s.seriesEnd >= -1 &&
           s.figureList().size() == snapshotFigureCount;
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
