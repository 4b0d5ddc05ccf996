#include "results/tsv_text.h"

namespace quilla {
namespace {

QString tsvField(const QString& field) {
    const bool quote = field.contains(u'\t') || field.contains(u'\n') || field.contains(u'\r') ||
                       field.contains(u'"');
    if (!quote)
        return field;
    QString doubled = field;
    doubled.replace(u'"', QStringLiteral("\"\""));
    return u'"' + doubled + u'"';
}

} // namespace

QString tsvText(const std::vector<QStringList>& rows) {
    QString out;
    for (const QStringList& row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0)
                out.append(u'\t');
            out.append(tsvField(row[i]));
        }
        out.append(QStringLiteral("\r\n"));
    }
    return out;
}

} // namespace quilla
