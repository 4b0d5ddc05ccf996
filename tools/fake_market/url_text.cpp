#include "fake_market/url_text.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace quilla::fake_market {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

} // namespace

std::string rawQueryValue(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        const std::size_t end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        const std::size_t equals = pair.find('=');
        if (pair.substr(0, equals) == name)
            return equals == std::string_view::npos ? std::string{}
                                                    : std::string(pair.substr(equals + 1));
        if (end == std::string_view::npos)
            break;
        query.remove_prefix(end + 1);
    }
    return {};
}

QByteArray percentDecoded(std::string_view text) {
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            bytes.append(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            bytes.append(c == '+' ? ' ' : c);
        }
    }
    return bytes;
}

QString fromGb18030(const QByteArray& bytes) {
    QStringDecoder decoder("GB18030");
    return decoder.decode(bytes);
}

QByteArray toGb18030(const QString& text) {
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

QString gb18030PercentEncoded(const QString& text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    QString encoded;
    for (const char byte : toGb18030(text)) {
        const auto c = static_cast<unsigned char>(byte);
        if (isUnreserved(c)) {
            encoded.append(QLatin1Char(static_cast<char>(c)));
        } else {
            encoded.append(u'%');
            encoded.append(QLatin1Char(hex[c >> 4]));
            encoded.append(QLatin1Char(hex[c & 0xF]));
        }
    }
    return encoded;
}

QString jsStringLiteral(const QString& text) {
    QString literal(u'"');
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c >= 0x20 && c < 0x7F && c != u'"' && c != u'\\' && c != u'<') {
            literal.append(ch);
        } else {
            literal.append(QStringLiteral("\\u"));
            literal.append(QString::number(c, 16).rightJustified(4, u'0'));
        }
    }
    literal.append(u'"');
    return literal;
}

} // namespace quilla::fake_market
