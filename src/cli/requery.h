#pragma once

// `quilla requery FILE.quilla`: the project's rows queried again in the
// embedded browser, offscreen, and the project saved in place.

#include "history/changes.h"
#include "net/page_verdict.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <optional>

namespace quilla {
class Workbench;
}

namespace quilla::cli {

// How a requery went.
struct RequeryOutcome {
    QString project;                     // the file, as named
    std::int64_t rows = 0;               // the project's rows
    std::int64_t queried = 0;            // rows whose page was read
    std::int64_t withFigures = 0;        // of those, rows the page gave figures
    std::int64_t keptFigures = 0;        // rows without, which kept their last ones
    Verdict blockedBy = Verdict::Passed; // what stopped the run, if anything
    // With --counts: rows whose search page was read for its item count, and
    // of those, pages that never loaded.
    std::optional<std::int64_t> counted;
    std::int64_t countsFailed = 0;
    // The report's thresholds, as the command was given them.
    ChangeThresholds thresholds;
};

// What the requery prints on stdout once the project is saved: one place,
// so that what changed since the last query can join it. `bench` holds the
// project as saved.
QString requerySummary(const Workbench& bench, const RequeryOutcome& outcome);

// The command: exit 0 when every row was queried and the project saved, 3
// when the marketplace asked for a login or a check (what was done saved),
// 1 when it failed or the project is open elsewhere, 2 for bad arguments.
// Needs a QGuiApplication and Qt WebEngine prepared.
int requery(const QStringList& arguments, std::FILE* out, std::FILE* err);

} // namespace quilla::cli
