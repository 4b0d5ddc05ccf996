#include "workbench/status_line.h"

#include <algorithm>

namespace quilla {
namespace {

QString number(std::int64_t n) {
    return QString::number(n);
}
QString twoDigits(std::int64_t n) {
    return QStringLiteral("%1").arg(n, 2, 10, QChar(u'0'));
}

// "2.8"; below one page a second two places, so a slow pace does not read 0.
QString rateText(double perSecond) {
    return QString::number(perSecond, 'f', perSecond < 1 ? 2 : 1);
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

QString endedStatus(const MiningProgress& p);
QString countStatus(const MiningProgress& p);

QString miningStatus(const MiningProgress& p) {
    if (p.counts)
        return countStatus(p);
    if (!p.started)
        return {};
    QString text = endedStatus(p);
    if (!p.running && p.meanPerSecond)
        text += u"；平均每秒 " + rateText(*p.meanPerSecond) + u" 页";
    // A keyword whose page never loaded is no result: say so at the end.
    if (!p.running && p.failed > 0)
        text += u"；" + number(p.failed) + u" 个词未能读取（右键“重查失败的词”）";
    return text;
}

// What a run that fetches search pages says of the marketplace's push-back;
// empty when it has not pushed back. `run` names the run, `notRead` what
// became of the keyword it held back.
QString pushBackStatus(const MiningProgress& p, const QString& run, const QString& notRead) {
    const QString keyword = u"“" + p.keyword + u"”";
    if (p.running && p.wait) {
        const QString why = p.wait->why == Verdict::Throttled ? QStringLiteral("淘宝限流")
                                                              : verdictName(p.wait->why);
        return run + u"等待：" + why + u"，" + durationText(p.wait->leftMs) + u"后再试" + keyword +
               u"（已试 " + number(p.wait->attempt) + u" 次）";
    }
    if (p.running)
        return {};
    switch (p.end) {
    case MiningEnd::Blocked:
        if (p.blockedBy == Verdict::Login)
            return run + u"暂停：淘宝要求登录，" + keyword + notRead +
                   u"。请在浏览器中登录后按 F5 继续";
        return run + u"暂停：淘宝要求验证，" + keyword + notRead +
               u"。请在浏览器中完成验证后按 F5 继续";
    case MiningEnd::ThrottledTooOften:
        return run + u"停止：" + keyword + u"连续 " + number(RetryPolicy::throttledTries) +
               u" 次被限流。稍候再按 F5 继续";
    case MiningEnd::PagesLookChanged:
        return run + u"暂停：搜索页面与预期不符（连续 " + number(p.pagesLackingBoth) +
               u" 页没有相关词和宝贝数）" +
               (p.keptPage.isEmpty() ? QString() : u"，最后一页存于 " + p.keptPage);
    default:
        return {};
    }
}

// The pass that fetches item counts for chosen rows.
QString countStatus(const MiningProgress& p) {
    const MiningProgress::Counts& c = *p.counts;
    const QString done = number(c.done), left = number(c.total - c.done);
    const QString failed = c.failed > 0
                               ? u"；" + number(c.failed) + u" 个词未能读取（再按“查宝贝数”重查）"
                               : QString();
    if (c.finished)
        return u"查宝贝数完成：共 " + number(c.total) + u" 个词" + failed;
    if (QString pushedBack = pushBackStatus(p, QStringLiteral("查宝贝数"), QStringLiteral("未查"));
        !pushedBack.isEmpty())
        return pushedBack;
    if (p.running)
        return u"查宝贝数中：已查 " + done + u" 个，待查 " + left + u" 个" +
               (p.pacePerSecond ? u"，每秒 " + rateText(*p.pacePerSecond) + u" 页" : QString());
    return u"查宝贝数已停止（已查 " + done + u" 个，待查 " + left + u" 个）" + failed;
}

QString endedStatus(const MiningProgress& p) {
    const QString mined = number(p.mined), waiting = number(p.waiting), rows = number(p.results);
    if (QString pushedBack = pushBackStatus(p, QStringLiteral("挖词"), QStringLiteral("未挖"));
        !pushedBack.isEmpty())
        return pushedBack;
    if (p.running) {
        const QString quantity = p.quantity ? number(*p.quantity) : QStringLiteral("?");
        return u"挖词中：已挖 " + mined + u" 个，待挖 " + waiting + u" 个，结果 " + rows + u"/" +
               quantity + u" 行" +
               (p.pacePerSecond ? u"，每秒 " + rateText(*p.pacePerSecond) + u" 页" : QString());
    }
    switch (p.end) {
    case MiningEnd::Blocked:
    case MiningEnd::ThrottledTooOften:
    case MiningEnd::PagesLookChanged:
        break; // said above
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
    const QString row = number(p.position), rows = number(p.rows);
    const QString which = p.onlyEmptyRows ? QStringLiteral("重查空行") : QStringLiteral("查询指数");
    if (p.running)
        return which + u"：第 " + row + u"/" + rows + u" 行，剩余约 " + durationText(timeLeftMs);
    switch (p.end) {
    case IndexEnd::Blocked:
        if (p.blockedBy == Verdict::Login)
            return u"指数查询暂停：淘宝要求登录，第 " + row +
                   u" 行未查。请在浏览器中登录后按 F5 继续";
        return u"指数查询暂停：淘宝要求验证，第 " + row +
               u" 行未查。请在浏览器中完成验证后按 F5 继续";
    case IndexEnd::Finished:
        // A page that had not loaded within the interval leaves its row
        // empty: a run is complete only when every row got figures.
        if (p.withoutFigures == 0)
            return u"指数查询完成：共 " + rows + u" 行" +
                   (p.rows > 0 ? QStringLiteral("，都有指数") : QString());
        return u"指数查询完成：共 " + rows + u" 行，" + number(p.withFigures) + u" 行有指数，" +
               number(p.withoutFigures) + u" 行没有";
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

QString StatusScope::line(const MiningProgress& mining, const IndexProgress& index,
                          std::int64_t indexTimeLeftMs) const {
    const bool miningSays =
        mining.running || mining.canContinue || (mining_ >= index_ && mining_ >= edited_);
    const bool indexSays =
        index.running || index.canContinue || (index_ >= mining_ && index_ >= edited_);
    return statusLine(miningSays ? miningStatus(mining) : QString(),
                      indexSays ? indexStatus(index, indexTimeLeftMs) : QString());
}

} // namespace quilla
