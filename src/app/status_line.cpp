#include "app/status_line.h"

#include <algorithm>

namespace quilla {
namespace {

QString number(std::int64_t n) {
    return QString::number(n);
}
QString twoDigits(std::int64_t n) {
    return QStringLiteral("%1").arg(n, 2, 10, QChar(u'0'));
}

} // namespace

QString durationText(std::int64_t ms) {
    const std::int64_t seconds = (std::max<std::int64_t>(ms, 0) + 999) / 1000;
    if (seconds < 60)
        return number(seconds) + u"秒";
    if (seconds < 3600)
        return number(seconds / 60) + u"分" + twoDigits(seconds % 60) + u"秒";
    return number(seconds / 3600) + u"小时" + twoDigits(seconds / 60 % 60) + u"分";
}

QString miningStatus(const MiningProgress& p) {
    if (!p.started)
        return {};
    const QString mined = number(p.mined), waiting = number(p.waiting), rows = number(p.results);
    if (p.running) {
        const QString quantity = p.quantity ? number(*p.quantity) : QStringLiteral("?");
        return u"挖词中：已挖 " + mined + u" 个，待挖 " + waiting + u" 个，结果 " + rows + u"/" +
               quantity + u" 行";
    }
    switch (p.end) {
    case MiningEnd::QuantityReached:
        return u"挖词完成：结果已达 " + rows + u" 行（已挖 " + mined + u" 个关键词）";
    case MiningEnd::QuantityNotANumber:
        return u"挖词结束：数量不是数字（结果 " + rows + u" 行）";
    case MiningEnd::CandidatesUsedUp:
        return u"挖词结束：关键词已全部挖完（已挖 " + mined + u" 个，结果 " + rows + u" 行）";
    case MiningEnd::None:
        break;
    }
    return u"挖词已停止（已挖 " + mined + u" 个，待挖 " + waiting + u" 个，结果 " + rows + u" 行）";
}

QString indexStatus(const IndexProgress& p, std::int64_t timeLeftMs) {
    if (!p.started)
        return {};
    const QString row = number(p.queryRow), rows = number(p.rows);
    if (p.running)
        return u"查询指数：第 " + row + u"/" + rows + u" 行，剩余约 " + durationText(timeLeftMs);
    switch (p.end) {
    case IndexEnd::Finished:
        return u"指数查询完成：共 " + rows + u" 行";
    case IndexEnd::IntervalRefused:
        return u"指数查询中断：间隔“" + p.refusedInterval + u"”无效，请填写 1–65535 之间的毫秒数";
    case IndexEnd::None:
        break;
    }
    return u"指数查询已停止（第 " + row + u"/" + rows + u" 行）";
}

QString statusLine(const QString& mining, const QString& index) {
    if (mining.isEmpty() || index.isEmpty())
        return mining + index;
    return mining + u"　｜　" + index;
}

} // namespace quilla
