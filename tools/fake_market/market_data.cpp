#include "fake_market/market_data.h"

#include "fake_market/dice.h"

#include <QByteArray>
#include <QDate>

#include <cstdlib>

namespace quilla::fake_market {

namespace {

FakeKeyword entry(const char16_t* keyword, const char16_t* count,
                  std::initializer_list<const char16_t*> related) {
    FakeKeyword k{QString::fromUtf16(keyword), QString::fromUtf16(count), {}};
    for (const char16_t* word : related)
        k.related.append(QString::fromUtf16(word));
    return k;
}

std::vector<FakeKeyword> makeGraph() {
    // Some words point back to earlier ones, as real related searches do.
    return {
        entry(u"qq", u"3,215,408",
              {u"qq币", u"qq会员", u"qq空间", u"qq音乐", u"qq飞车", u"qq号码"}),
        entry(u"qq币", u"186,442", {u"qq币充值", u"q币卡", u"qq会员", u"腾讯q币"}),
        entry(u"qq会员", u"92,310", {u"qq超级会员", u"qq会员年费", u"qq币", u"绿钻"}),
        entry(u"qq空间", u"45,187", {u"qq空间装扮", u"qq空间背景音乐", u"qq空间访问量", u"qq"}),
        entry(u"qq音乐", u"27,906", {u"qq音乐绿钻", u"绿钻", u"豪华绿钻", u"qq音乐会员"}),
        entry(u"qq飞车", u"63,015", {u"qq飞车点券", u"qq飞车手游", u"qq飞车车辆", u"qq币"}),
        entry(u"qq号码", u"8,462", {u"qq靓号", u"qq号码出售", u"5位qq", u"qq"}),
        entry(u"qq币充值", u"12,780", {u"q币卡", u"腾讯q币", u"qq币"}),
        entry(u"q币卡", u"4,391", {u"qq币充值", u"q币卡30元"}),
        entry(u"腾讯q币", u"2,057", {u"q币卡", u"qq币"}),
        entry(u"qq超级会员", u"31,624", {u"qq超级会员年费", u"qq会员"}),
        entry(u"qq会员年费", u"5,208", {}),
        entry(u"绿钻", u"760", {u"豪华绿钻", u"qq音乐绿钻"}),
        entry(u"qq空间装扮", u"1,342", {u"qq空间皮肤", u"qq空间"}),
        entry(u"qq空间背景音乐", u"596", {}),
        entry(u"qq空间访问量", u"1,118", {u"qq空间人气", u"qq空间"}),
        entry(u"qq音乐绿钻", u"2,873", {u"豪华绿钻", u"绿钻"}),
        entry(u"豪华绿钻", u"1,905", {u"豪华绿钻年费"}),
        entry(u"qq音乐会员", u"3,460", {u"qq音乐绿钻", u"qq会员"}),
        entry(u"qq飞车点券", u"24,517", {u"qq飞车手游点券", u"qq飞车"}),
        entry(u"qq飞车手游", u"9,832", {u"qq飞车手游点券", u"qq飞车手游账号"}),
        entry(u"qq飞车车辆", u"688", {}),
        entry(u"qq靓号", u"14,206", {u"6位qq", u"5位qq", u"qq号码"}),
        entry(u"qq号码出售", u"3,017", {u"qq靓号"}),
        entry(u"5位qq", u"942", {u"6位qq"}),
        entry(u"q币卡30元", u"57", {}),
        entry(u"qq超级会员年费", u"1,204", {}),
        entry(u"qq空间皮肤", u"305", {}),
        entry(u"qq空间人气", u"1,576", {}),
        entry(u"豪华绿钻年费", u"211", {}),
        entry(u"qq飞车手游点券", u"7,345", {}),
        entry(u"qq飞车手游账号", u"2,690", {}),
        entry(u"6位qq", u"1,388", {u"5位qq", u"qq靓号"}),
    };
}

const FakeKeyword* findKeyword(const QString& keyword) {
    for (const FakeKeyword& k : keywordGraph()) {
        if (k.keyword == keyword)
            return &k;
    }
    return nullptr;
}

QString groupedThousands(std::uint32_t n) {
    QString digits = QString::number(n);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u',');
    return digits;
}

std::vector<int> series(Dice& dice, int base, int days) {
    std::vector<int> values;
    values.reserve(static_cast<std::size_t>(days));
    for (int day = 0; day < days; ++day)
        values.push_back(base * dice.between(80, 120) / 100 + dice.between(0, 9));
    return values;
}

// A change of 1% to 60%, up or down.
int percentChange(Dice& dice) {
    const int size = dice.between(1, 60);
    return dice.between(0, 1) == 0 ? size : -size;
}

} // namespace

