#include "export/csv_export.h"

#include <QStringEncoder>

namespace quilla {
namespace {

bool needsQuotes(const QString& field) {
    for (const QChar c : field) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n')
            return true;
    }
    return false;
}

QString csvField(const QString& field) {
    if (!needsQuotes(field))
        return field;
    QString doubled = field;
    doubled.replace(u'"', QStringLiteral("\"\""));
    return u'"' + doubled + u'"';
}

} // namespace

QString csvLine(const Row& row) {
    QStringList fields;
    fields.reserve(row.fields.size());
    for (const QString& field : row.fields)
        fields.append(csvField(field));
    return fields.join(u',');
}

bool csvEncodingAvailable() {
    return QStringEncoder("GB18030").isValid();
}

QByteArray csvBytes(const RowList& table) {
    QString text;
    for (std::int64_t i = 0; i < table.count(); ++i)
        text += csvLine(table.row(i)) + u"\r\n";
    QStringEncoder encoder("GB18030");
    if (!encoder.isValid())
        return {};
    // Code page 936 writes the euro sign as the one byte 0x80 where GB18030
    // has A2E3; spreadsheets on Chinese Windows read the file as code page 936.
    // The euro itself goes through the encoder, so that a lone surrogate just
    // before it is written there and not held back until after it.
    QByteArray bytes;
    const QStringView all(text);
    qsizetype from = 0;
    for (qsizetype at; (at = all.indexOf(QChar(0x20AC), from)) >= 0; from = at + 1) {
        bytes += encoder.encode(all.mid(from, at + 1 - from));
        bytes.chop(2); // its A2E3
        bytes += '\x80';
    }
    bytes += encoder.encode(all.mid(from));
    return bytes;
}

ExportOutcome exportTable(const RowList& table, const QString& keyword, const QString& folder) {
    return exportTable(table, keyword, folder, NewFileOptions{});
}

ExportOutcome exportTable(const RowList& table, const QString& keyword, const QString& folder,
                          const NewFileOptions& options) {
    if (!keywordNamesAFile(keyword))
        return {ExportOutcome::Kind::BadName, {}};
    if (!csvEncodingAvailable())
        return {ExportOutcome::Kind::Failed, QStringLiteral("缺少 GB18030 编码支持")};
    const QString name = keyword + u".csv";
    return outcomeOf(writeNewFile(folder, name, csvBytes(table), options));
}

} // namespace quilla
