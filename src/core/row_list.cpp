#include "core/row_list.h"

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
    indexKeyword(i, -1);
    rows_[static_cast<std::size_t>(i)] = std::move(row);
    indexKeyword(i, +1);
    const auto at = index(static_cast<int>(i));
    Q_EMIT dataChanged(at, at, {Qt::DisplayRole});
    return true;
}

void RowList::append(Row row) {
    const int at = static_cast<int>(rows_.size());
    beginInsertRows({}, at, at);
    rows_.push_back(std::move(row));
    indexKeyword(at, +1);
    endInsertRows();
}

void RowList::clear() {
    beginResetModel();
    rows_.clear();
    keywords_.clear();
    endResetModel();
}

bool RowList::containsKeyword(const QString& keyword) const {
    return keywords_.contains(keyword);
}

void RowList::indexKeyword(std::int64_t i, int delta) {
    if (i < 1)
        return;
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

// The row's first `length` characters, a surrogate pair never split, and "…".
QString shortened(const Row& row, qsizetype length) {
    QString shown;
    shown.reserve(length + 1);
    for (qsizetype i = 0; i < row.fields.size() && shown.size() < length; ++i) {
        if (i > 0)
            shown.append(u',');
        const QString& field = row.fields[i];
        shown.append(QStringView(field).first(std::min(field.size(), length - shown.size())));
    }
    shown.truncate(length);
    if (!shown.isEmpty() && shown.back().isHighSurrogate())
        shown.chop(1);
    return shown + u'…';
}

} // namespace

QVariant RowList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count())
        return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    const bool long_ = textLength(row) > shownLength;
    if (role == Qt::DisplayRole)
        return long_ ? shortened(row, shownLength) : row.text();
    if (role == Qt::ToolTipRole && long_)
        return row.text();
    return {};
}

} // namespace quilla
