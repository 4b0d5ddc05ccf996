#include "results/keyword_import.h"

#include "core/list_headers.h"

#include <QSet>
#include <QStringDecoder>

#include <optional>

namespace quilla {
namespace {

// The text when the bytes are UTF-8, nothing when they are not.
std::optional<QString> asUtf8(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? std::nullopt : std::optional(std::move(text));
}

// The first field of each record: a record ends at a line break outside
// quotes; a field at the separator. A quoted field keeps its commas, tabs and
// line breaks, and "" inside it is one quote.
QStringList firstFields(QStringView text, QChar separator) {
    QStringList out;
    QString field;
    bool inField = true; // still in the record's first field
    bool quoted = false;
    bool atFieldStart = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < text.size() && text[i + 1] == u'"') {
                    if (inField)
                        field.append(u'"');
                    ++i;
                } else {
                    quoted = false;
                }
            } else if (inField) {
                field.append(c);
            }
            continue;
        }
        if (c == u'\r' || c == u'\n') {
            out.append(field);
            field.clear();
            inField = true;
            atFieldStart = true;
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            continue;
        }
        if (c == separator) {
            inField = false;
            atFieldStart = true;
            continue;
        }
        if (c == u'"' && atFieldStart) {
            quoted = true;
            atFieldStart = false;
            continue;
        }
        atFieldStart = atFieldStart && c == u' ';
        if (inField)
            field.append(c);
    }
    if (!field.isEmpty() || !inField)
        out.append(field);
    return out;
}

} // namespace

QString decodeKeywordFile(const QByteArray& bytes) {
    if (const auto bom = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*bom, QStringDecoder::Flag::Stateless);
        return decoder.decode(bytes); // the decoder drops the byte-order mark
    }
    if (auto text = asUtf8(bytes))
        return std::move(*text);
    QStringDecoder gb18030("GB18030", QStringDecoder::Flag::Stateless);
    return gb18030.decode(bytes);
}

KeywordImport keywordsFrom(const QString& text, const QString& headerCaption,
                           const std::function<bool(const QString&)>& present) {
    const QChar separator = text.contains(u'\t') ? QChar(u'\t') : QChar(u',');
    KeywordImport result;
    QSet<QString> seen;
    for (const QString& field : firstFields(text, separator)) {
        const QString keyword = field.trimmed();
        if (keyword.isEmpty())
            continue;
        if (keyword == headerCaption || seen.contains(keyword) || (present && present(keyword))) {
            ++result.skipped;
            continue;
        }
        seen.insert(keyword);
        result.added.append(keyword);
    }
    return result;
}

void appendKeywordRows(RowList& table, const QStringList& keywords) {
    if (keywords.isEmpty())
        return;
    if (table.count() == 0)
        table.append(Row{resultHeader()});
    std::vector<Row> rows;
    rows.reserve(static_cast<std::size_t>(keywords.size()));
    for (const QString& keyword : keywords)
        rows.push_back(Row{{keyword, QString()}});
    table.append(std::move(rows));
}

} // namespace quilla
