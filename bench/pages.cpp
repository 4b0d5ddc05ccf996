#include "pages.h"

#include <QStringEncoder>

#include <cstdint>

namespace quilla::bench {

using namespace Qt::StringLiterals;

namespace {

// xorshift32: the same page on every run and every platform.
class Dice {
public:
    explicit Dice(std::uint32_t seed) : state_(seed) {}
    int between(int lo, int hi) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return lo + static_cast<int>(state_ % static_cast<std::uint32_t>(hi - lo + 1));
    }
    template <typename T, std::size_t N> const T& pick(const T (&items)[N]) {
        return items[between(0, static_cast<int>(N) - 1)];
    }

private:
    std::uint32_t state_;
};

QString n(int value) {
    return QString::number(value);
}

const char16_t* const titles[] = {
    u"官方直充 秒到账 自动发货 24小时在线", u"正品保障 假一赔十 店铺热销",
    u"限时特惠 全网最低价 拍下立减",        u"7天无理由退换 售后无忧 品质保证",
    u"新品上架 包邮到家 送运费险",          u"厂家直销 支持批发 量大从优"};
const char16_t* const shops[] = {u"星辰数码专营店", u"小蜜蜂充值旗舰店", u"云端虚拟小铺",
                                 u"老字号杂货铺",   u"橘子网络科技",     u"风行数码"};
const char16_t* const places[] = {u"浙江 杭州", u"广东 深圳", u"上海",
                                  u"江苏 南京", u"北京",      u"福建 厦门"};

QString searchHead() {
    QString style = u"<style type=\"text/css\">\n"_s;
    const char16_t* const selectors[] = {
        u".site-nav", u".header", u".search-box",     u".m-sortbar", u".items .item", u".pic-box",
        u".ctx-box",  u".row",    u".price",          u".deal-cnt",  u".shopname",    u".location",
        u".pager",    u".footer", u".related-search", u".filter"};
    for (const char16_t* s : selectors) {
        style += QString::fromUtf16(s) +
                 u"{margin:0 auto;padding:4px 10px;font:12px/1.5 tahoma,arial,\"Microsoft "
                 u"YaHei\";color:#3c3c3c;background:#fff;border:1px solid #e8e8e8}\n"_s;
    }
    style += u"</style>\n"_s;
    return u"<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"gbk\">\n"
           u"<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge,chrome=1\">\n"
           u"<title>qq_淘宝搜索</title>\n"_s +
           style +
           u"<script type=\"text/javascript\">\n"
           u"var g_page_config = {pageName: \"mainsrp\", version: \"2.4.18\", abtest: "
           u"{bucket: 7, flow: \"default\"}, lazyload: true, pageSize: 44, q: \"qq\"};\n"
           u"(function () { var start = new Date().getTime(); window.onload = function () "
           u"{ g_page_config.loadTime = new Date().getTime() - start; }; })();\n</script>\n"
           u"</head>\n<body class=\"srp\">\n"
           u"<div class=\"site-nav\"><div class=\"inner\"><span class=\"welcome\">"
           u"您好，欢迎来到淘宝</span><ul class=\"menu\"><li><a href=\"//login.taobao.com/\">请登录"
           u"</a></li><li><a href=\"//reg.taobao.com/\">免费注册</a></li><li><a "
           u"href=\"//trade.taobao.com/\">我的订单</a></li><li><a href=\"//cart.taobao.com/\">"
           u"购物车</a></li></ul></div></div>\n"
           u"<div class=\"header\"><form class=\"search-box\" action=\"/search\"><input "
           u"type=\"hidden\" name=\"tab\" value=\"all\"><input name=\"q\" id=\"q\" value=\"qq\" "
           u"autocomplete=\"off\"><button type=\"submit\">搜索</button></form></div>\n"
           u"<div class=\"main\">\n"_s;
}

QString relatedBlock(const QStringList& related) {
    if (related.isEmpty())
        return {};
    QString block = u"<div class=\"related-search\" id=\"J_RelatedSearch\"><dl "
                    u"class=\"clearfix\"><dt class=\"rs-title\">你是不是想找：</dt><dd "
                    u"class=\"rs-list\">\n"_s;
    for (qsizetype i = 0; i < related.size(); ++i) {
        const QString at = QString::number(i + 1);
        block += u"<a href=\"/search?q=rs"_s + at + u"&amp;rsclick="_s + at +
                 u"\" class=\"rs-link\" data-pos=\""_s + at + u"\">"_s + related[i] + u"</a>\n"_s;
    }
    return block + u"</dd></dl></div>\n"_s;
}

QString countBar(const QString& count) {
    QString bar =
        u"<div class=\"filter\"><div class=\"row\"><span class=\"label\">品牌：</span>"
        u"<a href=\"#b1\">腾讯</a> <a href=\"#b2\">网易</a> <a href=\"#b3\">完美</a></div>"
        u"</div>\n<div class=\"m-sortbar clearfix\"><div class=\"sorts\"><a "
        u"class=\"active\" href=\"#sort-default\">综合排序</a><a "
        u"href=\"#sort-sale\">销量</a></div>"_s;
    if (!count.isEmpty()) {
        bar += u"<div class=\"total\"><p class=\"count\">该条件下 共 <span class=\"num\">"_s +
               count + u"</span> 件宝贝</p></div>"_s;
    }
    return bar + u"</div>\n<div class=\"items\" id=\"J_ItemList\">\n"_s;
}

QString itemCard(Dice& dice, int index) {
    const QString id = n(520000000 + dice.between(0, 99999999));
    const QString link = u"//item.taobao.com/item.htm?id="_s + id + u"&amp;ns=1&amp;abbucket=7"_s;
    const QString title = QString::fromUtf16(dice.pick(titles));
    const int cents = dice.between(100, 99900);
    return u"<div class=\"item J_MouserOnverReq\" data-category=\"auctions\" data-index=\""_s +
           n(index) +
           u"\">\n<div class=\"pic-box J_MouseEneterLeave J_PicBox\"><div class=\"pic\">"
           u"<a class=\"pic-link J_ClickStat\" data-nid=\""_s +
           id + u"\" href=\""_s + link +
           u"\" target=\"_blank\" trace=\"msrp_auction\" trace-index=\""_s + n(index) +
           u"\"><img class=\"J_ItemPic img\" src=\"//g-search1.alicdn.com/img/bao/"_s +
           u"uploaded/i4/"_s + id + u".jpg_180x180.jpg\" alt=\"qq "_s + title +
           u"\" width=\"180\" height=\"180\"></a></div></div>\n"
           u"<div class=\"ctx-box J_MouseEneterLeave J_IconMoreNew\"><div class=\"row row-1 "
           u"g-clearfix\"><div class=\"price g_price g_price-highlight\"><span>&yen;</span>"
           u"<strong>"_s +
           n(cents / 100) + u'.' + n(cents % 100).rightJustified(2, u'0') +
           u"</strong></div><div class=\"deal-cnt\">"_s + n(dice.between(0, 30000)) +
           u"人付款</div></div>\n<div class=\"row row-2 title\"><a class=\"J_ClickStat\" "
           u"href=\""_s +
           link + u"\" target=\"_blank\"><span class=\"H\">qq</span> "_s + title +
           u"</a></div>\n<div class=\"row row-3 g-clearfix\"><div class=\"shop\"><a "
           u"class=\"shopname J_MouseEneterLeave J_ShopInfo\" href=\"//store.taobao.com/shop/"
           u"view_shop.htm?user_number_id="_s +
           id + u"\" target=\"_blank\"><span>"_s + QString::fromUtf16(dice.pick(shops)) +
           u"</span></a></div><div class=\"location\">"_s + QString::fromUtf16(dice.pick(places)) +
           u"</div></div>\n<div class=\"row row-4 g-clearfix\"><ul class=\"icons\"><li "
           u"class=\"icon\"><span class=\"icon-service-baoyou\">包邮</span></li><li "
           u"class=\"icon\"><span class=\"icon-service-xiaobao\">消费者保障</span></li></ul>"
           u"</div></div>\n</div>\n"_s;
}

QString searchFoot() {
    return u"</div>\n<div class=\"pager\"><span class=\"current\">1</span><a href=\"#p2\">2</a>"
           u"<a href=\"#p3\">3</a><a href=\"#next\">下一页</a><span class=\"total-pages\">共 100 "
           u"页</span></div>\n</div>\n<div class=\"footer\"><a href=\"/about\">关于淘宝</a> "
           u"<a href=\"/rules\">规则中心</a> <a href=\"/privacy\">隐私权政策</a></div>\n"
           u"</body>\n</html>\n"_s;
}

// Cards until the whole page, with `fixed` units outside the cards, holds `size`.
QString cards(qsizetype size, qsizetype fixed) {
    Dice dice(0x2545f491u);
    QString list;
    list.reserve(size);
    for (int i = 0; fixed + list.size() < size; ++i)
        list += itemCard(dice, i);
    return list;
}

// --- trend page, IE-style ---

QString trendHead() {
    return u"<HEAD><META charset=utf-8><TITLE>淘宝指数 - qq</TITLE><STYLE>"
           u"body{margin:0;font:13px/1.6 \"Microsoft YaHei\",sans-serif;color:#333}"
           u".wrap{width:960px;margin:20px auto}.chart{height:160px}.up{color:#e4393c}"
           u".down{color:#2a9d3c}</STYLE><SCRIPT>window.App = window.App || {set: function () "
           u"{}};</SCRIPT></HEAD>\n"_s;
}

QString trendTop() {
    return u"<BODY>\n<DIV class=top><SPAN class=brand>淘宝指数</SPAN><A "
           u"href=\"/trendindex?type=query%2Ctrade&amp;query=qq\">首页</A><A "
           u"href=/trendindex/industry>行业</A><A href=/trendindex/people>人群</A></DIV>\n"
           u"<DIV class=wrap>\n<FORM class=query-form id=query-form action=/trendindex "
           u"method=get><INPUT id=query-input name=query value=qq><BUTTON id=query-btn "
           u"name=query-btn type=button>查询</BUTTON></FORM>\n"_s;
}

// A ranking of other queries, as the page lists them beside the result.
QString rankingFiller(qsizetype size, std::uint32_t seed) {
    Dice dice(seed);
    QString out = u"<UL class=rank-list>\n"_s;
    for (int i = 1; out.size() < size; ++i) {
        const QString word = QString::fromUtf16(dice.pick(shops)).left(dice.between(2, 5));
        out += u"<LI class=rank-item><SPAN class=rank-no>"_s + n(i) + u"</SPAN><A title="_s + word +
               u" href=\"/trendindex?query="_s + word + u"\">"_s + word +
               u"</A><SPAN class=rank-value>"_s + n(dice.between(1000, 99999)) +
               u"</SPAN><SPAN class=\"trend "_s + (dice.between(0, 1) ? u"up"_s : u"down"_s) +
               u"\">"_s + n(dice.between(1, 99)) + u"%</SPAN><SPAN class=place>"_s +
               QString::fromUtf16(dice.pick(places)) + u"</SPAN></LI>\n"_s;
    }
    return out + u"</UL>\n"_s;
}

QString series(const char16_t* type, const char16_t* key, int base, std::uint32_t seed) {
    Dice dice(seed);
    QString values;
    for (int day = 0; day < 365; ++day) {
        if (day > 0)
            values += u',';
        values += n(base * dice.between(80, 120) / 100 + dice.between(0, 9));
    }
    return u"{cityEndDate:\"2024-05-30\",cityStartDate:\"2023-06-01\",type:\""_s +
           QString::fromUtf16(type) + u"\","_s + QString::fromUtf16(key) + u":["_s + values +
           u",4321,5678]}"_s;
}

QString trendResult() {
    return u"<DIV id=trend-result class=trend-result>\n<H2 id=result-title "
           u"class=result-title>“qq”的搜索趋势</H2>\n<DIV id=series-holder><SCRIPT "
           u"id=trend-series>App.set("_s +
           series(u"query", u"searchIndex", 5000, 7) + u","_s +
           series(u"trade", u"tradeIndex", 3000, 11) +
           u")</SCRIPT></DIV>\n<DIV id=chart class=chart><DIV class=bar "
           u"style=\"height: 80%;\"><SPAN class=bar-value>4980</SPAN></DIV><DIV class=bar "
           u"style=\"height: 100%;\"><SPAN class=bar-value>5678</SPAN></DIV></DIV>\n"
           u"<DIV id=summary class=summary><P class=ratio>最近七天的搜索指数环比<SPAN "
           u"class=up>12%</SPAN>，与去年同期相比<SPAN class=down>3%</SPAN>。</P><P "
           u"class=ratio>最近三十天的搜索指数环比<SPAN class=down>5%</SPAN>，与去年同期相比<SPAN "
           u"class=up>8%</SPAN>。</P><P class=forecast>趋势预测：上升。</P></DIV>\n<P "
           u"class=more><A href=http://shu.taobao.com/more target=_blank>去阿里指数查看</A></P>\n"
           u"</DIV></DIV>\n"_s;
}

QString trendFoot() {
    return u"<DIV class=foot>本页面由淘宝指数生成。</DIV>\n<SCRIPT>(function () { var latest = 0; "
           u"function byId(id) { return document.getElementById(id); } })();</SCRIPT>\n"
           u"</BODY>"_s;
}

} // namespace

