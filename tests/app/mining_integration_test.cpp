// The whole mining road as a person walks it: the real window, the real page
// fetch and the fake marketplace behind http_proxy, then the export file.

#include "fake_market/market_data.h"
#include "support/market_window.h"

#include <QFile>
#include <QSet>
#include <QStringEncoder>
#include <QTest>

#include "support/wait.h"
#include <gtest/gtest.h>

namespace quilla {
namespace {

using fake_market::fakeCount;
using fake_market::fakeRelated;

struct Filters {
    QString include, exclude;
    bool pass(const QString& k) const {
        return (include.isEmpty() || k.contains(include)) &&
               (exclude.isEmpty() || !k.contains(exclude));
    }
};

// What a mining run over the fake graph must give: keywords in the order found,
// none twice, stopping once the table holds `quantity` rows.
QList<QStringList> expectedRows(const QString& seed, int quantity, const Filters& filters) {
    QStringList queue{seed};
    QSet<QString> seen{seed};
    QList<QStringList> rows;
    for (qsizetype next = 0; next < queue.size(); ++next) {
        const QString keyword = queue[next];
        for (const QString& word : fakeRelated(keyword).mid(0, 14))
            if (!word.isEmpty() && !seen.contains(word)) {
                seen.insert(word);
                queue.append(word);
            }
        if (filters.pass(keyword))
            rows.append({keyword, fakeCount(keyword)});
        if (rows.size() >= quantity)
            break;
    }
    return rows;
}

QByteArray csvOf(const QList<QStringList>& rows) {
    QString text = QString::fromUtf8(
        "关键词,宝贝数,昨天搜索指数,前天搜索指数,昨天成交指数,前天成交指数,"
        "七天的搜索指数环比,与去年同期相比,三十天的搜索指数环比,与去年同期相比,趋势预测\r\n");
    for (const QStringList& row : rows) {
        QStringList fields;
        for (const QString& f : row)
            fields << (f.contains(u',') ? u'"' + f + u'"' : f);
        text += fields.join(u',') + u"\r\n";
    }
    return QStringEncoder("GB18030").encode(text);
}

using MiningIntegration = test::MarketWindowTest;

TEST_F(MiningIntegration, MinesThroughTheProxyAndExportsTheTable) {
    const Filters filters{QStringLiteral("qq"), QString::fromUtf8("空间")};
    type("keywordBox", QStringLiteral("qq"));
    type("includeBox", filters.include);
    type("excludeBox", filters.exclude);
    type("quantityBox", QStringLiteral("6"));
    click("mineButton");
    ASSERT_EVENTUALLY(window->workbench().miningTimer().interval() == 0, 30000);

    const auto rows = expectedRows(QStringLiteral("qq"), 6, filters);
    ASSERT_EQ(rows.size(), 6);
    ASSERT_EQ(window->workbench().results().count(), 7);
    for (qsizetype i = 0; i < rows.size(); ++i)
        EXPECT_EQ(window->workbench().results().row(i + 1).fields, rows[i]) << i;

    // Every fetch went out through the proxy with the program's agent.
    std::size_t searches = 0;
    for (const auto& request : server.requests()) {
        if (request.target.find("s.taobao.com/search") == std::string::npos)
            continue;
        ++searches;
        EXPECT_EQ(request.target.rfind("http://s.taobao.com/search?", 0), 0u) << request.target;
        EXPECT_EQ(request.userAgent, "Microsoft Internet Explorer 6.0");
    }
    EXPECT_EQ(searches, static_cast<std::size_t>(window->workbench().mining().miningRow() - 1));

    EXPECT_EQ(exportAndAnswer(),
              QString::fromUtf8("导出成功，你可在程序目录中找到该文件。文件名与关键词相同。"));
    QFile file(folder.filePath(QStringLiteral("qq.csv")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), csvOf(rows));

    EXPECT_EQ(exportAndAnswer(),
              QString::fromUtf8("文件已存在，不能导出。如果想继续导出，请修改关键词的内容。"));
}

TEST_F(MiningIntegration, AChineseSeedWithAnAmpersandReachesTheServerWhole) {
    const QString seed = QString::fromUtf8("绿钻 & qq");
    type("keywordBox", seed);
    type("quantityBox", QStringLiteral("1"));
    click("mineButton");
    ASSERT_EVENTUALLY(window->workbench().miningTimer().interval() == 0, 30000);
    ASSERT_EQ(window->workbench().results().count(), 2);
    // The server derives the count from the keyword it decoded.
    EXPECT_EQ(window->workbench().results().row(1).fields, (QStringList{seed, fakeCount(seed)}));
}

} // namespace
} // namespace quilla
