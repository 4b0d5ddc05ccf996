// The root view over the real window's result table: it opens with Ctrl+R,
// totals and sorts the roots, follows the table, filters it, merges and
// splits roots, composes a title and checks one.

#include "app/main_window.h"
#include "app/root_window.h"

#include "core/list_headers.h"
#include "segmenter/segmenter.h"
#include "support/fake_fetcher.h"
#include "support/fake_opener.h"
#include "support/qstring_print.h"
#include "support/wait.h"
#include "workbench/workbench.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;

// keyword, count, yesterday's search index (empty: never queried).
Row row(const char* keyword, const char* count, const char* search = "") {
    QStringList fields{QString::fromUtf8(keyword), QString::fromUtf8(count)};
    if (*search)
        fields << QString::fromUtf8(search) << QString() << u"1"_s;
    return Row{fields};
}

// The table's cells, a line per row, as shown.
QStringList shown(const QTableView& table) {
    QStringList lines;
    const QAbstractItemModel* m = table.model();
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m->columnCount(); ++c)
            cells << m->index(r, c).data().toString();
        lines << cells.join(u'|');
    }
    return lines;
}

QStringList rootsShown(const QTableView& table) {
    QStringList roots;
    for (int r = 0; r < table.model()->rowCount(); ++r)
        roots << table.model()->index(r, 0).data().toString();
    return roots;
}

void clickCell(QTableView& table, int viewRow) {
    const QRect cell = table.visualRect(table.model()->index(viewRow, 0));
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell.center());
}

