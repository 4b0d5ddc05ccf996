#pragma once

// What moved since a row's previous snapshot, and the report "自上次以来"
// made of it: for the table's change columns, the window's panel and the
// command line's summary.

#include "history/history.h"

#include <QSet>
#include <QString>

#include <optional>
#include <vector>

namespace quilla {

// The move from `before` to `after` as a fraction (+0.25 for a rise by a
// quarter); nothing without both, or from a base of zero.
std::optional<double> changeBetween(std::optional<double> before, std::optional<double> after);
// "+25%", "-12%", "0%"; "" for nothing. Whole percents, as the table shows them.
QString changeText(std::optional<double> change);

// A snapshot's yesterday's search index, read as the table reads it.
std::optional<double> searchIndexOf(const Snapshot& snapshot);

// A row's latest snapshot against the one before it.
RowChange changeOf(const History& history, const QString& keyword);

struct ChangeThresholds {
    double searchMove = 0.20; // either way
    double itemsRise = 0.20;
};

struct ChangeReport {
    struct Line {
        QString keyword;
        double before = 0, after = 0, change = 0;
    };
    std::vector<Line> searchMoved;     // largest move first
    std::vector<Line> itemsRose;       // largest rise first
    std::vector<QString> offeredWords; // offered by the pages, not in the table
    bool empty() const { return searchMoved.empty() && itemsRose.empty() && offeredWords.empty(); }
};

// The table's rows (its keywords, in its order) whose latest snapshot moved
// past the thresholds, and the offered words the table does not hold.
ChangeReport changeReport(const History& history, const QStringList& tableKeywords,
                          const std::vector<QString>& offeredWords,
                          const ChangeThresholds& thresholds = {});
// The report as plain text, a line each, for the command line.
QString changeReportText(const ChangeReport& report, const ChangeThresholds& thresholds = {});

} // namespace quilla
