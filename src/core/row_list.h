#pragma once

// A list of rows as the window shows them. Each row keeps its fields apart and
// shows them joined by commas, so a keyword that holds a comma stays whole.
// Row 0 is the header; an index of the row keywords from row 1 on answers
// "is this keyword in the list" without a scan.

#include "core/trend_series.h"
#include <QAbstractListModel>
#include <QHash>

#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace quilla {

// A row's cells read as the figures they state, by column: nothing for text,
// empty and unreadable cells.
using Figures = std::vector<std::optional<double>>;

struct Row {
    Row() = default;
    Row(QStringList f, std::shared_ptr<const TrendSeries> s = {})
        : fields(std::move(f)), series(std::move(s)) {}

    QStringList fields;
    // The index series the trend page gave, beside the row's text (none
    // before its index query); shared, so copying a row stays cheap.
    std::shared_ptr<const TrendSeries> series;
    // Why the row's page never loaded; empty when it did. Beside the text,
    // which stays what it always was.
    QString failure;
    // The cells read once, when the row entered a list that reads them;
    // derived from the fields, so no part of the row's identity.
    std::shared_ptr<const Figures> figures;

    QString text() const { return fields.join(u','); }
    QString keyword() const { return fields.value(0); }
    bool operator==(const Row& other) const {
        return fields == other.fields && failure == other.failure &&
               (series == other.series || (series && other.series && *series == *other.series));
    }
};

class RowList final : public QAbstractListModel {
    Q_OBJECT

public:
    // A view shows at most this many characters of a row, then "…"; the
    // whole text is the row's tooltip. Drawing then costs the same for a row
    // of any length, however long a word a page offers.
    static constexpr qsizetype shownLength = 500;
    // True for a row whose page never loaded, which a view shows grey; its
    // tooltip gives the reason.
    static constexpr int failedRole = Qt::UserRole + 2;

    explicit RowList(QObject* parent = nullptr);

    std::int64_t count() const { return static_cast<std::int64_t>(rows_.size()); }

    // A row that does not exist reads as an empty row.
    Row row(std::int64_t i) const;
    QString rowText(std::int64_t i) const { return row(i).text(); }

    // Fails, changing nothing, when row `i` does not exist.
    bool setRow(std::int64_t i, Row row);
    void append(Row row);
    // Many rows at once: one insertion for a view to follow.
    void append(std::vector<Row> rows);
    // Removes the rows at these places (any order, repeats ignored).
    void remove(std::vector<std::int64_t> places);
    void clear();

    // `text` cut to its first shownLength characters and "…", a surrogate pair never split.
    static QString shortened(QStringView text);

    bool containsKeyword(const QString& keyword) const;

    // From now on every row below the header is read by `reader` as it is
    // written, and the rows already there are read now: whoever shows, sorts
    // or exports the rows reads their figures, not their text again.
    using FigureReader = Figures (*)(const QStringList& fields);
    void readFiguresWith(FigureReader reader);
    // Rows whose page never loaded.
    std::int64_t failedRows() const { return failedRows_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    void indexKeyword(std::int64_t i, int delta);

    void readFigures(Row& row, std::int64_t place) const;

    std::vector<Row> rows_;
    FigureReader reader_ = nullptr;
    QHash<QString, int> keywords_;
    std::int64_t failedRows_ = 0;
};

} // namespace quilla
