#include "index/trend_page.h"
#include "support/qstring_print.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace quilla {
namespace {

const QString series =
    QStringLiteral("App.set({cityEndDate:1,a:[10,20,30]},{cityEndDate:2,b:[40,50,60]})");
const QString sevenDays = QStringLiteral(
    "最近七天的搜索指数环比<SPAN class=up>12%</SPAN>，与去年同期相比<SPAN class=down>3%</SPAN>。");
const QString thirtyDays = QStringLiteral(
    "最近三十天的搜索指数环比<SPAN class=down>5%</SPAN>，与去年同期相比<SPAN class=up>8%</SPAN>。");
const QString forecast = QStringLiteral("趋势预测：上升。wxyz去阿里指数查看");

QString page(const QStringList& lines) {
    return lines.join(QStringLiteral("\r\n"));
}

QString withSeries(const QString& first, const QString& second) {
    return page({QStringLiteral("App.set({cityEndDate:1,a:") + first +
                     QStringLiteral("},{cityEndDate:2,b:") + second + QStringLiteral("})"),
                 sevenDays, thirtyDays, forecast});
}

QStringList fields(const TrendFields& f) {
    return QStringList(f.begin(), f.end());
}

QStringList split(const char* commaSeparated) {
    return QString::fromUtf8(commaSeparated).split(u',');
}

struct Case {
    const char* name;
    QString pageText;
    QStringList expected;
};
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class TrendFieldsTest : public ::testing::TestWithParam<Case> {};

TEST_P(TrendFieldsTest, TakesTheNineFigures) {
    EXPECT_EQ(fields(trendFigures(GetParam().pageText)), GetParam().expected);
}

// Spaces and line breaks are gone before any marker is looked for, so ones
// put anywhere, inside markers too, change no figure.
TEST_P(TrendFieldsTest, SpacesAndLineBreaksAnywhereChangeNothing) {
    const QString text = GetParam().pageText;
    const QString breaks[] = {QStringLiteral(" "), QStringLiteral("\r\n"), QStringLiteral("\n ")};
    for (int every = 1; every <= 3; ++every) {
        QString spread;
        for (qsizetype i = 0; i < text.size(); ++i) {
            spread += text[i];
            if (i % every == 0 && !text[i].isHighSurrogate())
                spread += breaks[i % 3];
        }
        EXPECT_EQ(fields(trendFigures(spread)), GetParam().expected) << "every " << every;
    }
}

QString replaced(QString text, const char* from, const char* to) {
    return text.replace(QString::fromUtf8(from), QString::fromUtf8(to));
}

const QStringList none = split(",,,,,,,,");
const QStringList sentencesOnly = split(",,,,+12%,-3%,-5%,+8%,上升");

INSTANTIATE_TEST_SUITE_P(
    Pages, TrendFieldsTest,
    ::testing::Values(
        Case{"whole", page({series, sevenDays, thirtyDays, forecast}),
             split("30,20,60,50,+12%,-3%,-5%,+8%,上升")},
        // The cuts drop a character from the end each time; without padding
        // before the link the forecast's full stop is gone.
        Case{"forecastUnpadded",
             page({series, sevenDays, thirtyDays, replaced(forecast, "wxyz", "")}),
             QStringList{split("30,20,60,50,+12%,-3%,-5%,+8%") +
                         QStringList{QStringLiteral("与去年同期相比<SPANclass=up>8%</SPAN>")}}},
        Case{"forecastThreePadded",
             page({series, sevenDays, thirtyDays, replaced(forecast, "wxyz", "xyz")}),
             split("30,20,60,50,+12%,-3%,-5%,+8%,")},
        Case{"seriesOfOne", withSeries(QStringLiteral("[7]"), QStringLiteral("[40,50,60]")),
             split("[7,,60,50,+12%,-3%,-5%,+8%,上升")},
        Case{"seriesOfTwo", withSeries(QStringLiteral("[5,7]"), QStringLiteral("[40,50,60]")),
             split("7,[5,60,50,+12%,-3%,-5%,+8%,上升")},
        Case{"secondSeriesOfFive",
             withSeries(QStringLiteral("[7]"), QStringLiteral("[40,50,60,70,80]")),
             split("[7,,80,70,+12%,-3%,-5%,+8%,上升")},
        // The cuts drop the second series' closing bracket: no trade index.
        Case{"seriesLineAlone", series, split("30,20,,,,,,,")},
        Case{"sentenceLinesAlone", page({sevenDays, thirtyDays, forecast}), sentencesOnly},
        Case{"empty", QString(), none},
        Case{"lowerCaseMarkupStays",
             page({series, replaced(sevenDays, "SPAN", "span"), thirtyDays, forecast}),
             QStringList{split("30,20,60,50") +
                         QStringList{QStringLiteral("<spanclass=up>12%</span>"),
                                     QStringLiteral("<spanclass=down>3%</span>")} +
                         split("-5%,+8%,上升")}},
        Case{"quotedAttributeStays",
             page({series, replaced(sevenDays, "class=down", "class=\"down\""), thirtyDays,
                   forecast}),
             QStringList{split("30,20,60,50,+12%") +
                         QStringList{QStringLiteral("<SPANclass=\"down\">3%")} +
                         split("-5%,+8%,上升")}},
        // Spaces, carriage returns and line feeds go; a tab stays.
        Case{"whiteSpace",
             withSeries(QStringLiteral("[10, 2 0,\r\n\t30 ]"), QStringLiteral("[40,\n50,6 0]")),
             QStringList{QStringList{QStringLiteral("\t30"), QStringLiteral("20")} +
                         split("60,50,+12%,-3%,-5%,+8%,上升")}},
        // Markers before the figures' own ones are passed over.
        Case{"earlierMarkers",
             page({QStringLiteral("var x={cityEndDate:0,z:[1,2]};趋势预测：下降。与去年同期相比，"),
                   series, sevenDays, thirtyDays, forecast}),
             split("30,20,60,50,+12%,-3%,-5%,+8%,上升")},
        // Positions count characters, so one outside the 16-bit range is one.
        Case{"wideCharacter",
             page({series, replaced(sevenDays, "环比", "环😀"), thirtyDays, forecast}),
             split("30,20,60,50,+12%,-3%,-5%,+8%,上升")},

        // A series whose own markers are missing gives no figures.
        Case{"noAppSet", page({replaced(series, "App.set", ""), sevenDays, thirtyDays, forecast}),
             sentencesOnly},
        Case{"noCityEndDate",
             page({replaced(series, "cityEndDate", "end"), sevenDays, thirtyDays, forecast}),
             sentencesOnly},
        Case{"firstSeriesNoOpeningBracket",
             page({QStringLiteral("App.set({cityEndDate:1,a:10,20,30]})"), sevenDays, thirtyDays,
                   forecast}),
             sentencesOnly},
        Case{"noSecondSeries",
             page({QStringLiteral("App.set({cityEndDate:1,a:[10,20,30]})"), sevenDays, thirtyDays,
                   forecast}),
             split("30,20,,,+12%,-3%,-5%,+8%,上升")},

        // A sentence figure whose own marker is missing is empty.
        Case{"noSevenDayMarker",
             page({series, replaced(sevenDays, "最近七天的", ""), thirtyDays, forecast}),
             split("30,20,60,50,,-3%,-5%,+8%,上升")},
        Case{"noYearOnYearMarkers",
             page({series, replaced(sevenDays, "与去年同期相比", ""),
                   replaced(thirtyDays, "与去年同期相比", ""), forecast}),
             split("30,20,60,50,+12%,,-5%,,上升")},
        Case{"noSecondYearOnYearMarker",
             page({series, sevenDays, replaced(thirtyDays, "与去年同期相比", ""), forecast}),
             split("30,20,60,50,+12%,-3%,-5%,,上升")},
        Case{"noForecastMarker",
             page({series, sevenDays, thirtyDays, replaced(forecast, "趋势预测", "")}),
             split("30,20,60,50,+12%,-3%,-5%,+8%,")}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

// A page much larger than the figures, with the markers far apart.
TEST(TrendFields, FindsTheFiguresInALargePage) {
    const QString filler = QStringLiteral("<DIV class=x>，。[]</DIV>").repeated(20000);
    const QString text = filler + series + filler + sevenDays + thirtyDays + forecast + filler;
    EXPECT_EQ(fields(trendFigures(text)), split("30,20,60,50,+12%,-3%,-5%,+8%,上升"));
}

TEST(ExtendRow, KeepsKeywordAndCountAndAppendsTheNine) {
    const TrendFields figures{
        QStringLiteral("30"),  QStringLiteral("20"),   QStringLiteral("60"),
        QStringLiteral("50"),  QStringLiteral("+12%"), QStringLiteral("-3%"),
        QStringLiteral("-5%"), QStringLiteral("+8%"),  QStringLiteral("上升")};
    const TrendFields empty{};
    struct {
        QStringList row;
        const TrendFields& with;
        QString text;
    } const cases[] = {
        {split("qq,5"), figures, QStringLiteral("qq,5,30,20,60,50,+12%,-3%,-5%,+8%,上升")},
        {split("qq,5"), empty, QStringLiteral("qq,5,,,,,,,,,")},
        {split("qq"), figures, QStringLiteral("qq,30,20,60,50,+12%,-3%,-5%,+8%,上升")},
        // Figures from an earlier query are replaced.
        {split("qq,5,1,2,3,4,5,6,7,8,9"), figures,
         QStringLiteral("qq,5,30,20,60,50,+12%,-3%,-5%,+8%,上升")},
        {split("qq,5,1,2,3,4,5,6,7,8,9,1,2,3,4,5,6,7,8,9"), empty, QStringLiteral("qq,5,,,,,,,,,")},
    };
    for (const auto& c : cases) {
        const Row extended = extendRow(Row{c.row}, c.with);
        EXPECT_EQ(extended.text(), c.text) << c.row.join(u',').toStdString();
        EXPECT_LE(extended.fields.size(), 11);
    }
}

TEST(ExtendRow, KeepsAKeywordThatHoldsAComma) {
    const Row extended = extendRow(Row{{QStringLiteral("a,b"), QStringLiteral("5")}}, {});
    EXPECT_EQ(extended.keyword(), QStringLiteral("a,b"));
    EXPECT_EQ(extended.fields.size(), 11);
}

} // namespace
} // namespace quilla
