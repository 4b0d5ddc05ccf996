#include "results/result_columns.h"

#include "core/list_headers.h"
#include "results/cell_values.h"

namespace quilla {

ResultColumns::ResultColumns(const RowList& rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows) {
    forwardSignals();
}

// The list's row 0 is the header: it changes the captions, not the rows.
void ResultColumns::forwardSignals() {
    connect(&rows_, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this](const QModelIndex&, int first, int last) {
                if (last >= 1)
                    beginInsertRows({}, std::max(first, 1) - 1, last - 1);
            });
    connect(&rows_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                if (last >= 1)
                    endInsertRows();
                if (first == 0)
                    Q_EMIT headerDataChanged(Qt::Horizontal, 0, column::shown - 1);
            });
    connect(&rows_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) {
                beginRemoveRows({}, first - 1, last - 1);
            });
    connect(&rows_, &QAbstractItemModel::rowsRemoved, this, [this] { endRemoveRows(); });
    connect(&rows_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(&rows_, &QAbstractItemModel::modelReset, this, [this] {
        endResetModel();
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, column::shown - 1);
    });
    connect(&rows_, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                if (from.row() == 0)
                    Q_EMIT headerDataChanged(Qt::Horizontal, 0, column::shown - 1);
                const int first = std::max(from.row(), 1) - 1;
                if (to.row() >= 1)
                    Q_EMIT dataChanged(index(first, 0), index(to.row() - 1, column::shown - 1));
            });
}

QStringList ResultColumns::captions() const {
    QStringList out = rows_.count() > 0 ? rows_.row(0).fields : resultHeader();
    out = out.mid(0, column::opportunity);
    while (out.size() < column::opportunity)
        out.append(QString());
    out.append(shownCaptions());
    return out;
}

QStringList ResultColumns::cells(std::int64_t listRow) const {
    const Row row = rows_.row(listRow);
    QStringList out = row.fields.mid(0, column::opportunity);
    while (out.size() < column::opportunity)
        out.append(QString());
    out.append(opportunityText(opportunityOf(row)));
    const RowChange change = changeOf(row);
    out.append(changeText(change.search));
    out.append(changeText(change.items));
    return out;
}

void ResultColumns::setHistory(const History* history) {
    history_ = history;
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, column::searchChange),
                           index(rowCount() - 1, column::countChange));
}

RowChange ResultColumns::changeOf(const Row& row) const {
    return history_ ? quilla::changeOf(*history_, row.keyword()) : RowChange{};
}

void ResultColumns::noteChanges(std::int64_t listRow) {
    const int row = tableRow(listRow);
    if (row >= 0 && row < rowCount())
        Q_EMIT dataChanged(index(row, column::searchChange), index(row, column::countChange));
}

int ResultColumns::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(std::max<std::int64_t>(0, rows_.count() - 1));
}

int ResultColumns::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : column::shown;
}

QVariant ResultColumns::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int col = index.column();
    const ColumnKind kind = columnKind(col);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(isNumeric(kind) ? Qt::AlignRight | Qt::AlignVCenter
                                                   : Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != greyedRole)
        return {};
    const Row row = rows_.row(listRow(index.row()));
    const bool noFigures = queriedWithoutFigures(row);
    if (role == greyedRole)
        return noFigures || !row.failure.isEmpty();
    if (role == Qt::ToolTipRole && !row.failure.isEmpty())
        return row.failure;
    if (role == Qt::ToolTipRole && noFigures)
        return QStringLiteral("查询指数时页面没有给出任何数字；可用“重查空行”再查一次");
    const QString text = kind == ColumnKind::Opportunity ? opportunityText(opportunityOf(row))
                         : isChange(kind)                ? changeText(changeIn(changeOf(row), kind))
                                                         : row.fields.value(col);
    const bool long_ = text.size() > RowList::shownLength;
    if (role == Qt::ToolTipRole)
        return long_ ? QVariant(text) : QVariant();
    return long_ ? RowList::shortened(text) : text;
}

QVariant ResultColumns::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= column::shown)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return captions().value(section);
    if (role == Qt::ToolTipRole && section == column::opportunity)
        return opportunityExplanation();
    if (role == Qt::ToolTipRole && section == column::searchChange)
        return QStringLiteral("昨天搜索指数与这一行上一次查询时相比");
    if (role == Qt::ToolTipRole && section == column::countChange)
        return QStringLiteral("宝贝数与这一行上一次查询时相比");
    return {};
}

} // namespace quilla
