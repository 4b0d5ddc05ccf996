// Mining, the index query in the real embedded browser and the export, all
// against the fake marketplace behind http_proxy.

#include "fake_market/market_data.h"
#include "support/market_window.h"

#include <QFile>
#include <QStringDecoder>
#include <QTest>

#include "support/wait.h"
#include <gtest/gtest.h>

namespace quilla {
namespace {

class IndexIntegration : public test::MarketWindowTest {
protected:
    // The page's script asks for the start query's figures as its last step,
    // after its query button listens: the page is ready for a submission.
    bool trendPageReady() {
        for (const auto& r : server.requests())
            if (r.target.find("shu.taobao.com/trendindex/data?") != std::string::npos)
                return true;
        return false;
    }
};

TEST_F(IndexIntegration, IndexesEveryMinedRowAndExportsElevenColumns) {
    // The start-up navigation reached the trend page through the proxy.
    ASSERT_EVENTUALLY(trendPageReady(), 60000);

    type("quantityBox", QStringLiteral("4"));
    click("mineButton");
    ASSERT_EVENTUALLY(window->workbench().miningTimer().interval() == 0, 30000);
    ASSERT_EQ(window->workbench().results().count(), 5);

    type("intervalBox", QStringLiteral("1500"));
    click("indexButton");
    ASSERT_EVENTUALLY(window->workbench().index().queryRow() == 5 &&
                          window->workbench().indexTimer().interval() == 0,
                      60000);
    EXPECT_EQ(window->workbench().index().queriesSinceLongWait(), 4);

    QString expectedText = QString::fromUtf8(
        "关键词,宝贝数,昨天搜索指数,前天搜索指数,昨天成交指数,前天成交指数,"
        "七天的搜索指数环比,与去年同期相比,三十天的搜索指数环比,与去年同期相比,趋势预测\r\n");
    for (std::int64_t i = 1; i < 5; ++i) {
        const Row row = window->workbench().results().row(i);
        ASSERT_EQ(row.fields.size(), 11) << row.text().toStdString();
        QStringList expected{row.fields[0], fake_market::fakeCount(row.fields[0])};
        for (const QString& f : fake_market::expectedFields(row.fields[0]))
            expected << f;
        EXPECT_EQ(row.fields, expected) << i;
        QStringList quoted;
        for (const QString& f : expected)
            quoted << (f.contains(u',') ? u'"' + f + u'"' : f);
        expectedText += quoted.join(u',') + u"\r\n";
    }

    EXPECT_EQ(exportAndAnswer(),
              QString::fromUtf8("导出成功，你可在程序目录中找到该文件。文件名与关键词相同。"));
    QFile file(folder.filePath(QStringLiteral("qq.csv")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QStringDecoder("GB18030").decode(file.readAll()), expectedText);
}

} // namespace
} // namespace quilla
