// Root totals on a table worked out by hand, and the title composer against
// an exhaustive search over every set of roots.

#include "results/cell_values.h"
#include "segmenter/segmenter.h"
#include "support/qstring_print.h"
#include "titles/root_table.h"
#include "titles/title_check.h"
#include "titles/title_composer.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

// keyword, count, yesterday's search index, yesterday's trade index; a row
// with fewer fields was never queried.
Row row(const char* keyword, const char* count, const char* search = nullptr,
        const char* trade = nullptr) {
    QStringList fields{u8(keyword), u8(count)};
    if (search)
        fields << u8(search) << QString() << u8(trade ? trade : "") << QString() << QString()
               << QString() << QString() << QString() << QString();
    return Row{fields};
}

TEST(RootTable, TotalsDemandAndSupplyPerRoot) {
    const std::vector<Row> rows = {
        row("连衣裙女", "1,000", "300", "20"),
        row("夏季连衣裙", "0", "100"),
        row("连衣裙", "未找到", "50", "5"),
        row("女 连衣裙 女", "2,000"),        // never queried; 女 twice counts once
        row("夏季女", "500", "", ""),        // queried, no figures
        row("连衣裙女", "1.2万", "10", "1"), // the same keyword again
        row("棉麻", "300"),
        row("真丝", "0", "0"),
    };
    const Segmenter segmenter;
    std::vector<RootFigures> roots = rootTable(rows, segmenter);
    sortBySearch(roots);
    std::vector<QStringList> cells;
    for (const RootFigures& r : roots)
        cells.push_back(rootCells(r));
    const std::vector<QStringList> expected = {
        // 410 ÷ 13,000 × 1000 over the rows with both figures.
        u8("连衣裙,5,460,26,15000,31.5").split(u','),
        u8("女,4,310,21,15500,23.8").split(u','),
        // Demand with no supply; no row has a trade index.
        u8("夏季,2,100,,500,无竞品").split(u','),
        u8("真丝,1,0,,0,").split(u','),
        u8("棉麻,1,,,300,").split(u','),
    };
    EXPECT_EQ(cells, expected);
    EXPECT_EQ(rootCaptions(), u8("词根,关键词数,搜索指数,成交指数,宝贝数,机会").split(u','));

    // Following the table row by row ends where totalling it afresh does.
    RootTotals live(segmenter);
    for (const Row& r : rows)
        live.add(r);
    std::vector<Row> changed = rows;
    changed[1] = row("夏季连衣裙", "40", "120", "3");
    live.remove(rows[1]);
    live.add(changed[1]);
    live.remove(rows[6]);
    changed.erase(changed.begin() + 6);
    std::vector<RootFigures> followed = live.roots(), fresh = rootTable(changed, segmenter);
    sortBySearch(followed);
    sortBySearch(fresh);
    ASSERT_EQ(followed.size(), fresh.size());
    for (size_t i = 0; i < fresh.size(); ++i)
        EXPECT_EQ(rootCells(followed[i]), rootCells(fresh[i]));
    EXPECT_EQ(live.find(u8("棉麻")), nullptr);
}

