// A seller's session with the result table, through the real window and
// browser against the fake marketplace: mine a few keywords, paste five of
// one's own, query the index for all, sort by the opportunity, export the
// Excel file and read it back.

#include "fake_market/market_data.h"
#include "results/cell_values.h"
#include "support/market_window.h"
#include "support/qstring_print.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QTableView>

#include "support/wait.h"
#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::u8;

class WorkbenchSession : public test::MarketWindowTest {
protected:
    QTableView* table() { return window->findChild<QTableView*>(u"resultTable"_s); }
    QStringList shownColumn(int column) {
        QStringList out;
        for (int r = 0; r < table()->model()->rowCount(); ++r)
            out.append(table()->model()->index(r, column).data().toString());
        return out;
    }
    QJsonArray workbookRows(const QString& path) {
        QProcess reader;
        reader.start(
            QFile::exists(u"/usr/bin/python3"_s) ? u"/usr/bin/python3"_s : u"python3"_s,
            {qEnvironmentVariable("QUILLA_SOURCE_DIR") + u"/tests/export/read_workbook.py"_s,
             path});
        EXPECT_TRUE(reader.waitForFinished(60000));
        EXPECT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
        return QJsonDocument::fromJson(reader.readAllStandardOutput())
            .object()[u8("关键词")]
            .toObject()[u"rows"_s]
            .toArray();
    }
};

TEST_F(WorkbenchSession, PasteIndexSortByOpportunityAndExportExcel) {
    ASSERT_TRUE(waitForTrendPage());
    type("quantityBox", u"3"_s);
    click("mineButton");
    ASSERT_EVENTUALLY(window->workbench().miningTimer().interval() == 0 &&
                          !window->workbench().fetching(),
                      30000);
    ASSERT_EQ(window->workbench().results().count(), 4);

    const QStringList own = test::listOf({"真丝连衣裙", "碎花裙", "qq", "防晒衣", "阔腿裤"});
    QGuiApplication::clipboard()->setText(u8("关键词\n") + own.join(u'\n') + u"\n碎花裙\n");
    table()->setFocus();
    QTest::keyClick(table(), Qt::Key_V, Qt::ControlModifier);
    // "qq" was mined already; the header line and the repeat are no keywords.
    ASSERT_EQ(window->workbench().results().count(), 8);
    EXPECT_EQ(window->workbench().results().row(7), Row({u8("阔腿裤"), QString()}));
    EXPECT_TRUE(window->statusText().startsWith(u8("已添加 4 个关键词，跳过 3 个")))
        << window->statusText().toStdString();

    type("intervalBox", u"1200"_s);
    click("indexButton");
    ASSERT_EVENTUALLY(window->workbench().index().queryRow() == 8 &&
                          window->workbench().indexTimer().interval() == 0,
                      60000);
    for (std::int64_t i = 1; i < 8; ++i) {
        const Row row = window->workbench().results().row(i);
        const auto figures = fake_market::expectedFields(row.keyword());
        EXPECT_EQ(row.fields.mid(2), QStringList(figures.begin(), figures.end())) << i;
    }

    table()->horizontalHeader()->sectionClicked(column::opportunity);
    const QStringList shown = shownColumn(column::opportunity);
    // Mined rows by opportunity, largest first; the pasted ones have no count yet.
    std::vector<double> values;
    for (int r = 0; r < 3; ++r)
        values.push_back(shown[r].toDouble());
    EXPECT_TRUE(std::is_sorted(values.rbegin(), values.rend())) << shown.join(u' ').toStdString();
    EXPECT_EQ(shown.mid(3), QStringList(4, QString()));
    const QStringList viewKeywords = shownColumn(column::keyword);

    QString message;
    test::answerNextMessageBox([&](QMessageBox& box) { message = box.text(); });
    QTest::keyClick(window.get(), Qt::Key_E, Qt::ControlModifier);
    ASSERT_EVENTUALLY(!message.isEmpty(), 5000);
    EXPECT_EQ(message, u8("导出成功，你可在程序目录中找到该文件。文件名与关键词相同。"));

    const QJsonArray rows = workbookRows(folder.filePath(u"qq.xlsx"_s));
    ASSERT_EQ(rows.size(), 8);
    for (int r = 1; r < 8; ++r) {
        const QJsonArray cells = rows[r].toArray();
        const QString keyword = cells[0].toObject()[u"value"_s].toString();
        EXPECT_EQ(keyword, viewKeywords[r - 1]) << r;
        const auto figures = fake_market::expectedFields(keyword);
        EXPECT_EQ(cells[2].toObject()[u"value"_s].toDouble(), figures[0].toDouble()) << r;
        EXPECT_NEAR(cells[6].toObject()[u"value"_s].toDouble(), *percentValue(figures[4]), 1e-12)
            << r;
        if (r <= 3) {
            EXPECT_NEAR(cells[11].toObject()[u"value"_s].toDouble(), shown[r - 1].toDouble(), 0.05);
        }
    }
}

} // namespace
} // namespace quilla
