// CSV writing: the input is a table, rows split at U+001E and fields at
// U+001F. Every line reads back, with an RFC 4180 reader of our own, to the
// fields it was written from; only fields that need it are quoted; and the
// file's bytes read back, as code page 936 and GB18030 read them, to the lines.

#include "fuzz_support.h"

#include "export/csv_export.h"

#include <QStringDecoder>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

using namespace quilla::fuzz;

struct Field {
    QString text;
    bool quoted = false;
};

// One record from `at`, which moves past it; the record ends at the end of
// the text or, when `lineEnds`, after an unquoted CR LF. Nothing when the text
// is not well-formed CSV.
std::optional<std::vector<Field>> readRecord(QStringView s, qsizetype& at, bool lineEnds) {
    std::vector<Field> fields;
    for (;;) {
        Field f;
        if (at < s.size() && s[at] == u'"') {
            f.quoted = true;
            for (++at;; ++at) {
                if (at >= s.size())
                    return std::nullopt; // no closing quote
                if (s[at] == u'"') {
                    if (at + 1 < s.size() && s[at + 1] == u'"') {
                        f.text.append(u'"');
                        ++at;
                        continue;
                    }
                    ++at;
                    break;
                }
                f.text.append(s[at]);
            }
        } else {
            while (at < s.size() && s[at] != u',' && s[at] != u'\r' && s[at] != u'\n') {
                if (s[at] == u'"')
                    return std::nullopt; // a quote inside an unquoted field
                f.text.append(s[at++]);
            }
        }
        fields.push_back(f);
        if (at < s.size() && s[at] == u',') {
            ++at;
            continue;
        }
        if (lineEnds) {
            if (at + 1 < s.size() && s[at] == u'\r' && s[at + 1] == u'\n') {
                at += 2;
                return fields;
            }
            return std::nullopt; // every line ends in CR LF
        }
        if (at != s.size())
            return std::nullopt; // a bare CR or LF outside quotes
        return fields;
    }
}

bool needsQuotes(const QString& field) {
    for (const QChar c : field)
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n')
            return true;
    return false;
}

// Code page 936 writes the euro as the single byte 0x80, which GB18030 lacks:
// walk the characters, decode the stretches between such euros as GB18030.
QString readCp936(const QByteArray& bytes) {
    QString text;
    qsizetype from = 0;
    auto flush = [&](qsizetype to) {
        QStringDecoder gb18030("GB18030", QStringDecoder::Flag::Stateless);
        text += gb18030.decode(QByteArrayView(bytes).sliced(from, to - from));
    };
    for (qsizetype i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == 0x80) {
            flush(i);
            text.append(QChar(0x20AC));
            from = ++i;
        } else if (b < 0x80) {
            ++i;
        } else {
            const bool four = i + 1 < bytes.size() && bytes[i + 1] >= '0' && bytes[i + 1] <= '9';
            i = std::min(bytes.size(), i + (four ? 4 : 2));
        }
    }
    flush(bytes.size());
    return text;
}

// Lone surrogates have no bytes of their own; the encoder writes them as SUB.
QString asWritten(const QString& s) {
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            out.append(s[i]).append(s[i + 1]);
            ++i;
        } else {
            out.append(s[i].isSurrogate() ? QChar(0x1A) : s[i]);
        }
    }
    return out;
}

void checkLine(const quilla::Row& row) {
    const QString line = quilla::csvLine(row);
    if (row.fields.isEmpty()) {
        FUZZ_CHECK(line.isEmpty());
        return;
    }
    qsizetype at = 0;
    const auto read = readRecord(line, at, false);
    FUZZ_CHECK(read.has_value());
    FUZZ_CHECK(read->size() == static_cast<std::size_t>(row.fields.size()));
    bool anyQuoted = false;
    for (std::size_t i = 0; i < read->size(); ++i) {
        const QString& field = row.fields[static_cast<qsizetype>(i)];
        FUZZ_CHECK((*read)[i].text == field);
        FUZZ_CHECK((*read)[i].quoted == needsQuotes(field));
        anyQuoted = anyQuoted || (*read)[i].quoted;
    }
    if (!anyQuoted)
        FUZZ_CHECK(line == row.fields.join(u','));
}

void checkFile(const std::vector<quilla::Row>& rows) {
    quilla::RowList table;
    for (const quilla::Row& row : rows)
        table.append(row);
    const QByteArray bytes = quilla::csvBytes(table);
    if (rows.empty()) {
        FUZZ_CHECK(bytes.isEmpty());
        return;
    }
    const QString text = readCp936(bytes);
    qsizetype at = 0;
    for (const quilla::Row& row : rows) {
        const auto read = readRecord(text, at, true);
        FUZZ_CHECK(read.has_value());
        // A row without fields and a row of one empty field are both an empty line.
        const QStringList expected = row.fields.isEmpty() ? QStringList{QString()} : row.fields;
        FUZZ_CHECK(read->size() == static_cast<std::size_t>(expected.size()));
        for (std::size_t i = 0; i < read->size(); ++i)
            FUZZ_CHECK((*read)[i].text == asWritten(expected[static_cast<qsizetype>(i)]));
    }
    FUZZ_CHECK(at == text.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString input = textOf(bytesOf(data, size));
    std::vector<quilla::Row> rows;
    if (!input.isEmpty()) {
        for (const QString& line : input.split(QChar(0x1E))) {
            quilla::Row row;
            if (!line.isEmpty())
                row.fields = line.split(QChar(0x1F));
            rows.push_back(row);
        }
    }
    for (const quilla::Row& row : rows)
        checkLine(row);
    checkFile(rows);
    return 0;
}