TEST(TitleCheck, CoversKeywordsWhoseRootsAreAllInTheTitle) {
    const std::vector<Row> rows = {
        row("连衣裙女", "1000", "300"), // 连衣裙 + 女
        row("夏季连衣裙", "0", "100"),  // demand, no supply: 无竞品
        row("真丝", "200", "80"),       // opportunity 400, as 连衣裙 with less demand
        row("棉麻", "50", "10"),        // opportunity 200
        row("毛衣", "100", "60"),       // opportunity 600
        row("碎花", "1000", "30"),      // opportunity 30
        row("蕾丝", "10", "20"),        // opportunity 2000
        row("V领", "5"),                // never queried: no opportunity
    };
    const Segmenter segmenter;
    struct Case {
        const char* title;
        int bytes;
        std::vector<std::size_t> covered; // most demand first
        double share;
        const char* missed;
    };
    const double total = 600;
    const std::vector<Case> cases = {
        {"夏季连衣裙女", 12, {0, 1}, 400 / total, "蕾丝,毛衣,真丝,棉麻,碎花"},
        // Any order, spaces and punctuation between, letters in any case.
        {"女 v领/连衣裙", 13, {0, 7}, 300 / total, "夏季,蕾丝,毛衣,真丝,棉麻"},
        // A keyword needs every one of its roots; equal opportunity goes by demand.
        {"连衣裙", 6, {}, 0, "夏季,蕾丝,毛衣,真丝,女"},
        {"", 0, {}, 0, "夏季,蕾丝,毛衣,连衣裙,真丝"},
        {"ABC 蕾丝 毛衣 真丝 棉麻 夏季 碎花", 33, {2, 4, 5, 6, 3}, 200 / total, "连衣裙,女"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const TitleCheck check = checkTitle(u8(c.title), rows, segmenter);
        EXPECT_EQ(check.bytes, c.bytes);
        EXPECT_EQ(check.covered, c.covered);
        EXPECT_NEAR(check.share, c.share, 1e-12);
        EXPECT_EQ(check.missed.join(u','), u8(c.missed));
    }
    // A table without demand covers no share, and a paste of a page is cut.
    const TitleCheck none = checkTitle(u8("碎花"), {row("碎花", "5")}, segmenter);
    EXPECT_EQ(none.covered, std::vector<std::size_t>{0});
    EXPECT_EQ(none.share, 0);
    EXPECT_EQ(checkTitle(QString(1'000'000, u'裙'), rows, segmenter).bytes, 12000);
}

TEST(TitleComposer, WritesAndCountsTitles) {
    const struct {
        QStringList roots;
        const char* text;
        int bytes;
    } cases[] = {
        {{u"iphone"_s, u"14"_s, u8("手机壳")}, "iphone 14手机壳", 15},
        {{u8("t恤"), u"abc"_s}, "t恤abc", 6},
        {{u"abc"_s, u8("t恤")}, "abc t恤", 7},
        {{u8("女"), u""_s, u8("😀")}, "女😀", 4},
        {{}, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(joinRoots(c.roots), u8(c.text));
        EXPECT_EQ(titleBytes(joinRoots(c.roots)), c.bytes);
    }

    // The most demanded covered keyword's roots first, in its order, then
    // the others by demand.
    TitleProblem p;
    p.roots = {u8("壳"), u8("手机"), u8("硅胶"), u8("透明"), u"iphone"_s};
    p.keywords = {{1, 0}, {2, 1, 0}, {3, 1, 0}, {4}};
    p.demand = {50, 80, 10, 30};
    const Title t = titleOf(p, {0, 1, 2, 3, 4});
    EXPECT_EQ(t.text, u8("硅胶手机壳iphone透明"));
    EXPECT_EQ(t.bytes, 20);
    EXPECT_EQ(t.demand, 170);
    EXPECT_EQ(t.covered, (std::vector<int>{1, 0, 3, 2}));
}

// Every valid set of roots, by the definition: must roots in, excluded ones
// out, any other root there for a covered keyword with demand, within the
// budget; the covered demand of each, largest first.
std::vector<double> bruteForce(const TitleProblem& p) {
    const int n = static_cast<int>(p.roots.size());
    std::vector<double> values;
    for (int mask = 1; mask < (1 << n); ++mask) {
        const auto in = [&](int r) { return (mask >> r) & 1; };
        bool valid = std::all_of(p.must.begin(), p.must.end(), in) &&
                     std::none_of(p.exclude.begin(), p.exclude.end(), in);
        double demand = 0;
        std::vector<bool> needed(n, false);
        for (const int r : p.must)
            needed[r] = true;
        for (size_t k = 0; k < p.keywords.size(); ++k) {
            const auto& kr = p.keywords[k];
            if (kr.empty() || !std::all_of(kr.begin(), kr.end(), in))
                continue;
            demand += p.demand[k];
            if (p.demand[k] > 0)
                for (const int r : kr)
                    needed[r] = true;
        }
        std::vector<int> set;
        for (int r = 0; r < n; ++r)
            if (in(r)) {
                valid = valid && needed[r];
                set.push_back(r);
            }
        if (valid && titleOf(p, set).bytes <= p.budget)
            values.push_back(demand);
    }
    std::sort(values.rbegin(), values.rend());
    return values;
}

TEST(TitleComposer, FindsEveryOptimumAnExhaustiveSearchFinds) {
    const QStringList pool = {u8("女"),  u8("连衣裙"), u8("夏季"), u8("雪纺"), u8("阔腿裤"),
                              u8("t恤"), u"iphone"_s,  u"14"_s,    u"pro"_s,   u8("手机壳"),
                              u8("壳"),  u"x"_s,       u8("高腰"), u8("显瘦")};
    QRandomGenerator random(20250425);
    int instances = 0, withAlternatives = 0, withoutTitle = 0;
    for (int round = 0; round < 120; ++round) {
        TitleProblem p;
        const int n = 4 + static_cast<int>(random.bounded(7)); // 4..10 roots
        QStringList roots = pool;
        for (int i = 0; i < n; ++i)
            p.roots << roots.takeAt(static_cast<int>(random.bounded(roots.size())));
        const int keywords = 3 + static_cast<int>(random.bounded(10));
        for (int k = 0; k < keywords; ++k) {
            std::set<int> chosen;
            const int size = 1 + static_cast<int>(random.bounded(3));
            while (static_cast<int>(chosen.size()) < size)
                chosen.insert(static_cast<int>(random.bounded(n)));
            std::vector<int> kr(chosen.begin(), chosen.end());
            std::shuffle(kr.begin(), kr.end(), std::mt19937(random.generate()));
            p.keywords.push_back(kr);
            // Some keywords without demand; ties are common.
            p.demand.push_back(random.bounded(4) == 0 ? 0 : 10 * random.bounded(1, 20));
        }
        if (random.bounded(3) == 0)
            p.must.push_back(static_cast<int>(random.bounded(n)));
        if (random.bounded(3) == 0) {
            const int r = static_cast<int>(random.bounded(n));
            if (std::find(p.must.begin(), p.must.end(), r) == p.must.end())
                p.exclude.push_back(r);
        }
        // Budgets around where titles stop fitting, a space included.
        const TitleProblem roomy = [&] {
            TitleProblem q = p;
            q.budget = 1000;
            return q;
        }();
        const Composition all = compose(roomy, 1);
        const int widest = all.titles.empty() ? 10 : all.titles.front().bytes;
        for (const int budget : {1, 2, 3, 4, 6, 7, 9, widest - 1, widest, widest + 1, 60}) {
            if (budget < 1)
                continue;
            p.budget = budget;
            SCOPED_TRACE("round " + std::to_string(round) + ", budget " + std::to_string(budget));
            const std::vector<double> expected = bruteForce(p);
            const Composition got = compose(p, 3, 10.0);
            ASSERT_FALSE(got.capHit);
            ASSERT_EQ(got.titles.size(), std::min<size_t>(3, expected.size()));
            std::set<QStringList> sets;
            for (size_t i = 0; i < got.titles.size(); ++i) {
                const Title& t = got.titles[i];
                EXPECT_EQ(t.demand, expected[i]) << "title " << i << ": " << t.text.toStdString();
                EXPECT_LE(t.bytes, budget);
                EXPECT_EQ(titleBytes(t.text), t.bytes);
                for (const int r : p.must)
                    EXPECT_TRUE(t.roots.contains(p.roots[r]));
                for (const int r : p.exclude)
                    EXPECT_FALSE(t.roots.contains(p.roots[r]));
                QStringList sorted = t.roots;
                sorted.sort();
                sets.insert(sorted);
            }
            EXPECT_EQ(sets.size(), got.titles.size()) << "alternatives share their roots";
            ++instances;
            withAlternatives += got.titles.size() == 3;
            withoutTitle += got.titles.empty();
        }
    }
    // The table reaches every kind of answer.
    EXPECT_GT(withAlternatives, 100);
    EXPECT_GT(withoutTitle, 50);
    EXPECT_GT(instances, 1000);
}

TEST(TitleComposer, TakesRequestsFromTheTable) {
    const std::vector<Row> rows = {row("硅胶手机壳", "1,000", "300"),
                                   row("透明手机壳", "500", "200"),
                                   row("iPhone手机壳", "800", "100"), row("手机壳女", "900", "50"),
                                   row("苹果手机壳", "700", "")};
    const Segmenter segmenter;
    QString why;
    // A must word that is no root is taken as its roots.
    auto p = titleProblem(rows, segmenter, {{u8("手机壳")}, {u"IPHONE"_s}, 10}, &why);
    ASSERT_TRUE(p) << why.toStdString();
    const Composition c = compose(*p);
    ASSERT_FALSE(c.titles.empty());
    EXPECT_EQ(c.titles.front().text, u8("硅胶手机壳"));
    EXPECT_EQ(c.titles.front().demand, 300);
    EXPECT_EQ(totalDemand(*p), 650);
    ASSERT_EQ(c.titles.size(), 3u);
    EXPECT_EQ(c.titles[1].text, u8("透明手机壳"));
    EXPECT_EQ(c.titles[2].text, u8("手机壳女"));

    // A must word outside the table is still written.
    p = titleProblem(rows, segmenter, {{u8("真丝")}, {}, 60}, &why);
    ASSERT_TRUE(p);
    EXPECT_TRUE(compose(*p).titles.front().roots.contains(u8("真丝")));

    EXPECT_FALSE(titleProblem(rows, segmenter, {{u8("手机")}, {u8("手机")}, 60}, &why));
    EXPECT_TRUE(why.contains(u8("both required and excluded"))) << why.toStdString();
    EXPECT_FALSE(titleProblem(rows, segmenter, {{u"!!"_s}, {}, 60}, &why));

    // Out of time: said so.
    EXPECT_TRUE(compose(*p, 3, 0).capHit);
}

} // namespace
} // namespace quilla