TEST(RootWindow, TotalsFiltersComposesAndChecks) {
    QTemporaryDir data;
    ASSERT_TRUE(data.isValid());
    test::FakeOpener shell;
    MainWindow window{shell, std::make_shared<test::FakePageFetcher>(), {}, data.path()};
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    RowList& rows = window.workbench().results();
    rows.append(std::vector<Row>{Row{resultHeader()}, row("连衣裙女", "1000", "300"),
                                 row("夏季连衣裙", "0", "100"), row("棉麻", "300")});

    QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);
    auto* roots = window.findChild<RootWindow*>();
    ASSERT_NE(roots, nullptr);
    EXPECT_TRUE(roots->isVisible());
    QTableView& table = *roots->table();
    EXPECT_EQ(shown(table), (QStringList{u"连衣裙|2|400|2|1000|400.0"_s, u"女|1|300|1|1000|300.0"_s,
                                         u"夏季|1|100|1|0|无竞品"_s, u"棉麻|1|||300|"_s}));

    // Sorted as the result table sorts: largest first, then smallest, empty last.
    const auto clickHeader = [&](int column) {
        QHeaderView* header = table.horizontalHeader();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    };
    clickHeader(2);
    EXPECT_EQ(rootsShown(table), (QStringList{u"连衣裙"_s, u"女"_s, u"夏季"_s, u"棉麻"_s}));
    clickHeader(2);
    EXPECT_EQ(rootsShown(table), (QStringList{u"夏季"_s, u"女"_s, u"连衣裙"_s, u"棉麻"_s}));
    clickHeader(2);
    EXPECT_EQ(rootsShown(table), (QStringList{u"连衣裙"_s, u"女"_s, u"夏季"_s, u"棉麻"_s}));

    // Following the table: an index query fills a row, mining adds one.
    rows.setRow(3, row("棉麻", "300", "50"));
    rows.append(row("碎花裙", "10"));
    ASSERT_EVENTUALLY(shown(table).value(3) == u"棉麻|1|50|1|300|166.7"_s, 5000);
    EXPECT_EQ(rootsShown(table).mid(4), (QStringList{u"碎花"_s, u"裙"_s}));
    EXPECT_EQ(roots->chartedRoots(), (QStringList{u"连衣裙"_s, u"女"_s, u"夏季"_s, u"棉麻"_s}));

    // A click on a root shows its rows only; the filter shows, and one click clears it.
    auto* results = window.findChild<QTableView*>(u"resultTable"_s);
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(results->model()->rowCount(), 4);
    clickCell(table, 0);
    EXPECT_EQ(roots->filterRoot(), u"连衣裙"_s);
    ASSERT_EQ(results->model()->rowCount(), 2);
    EXPECT_EQ(results->model()->index(1, 0).data().toString(), u"夏季连衣裙"_s);
    auto* clear = results->findChild<QPushButton*>(u"rootFilterButton"_s);
    ASSERT_NE(clear, nullptr);
    EXPECT_TRUE(clear->isVisible());
    EXPECT_TRUE(clear->text().contains(u"连衣裙"_s));
    QTest::mouseClick(clear, Qt::LeftButton);
    EXPECT_EQ(results->model()->rowCount(), 4);
    EXPECT_FALSE(clear->isVisible());

    // "合并" of two selected roots writes a user word and applies at once.
    table.clearSelection();
    table.selectionModel()->select(table.model()->index(4, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table.selectionModel()->select(table.model()->index(5, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QPushButton* merge = nullptr;
    for (auto* b : roots->findChildren<QPushButton*>())
        if (b->text() == u"合并"_s)
            merge = b;
    ASSERT_NE(merge, nullptr);
    QTest::mouseClick(merge, Qt::LeftButton);
    EXPECT_EQ(rootsShown(table).mid(4), QStringList{u"碎花裙"_s}) << roots->message().toStdString();
    QFile words(window.workbench().segmenter().userWordsPath());
    ASSERT_TRUE(words.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(words.readAll()).contains(u"碎花裙"_s));
    EXPECT_TRUE(roots->splitRoot({u"碎花"_s, u"裙"_s})) << roots->message().toStdString();
    EXPECT_EQ(rootsShown(table).mid(4), (QStringList{u"碎花"_s, u"裙"_s}));

    // "标题": 12 bytes that must hold 连衣裙 cover 连衣裙女 and 夏季连衣裙.
    roots->setRequest(u"连衣裙"_s, {}, 12);
    roots->composeTitle();
    EXPECT_EQ(roots->titleText(), u"连衣裙女夏季"_s);
    EXPECT_TRUE(
        roots->titleDetails().startsWith(u"12 / 12 字节 · 覆盖搜索指数 88.9% · 覆盖关键词 2 个"_s))
        << roots->titleDetails().toStdString();
    EXPECT_TRUE(roots->titleDetails().contains(u"备选：连衣裙女棉麻"_s))
        << roots->titleDetails().toStdString();
    table.setFocus();
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(&table, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"连衣裙女夏季"_s);
    const auto sheets = window.workbench().rootSheets();
    ASSERT_TRUE(sheets.title.has_value());
    EXPECT_EQ(sheets.title->keywords, (QStringList{u"连衣裙女"_s, u"夏季连衣裙"_s}));

    // "检查标题" of a pasted title.
    const TitleCheck check = roots->checkTitleText(u"夏季 连衣裙"_s);
    EXPECT_EQ(check.covered, std::vector<std::size_t>{1});
    EXPECT_EQ(roots->checkDetails(), u"11 字节 · 覆盖搜索指数 22.2% · 覆盖关键词 1 个：夏季连衣裙\n"
                                     u"没用上的高机会词根：女、棉麻"_s);

    // The picture for the README, on request: a table of a run's size.
    if (const QString shot = qEnvironmentVariable("QUILLA_ROOTS_SCREENSHOT"); !shot.isEmpty()) {
        const char* sample[][3] = {
            {"连衣裙女夏", "2,310,000", "98210"}, {"连衣裙夏季新款", "1,520,000", "76544"},
            {"碎花连衣裙", "412,000", "35120"},   {"雪纺连衣裙", "380,000", "22871"},
            {"法式连衣裙", "96,400", "31209"},    {"长裙女夏", "870,000", "18430"},
            {"吊带连衣裙", "258,000", "20117"},   {"收腰连衣裙", "121,000", "15302"},
            {"法式碎花裙", "18,200", "9810"},     {"真丝连衣裙", "64,500", "12044"},
            {"连衣裙女春秋", "990,000", "26330"}, {"蕾丝连衣裙", "310,000", "11876"},
            {"小个子连衣裙", "143,000", "19921"}, {"显瘦连衣裙", "402,000", "16655"},
            {"大码连衣裙", "512,000", "14320"},   {"连衣裙女长款", "688,000", "17432"},
            {"茶歇法式连衣裙", "8,900", "7421"},  {"复古连衣裙", "205,000", "9934"},
            {"棉麻连衣裙", "176,000", "10223"},   {"针织连衣裙", "233,000", "8847"},
            {"白色连衣裙", "301,000", "13398"},   {"黑色连衣裙", "276,000", "12007"},
            {"碎花裙夏", "92,000", "8113"},       {"度假连衣裙", "54,000", "9120"},
        };
        rows.clear();
        rows.append(Row{resultHeader()});
        for (const auto& r : sample)
            rows.append(row(r[0], r[1], r[2]));
        RootWindow fresh(window.workbench());
        fresh.resize(1200, 860);
        fresh.show();
        fresh.setRequest(u"连衣裙"_s, {}, 60);
        fresh.composeTitle();
        fresh.checkTitleText(u"2024夏季新款法式碎花连衣裙"_s);
        QTest::qWait(200);
        EXPECT_TRUE(fresh.grab().save(shot));
    }
}

} // namespace
} // namespace quilla
