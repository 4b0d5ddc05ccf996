#include "core/list_headers.h"

namespace quilla {

QStringList candidateHeader() {
    return {QStringLiteral("关键词"), QStringLiteral("宝贝数")};
}

QStringList resultHeader() {
    return {
        QStringLiteral("关键词"),
        QStringLiteral("宝贝数"),
        QStringLiteral("昨天搜索指数"),
        QStringLiteral("前天搜索指数"),
        QStringLiteral("昨天成交指数"),
        QStringLiteral("前天成交指数"),
        QStringLiteral("七天的搜索指数环比"),
        QStringLiteral("与去年同期相比"),
        QStringLiteral("三十天的搜索指数环比"),
        QStringLiteral("与去年同期相比"),
        QStringLiteral("趋势预测"),
    };
}

} // namespace quilla