const std::vector<FakeKeyword>& keywordGraph() {
    static const std::vector<FakeKeyword> graph = makeGraph();
    return graph;
}

std::uint32_t keywordHash(const QString& keyword) {
    std::uint32_t hash = 2166136261u;
    for (const char byte : keyword.toUtf8()) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 16777619u;
    }
    return hash;
}

namespace {

QString firstDayCount(const QString& keyword) {
    if (const FakeKeyword* known = findKeyword(keyword))
        return known->count;
    return groupedThousands(1 + keywordHash(keyword) % 250000u);
}

} // namespace

QString fakeCount(const QString& keyword, int day) {
    if (keyword.isEmpty())
        return {};
    const QString first = firstDayCount(keyword);
    if (day <= 0)
        return first;
    // Each later day lies 1% to 40% off the first, up or down.
    Dice dice(keywordHash(keyword + QStringLiteral("@day") + QString::number(day)));
    const std::int64_t base = QString(first).remove(u',').toLongLong();
    const int size = dice.between(1, 40);
    const int change = dice.between(0, 1) == 0 ? size : -size;
    const std::int64_t moved = base * (100 + change) / 100;
    return groupedThousands(static_cast<std::uint32_t>(std::max<std::int64_t>(1, moved)));
}

QStringList fakeRelated(const QString& keyword, bool longTail) {
    if (const FakeKeyword* known = findKeyword(keyword))
        return known->related;
    if (!longTail || keyword.isEmpty())
        return {};
    return {keyword + u'1', keyword + u'2', keyword + u'3'};
}

FakeTrend fakeTrend(const QString& keyword, int day) {
    constexpr int days = 30;
    day = std::max(0, day);
    Dice dice(keywordHash(keyword));
    FakeTrend trend;
    const QDate end = QDate(2024, 5, 31).addDays(day);
    trend.startDate = end.addDays(1 - days).toString(Qt::ISODate);
    trend.endDate = end.toString(Qt::ISODate);
    // The days that passed are drawn after the first day's, which stay.
    const auto lastDays = [&](int base) {
        std::vector<int> all = series(dice, base, days + day);
        all.erase(all.begin(), all.begin() + day);
        return all;
    };
    const int searchBase = dice.between(200, 20000);
    trend.searchIndex = lastDays(searchBase);
    trend.tradeIndex = lastDays(searchBase * dice.between(30, 70) / 100);
    trend.sevenDay = percentChange(dice);
    trend.sevenDayYoy = percentChange(dice);
    trend.thirtyDay = percentChange(dice);
    trend.thirtyDayYoy = percentChange(dice);
    static const QString forecasts[] = {QStringLiteral("上升"), QStringLiteral("下降"),
                                        QStringLiteral("平稳")};
    trend.forecast = forecasts[dice.between(0, 2)];
    return trend;
}

QString signedPercent(int percent) {
    const QString sign = percent < 0 ? QStringLiteral("-") : QStringLiteral("+");
    return sign + QString::number(std::abs(percent)) + u'%';
}

std::array<QString, 9> expectedFields(const QString& keyword, int day) {
    // A text box drops line breaks from a value set into it, so the page asks
    // for the keyword without them.
    QString asTyped = keyword;
    asTyped.remove(u'\r').remove(u'\n');
    const FakeTrend t = fakeTrend(asTyped, day);
    const auto nth = [](const std::vector<int>& s, std::size_t fromEnd) {
        return QString::number(s[s.size() - fromEnd]);
    };
    return {nth(t.searchIndex, 1),      nth(t.searchIndex, 2),         nth(t.tradeIndex, 1),
            nth(t.tradeIndex, 2),       signedPercent(t.sevenDay),     signedPercent(t.sevenDayYoy),
            signedPercent(t.thirtyDay), signedPercent(t.thirtyDayYoy), t.forecast};
}

} // namespace quilla::fake_market
