// expected_session SEED INCLUDE EXCLUDE QUANTITY
// Prints as JSON what a person's session over the fake marketplace must give:
// the keywords a mining run searches and the rows it keeps, the nine figures
// the trend page shows for each row, and the three addresses the desktop is
// asked to open. Arguments are UTF-8.

#include "fake_market/market_data.h"
#include "links/links.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace {

using namespace quilla;

struct Mining {
    QStringList searched;    // every keyword fetched, in order
    QList<QStringList> rows; // keyword and count text
};

QString rowKeyword(const QString& row) {
    const qsizetype comma = row.indexOf(u',');
    return comma < 0 ? row : row.left(comma);
}

bool passes(const QString& keyword, const QString& include, const QString& exclude) {
    return (include.isEmpty() || keyword.contains(include)) &&
           (exclude.isEmpty() || !keyword.contains(exclude));
}

// The candidate list as the window keeps it: mined rows read "keyword,count",
// so a word suggested again after it was mined no longer matches its row and
// joins the queue once more; a word still waiting does not.
std::optional<Mining> mine(const QString& seed, const QString& include, const QString& exclude,
                           int quantity) {
    QStringList candidates{QString::fromUtf8("关键词,宝贝数"), seed};
    Mining m;
    for (qsizetype next = 1;; ++next) {
        if (next >= candidates.size())
            return std::nullopt; // a dry list: not a case this session walks
        const QString keyword = candidates[next];
        m.searched.append(keyword);
        for (const QString& word : fake_market::fakeRelated(keyword))
            if (!word.isEmpty() && !candidates.contains(word))
                candidates.append(word);
        QString count = fake_market::fakeCount(keyword);
        if (count.isEmpty())
            count = QString::fromUtf8("未找到");
        candidates[next] = keyword + u',' + count;
        if (passes(rowKeyword(candidates[next]), include, exclude))
            m.rows.append({keyword, count});
        if (quantity < m.rows.size() + 1)
            return m;
    }
}

} // namespace

int main(int argc, char** argv) {
    bool isNumber = false;
    const int quantity = argc == 5 ? QString::fromUtf8(argv[4]).toInt(&isNumber) : 0;
    if (!isNumber || quantity < 1) {
        std::fputs("usage: expected_session SEED INCLUDE EXCLUDE QUANTITY (QUANTITY >= 1)\n",
                   stderr);
        return 2;
    }
    const auto mining = mine(QString::fromUtf8(argv[1]), QString::fromUtf8(argv[2]),
                             QString::fromUtf8(argv[3]), quantity);
    if (!mining) {
        std::fputs("expected_session: the candidate list runs dry before the quantity\n", stderr);
        return 1;
    }

    QJsonArray rows;
    for (const QStringList& row : mining->rows) {
        QJsonArray figures;
        for (const QString& f : fake_market::expectedFields(row[0]))
            figures.append(f);
        rows.append(QJsonObject{{QStringLiteral("keyword"), row[0]},
                                {QStringLiteral("count"), row[1]},
                                {QStringLiteral("figures"), figures}});
    }
    const QJsonObject out{
        {QStringLiteral("searched"), QJsonArray::fromStringList(mining->searched)},
        {QStringLiteral("rows"), rows},
        {QStringLiteral("contact"), links::contactLink()},
        {QStringLiteral("home"), links::homePage()},
        {QStringLiteral("promotion"), links::promotionLink()},
    };
    const QByteArray json = QJsonDocument(out).toJson(QJsonDocument::Indented);
    std::fwrite(json.constData(), 1, static_cast<std::size_t>(json.size()), stdout);
    return 0;
}