QStringList pageRelatedWords() {
    return {u"qq 币"_s,      u"<b>qq</b>号"_s, u"qq会员"_s,   u"qq空间"_s,  u"qq音乐"_s,
            u"qq飞车"_s,     u"qq号码"_s,      u"qq币充值"_s, u"q币卡"_s,   u"腾讯q币"_s,
            u"qq超级会员"_s, u"绿钻"_s,        u"qq靓号"_s,   u"豪华绿钻"_s};
}

QStringList expectedRelatedWords() {
    QStringList words = pageRelatedWords();
    words[0] = u"qq币"_s;
    words[1] = QString();
    return words;
}

QString SearchPageParts::page(const QStringList& related) const {
    return before + relatedBlock(related) + after;
}

SearchPageParts searchPageParts(qsizetype size, const QString& count) {
    SearchPageParts parts{searchHead(), countBar(count)};
    const QString foot = searchFoot();
    const qsizetype block = relatedBlock(pageRelatedWords()).size();
    parts.after +=
        cards(size, parts.before.size() + block + parts.after.size() + foot.size()) + foot;
    return parts;
}

QString searchPage(qsizetype size, const QStringList& related, const QString& count) {
    return searchPageParts(size, count).page(related);
}

QString trendPageText(qsizetype size, bool withResult) {
    const QString head = trendHead() + trendTop();
    const QString result = withResult ? trendResult() : QString();
    const QString foot = trendFoot();
    const qsizetype filler =
        std::max<qsizetype>(0, size - head.size() - result.size() - foot.size());
    return head + rankingFiller(filler * 2 / 5, 3) + result + rankingFiller(filler * 3 / 5, 5) +
           foot;
}

QString trendPageDocument(qsizetype size) {
    return u"<!DOCTYPE html>\n<HTML>"_s + trendPageText(size) + u"</HTML>\n"_s;
}

std::array<QString, 9> expectedTrendFields() {
    return {u"5678"_s, u"4321"_s, u"5678"_s, u"4321"_s, u"+12%"_s,
            u"-3%"_s,  u"-5%"_s,  u"+8%"_s,  u"上升"_s};
}

QByteArray toGb18030(const QString& text) {
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

} // namespace quilla::bench
