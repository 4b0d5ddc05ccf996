#include "core/row_list.h"

#include <algorithm>

namespace quilla {

RowList::RowList(QObject* parent) : QAbstractListModel(parent) {}

Row RowList::row(std::int64_t i) const {
    if (i < 0 || i >= count())
        return {};
    return rows_[static_cast<std::size_t>(i)];
}

bool RowList::setRow(std::int64_t i, Row row) {
    if (i < 0 || i >= count())
        return false;
    readFigures(row, i);
    indexKeyword(i, -1);
    Row& held = rows_[static_cast<std::size_t>(i)];
    const bool marked = held.failure != row.failure;
    held = std::move(row);
    indexKeyword(i, +1);
    const auto at = index(static_cast<int>(i));
    if (marked)
        Q_EMIT dataChanged(at, at, {Qt::DisplayRole, Qt::ToolTipRole, failedRole});
    else
        Q_EMIT dataChanged(at, at, {Qt::DisplayRole});
    return true;
}

void RowList::append(Row row) {
    const int at = static_cast<int>(rows_.size());
    readFigures(row, at);
    beginInsertRows({}, at, at);
    rows_.push_back(std::move(row));
    indexKeyword(at, +1);
    endInsertRows();
}

void RowList::append(std::vector<Row> rows) {
    if (rows.empty())
        return;
    const int at = static_cast<int>(rows_.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        readFigures(rows[i], at + static_cast<std::int64_t>(i));
    beginInsertRows({}, at, at + static_cast<int>(rows.size()) - 1);
    for (Row& row : rows) {
        rows_.push_back(std::move(row));
        indexKeyword(count() - 1, +1);
    }
    endInsertRows();
}

void RowList::remove(std::vector<std::int64_t> places) {
    std::sort(places.begin(), places.end());
    places.erase(std::unique(places.begin(), places.end()), places.end());
    std::erase_if(places, [this](std::int64_t i) { return i < 0 || i >= count(); });
    // From the back, one contiguous stretch at a time, so the places stay true.
    for (auto last = places.rbegin(); last != places.rend();) {
        auto first = last;
        while (std::next(first) != places.rend() && *std::next(first) == *first - 1)
            ++first;
        const auto from = static_cast<int>(*first), to = static_cast<int>(*last);
        beginRemoveRows({}, from, to);
        for (int i = from; i <= to; ++i)
            indexKeyword(i, -1);
        rows_.erase(rows_.begin() + from, rows_.begin() + to + 1);
        // Rows after the stretch moved up, but the index holds keywords, not places.
        endRemoveRows();
        last = std::next(first);
    }
}

void RowList::clear() {
    beginResetModel();
    rows_.clear();
    keywords_.clear();
    failedRows_ = 0;
    endResetModel();
}

void RowList::readFiguresWith(FigureReader reader) {
    reader_ = reader;
    for (std::size_t i = 0; i < rows_.size(); ++i)
        readFigures(rows_[i], static_cast<std::int64_t>(i));
}

void RowList::readFigures(Row& row, std::int64_t place) const {
    if (reader_ && place > 0)
        row.figures = std::make_shared<const Figures>(reader_(row.fields));
}

bool RowList::containsKeyword(const QString& keyword) const {
    return keywords_.contains(keyword);
}

// Keeps the keyword index and the count of failed rows.
void RowList::indexKeyword(std::int64_t i, int delta) {
    if (i < 1)
        return;
    if (!rows_[static_cast<std::size_t>(i)].failure.isEmpty())
        failedRows_ += delta;
    const QString key = rows_[static_cast<std::size_t>(i)].keyword();
    auto it = keywords_.find(key);
    if (delta > 0) {
        if (it == keywords_.end())
            keywords_.insert(key, 1);
        else
            ++it.value();
    } else if (it != keywords_.end() && --it.value() == 0) {
        keywords_.erase(it);
    }
}

int RowList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

namespace {

qsizetype textLength(const Row& row) {
    qsizetype length = row.fields.isEmpty() ? 0 : row.fields.size() - 1;
    for (const QString& field : row.fields)
        length += field.size();
    return length;
}

// The row's start, without joining all of a long row.
QString shortenedRow(const Row& row) {
    QString start;
    for (qsizetype i = 0; i < row.fields.size() && start.size() <= RowList::shownLength; ++i) {
        if (i > 0)
            start.append(u',');
        const QString& field = row.fields[i];
        start.append(QStringView(field).first(
            std::min(field.size(), RowList::shownLength + 1 - start.size())));
    }
    return RowList::shortened(start);
}

} // namespace

QString RowList::shortened(QStringView text) {
    if (text.size() <= shownLength)
        return text.toString();
    QString shown = text.first(shownLength).toString();
    if (shown.back().isHighSurrogate())
        shown.chop(1);
    return shown + u'…';
}

QVariant RowList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count())
        return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    const bool long_ = textLength(row) > shownLength;
    if (role == Qt::DisplayRole)
        return long_ ? shortenedRow(row) : row.text();
    if (role == failedRole)
        return !row.failure.isEmpty();
    if (role == Qt::ToolTipRole && !row.failure.isEmpty())
        return long_ ? row.text() + u'\n' + row.failure : row.failure;
    if (role == Qt::ToolTipRole && long_)
        return row.text();
    return {};
}

} // namespace quilla
