#pragma once

// Writing the result table to a comma-separated file named after the keyword.
// The file appears complete or not at all, and never takes the place of
// anything already there.

#include "core/row_list.h"
#include "export/export_outcome.h"

#include <QByteArray>
#include <QString>

namespace quilla {

// Fields joined by commas; a field holding a comma, a double quote, CR or LF
// is quoted with its quotes doubled, so it stays one column. No line end.
QString csvLine(const Row& row);

// Each row's line followed by CR LF, in GB18030: the bytes of code page 936
// for the text that it covers, so Chinese spreadsheets read it as they are,
// and lossless for the rest. A table without rows gives no bytes.
QByteArray csvBytes(const RowList& table);

// Whether this Qt can encode GB18030 at all; without it csvBytes is empty.
bool csvEncodingAvailable();

// Writes <keyword>.csv into `folder`. A keyword that cannot name a file (see
// keywordNamesAFile) is refused.
ExportOutcome exportTable(const RowList& table, const QString& keyword, const QString& folder);
ExportOutcome exportTable(const RowList& table, const QString& keyword, const QString& folder,
                          const NewFileOptions& options);

} // namespace quilla
