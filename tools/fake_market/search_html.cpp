#include "fake_market/dice.h"
#include "fake_market/market_data.h"
#include "fake_market/pages.h"
#include "fake_market/url_text.h"

#include <QStringList>

namespace quilla::fake_market {

using namespace Qt::StringLiterals;

namespace {

const QString pageStyle = QStringLiteral(R"css(
body{margin:0;font:12px/1.5 "Microsoft YaHei",tahoma,arial,sans-serif;color:#3c3c3c;background:#f5f5f5}
a{color:#3c3c3c;text-decoration:none}a:hover{color:#f40;text-decoration:underline}
.site-nav{height:35px;line-height:35px;background:#f5f5f5;border-bottom:1px solid #eee}
.site-nav .inner,.header .inner,.main{width:1190px;margin:0 auto}
.site-nav .menu{float:right}.site-nav .menu a{margin-left:14px;color:#6c6c6c}
.header{background:#fff;padding:24px 0 18px}
.logo{float:left;width:190px;height:58px;background:#ff4400;color:#fff;font-size:26px;text-align:center;line-height:58px}
.search-box{margin-left:240px;width:640px;border:2px solid #ff4400;height:36px;position:relative}
.search-box input{border:0;height:36px;width:540px;padding:0 10px;font-size:14px;outline:none}
.search-box button{position:absolute;right:0;top:0;width:86px;height:36px;background:#ff4400;color:#fff;border:0;font-size:16px}
.hot-words{margin:6px 0 0 240px}.hot-words a{margin-right:10px;color:#6c6c6c}
.related-search{background:#fff;margin:10px 0;padding:8px 14px;border:1px solid #e8e8e8}
.related-search dt{float:left;color:#9c9c9c;width:90px}.related-search dd{margin-left:90px}
.related-search .rs-link{display:inline-block;margin-right:18px;color:#36c}
.filter{background:#fff;border:1px solid #e8e8e8;margin-bottom:10px}
.filter .row{border-bottom:1px dashed #eee;padding:6px 14px}.filter .row:last-child{border:0}
.filter .label{float:left;width:80px;color:#9c9c9c}.filter .values a{margin-right:16px}
.m-sortbar{background:#fff;border:1px solid #e8e8e8;padding:6px 14px;overflow:hidden}
.m-sortbar .sorts{float:left}.m-sortbar .sorts a{margin-right:12px;padding:2px 8px;border:1px solid #ddd}
.m-sortbar .sorts a.active{border-color:#f40;color:#f40}
.m-sortbar .total{float:right;color:#6c6c6c}.m-sortbar .num{color:#f40;font-weight:bold}
.items{overflow:hidden;margin:10px -5px}
.item{float:left;width:228px;height:360px;margin:5px;background:#fff;border:1px solid #fff}
.item:hover{border-color:#f40}
.pic-box{height:228px;overflow:hidden}.pic-holder{display:block;width:228px;height:228px}
.row{padding:0 10px;overflow:hidden;white-space:nowrap;text-overflow:ellipsis}
.price{color:#f40;font-size:18px;font-weight:bold}.price em{font-style:normal;font-size:12px}
.deal-cnt{float:right;color:#9c9c9c}.title-link{color:#3c3c3c}.title-link .hl{color:#f40}
.shopname{color:#9c9c9c}.location{float:right;color:#9c9c9c}
.icon{display:inline-block;margin-right:4px;padding:0 3px;border:1px solid #f40;color:#f40;font-size:11px}
.pager{text-align:center;padding:20px 0}.pager a,.pager span{display:inline-block;margin:0 3px;padding:4px 10px;border:1px solid #ddd;background:#fff}
.pager .current{border-color:#f40;color:#f40}
.footer{background:#fff;border-top:1px solid #e8e8e8;padding:20px 0;text-align:center;color:#9c9c9c}
.footer a{margin:0 8px;color:#6c6c6c}
.clearfix:after{content:"";display:table;clear:both}
)css");

QString head(const QString& keywordHtml) {
    return u"<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"gbk\">\n"
           u"<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">\n<title>"_s +
           keywordHtml +
           u"_搜索_模拟集市</title>\n"
           u"<meta name=\"keywords\" content=\"集市,购物,网购\">\n"
           u"<style type=\"text/css\">"_s +
           pageStyle +
           u"</style>\n<script type=\"text/javascript\">\n"
           u"var g_page_config = {pageName: \"mainsrp\", version: \"2.4.18\", "
           u"abtest: {bucket: 7, flow: \"default\"}, lazyload: true, pageSize: 44};\n"
           u"(function () {\n  var start = new Date().getTime();\n"
           u"  window.onload = function () { window.g_page_config.loadTime = new Date().getTime() "
           u"- "
           u"start; };\n})();\n</script>\n</head>\n"_s;
}

QString siteHeader(const QString& keywordHtml) {
    return u"<body class=\"srp\">\n<div class=\"site-nav\"><div class=\"inner\">"
           u"<span class=\"welcome\">您好，欢迎来到模拟集市</span>"
           u"<span class=\"menu\"><a href=\"/member/login\">请登录</a><a href=\"/member/register\">"
           u"免费注册</a><a href=\"/my/orders\">我的订单</a><a href=\"/cart\">购物车</a>"
           u"<a href=\"/favorite\">收藏夹</a><a href=\"/seller\">卖家中心</a>"
           u"<a href=\"/help\">联系客服</a></span></div></div>\n"
           u"<div class=\"header\"><div class=\"inner clearfix\"><a class=\"logo\" href=\"/\">"
           u"模拟集市</a>\n<form class=\"search-box\" action=\"/search\" method=\"get\">"
           u"<input type=\"hidden\" name=\"tab\" value=\"all\">"
           u"<input name=\"q\" id=\"q\" autocomplete=\"off\" value=\""_s +
           keywordHtml +
           u"\"><button type=\"submit\">搜索</button></form>\n"
           u"<div class=\"hot-words\"><a href=\"/search?q=%C1%AC%D2%C2%C8%B9\">连衣裙</a>"
           u"<a href=\"/search?q=%CA%D6%BB%FA\">手机</a><a href=\"/search?q=%D0%AC\">鞋</a>"
           u"<a href=\"/search?q=%C1%E3%CA%B3\">零食</a><a href=\"/search?q=%CA%E9\">书</a>"
           u"</div></div></div>\n"_s;
}

QString relatedBlock(const QStringList& related) {
    if (related.isEmpty())
        return {};
    QString block = QStringLiteral("<div class=\"related-search\" id=\"J_RelatedSearch\">"
                                   "<dl class=\"clearfix\"><dt class=\"rs-title\">你是不是想找："
                                   "</dt><dd class=\"rs-list\">\n");
    for (qsizetype i = 0; i < related.size(); ++i) {
        const QString position = QString::number(i + 1);
        block += u"<a href=\"/search?q="_s + gb18030PercentEncoded(related[i]) +
                 u"&amp;rsclick="_s + position + u"\" class=\"rs-link\" data-pos=\""_s + position +
                 u"\">"_s + related[i].toHtmlEscaped() + u"</a>\n"_s;
    }
    return block + u"</dd></dl></div>\n"_s;
}

QString filterBlock() {
    return u"<div class=\"filter\">"
           u"<div class=\"row clearfix\"><span class=\"label\">品牌：</span><span class=\"values\">"
           u"<a href=\"#b1\">腾讯</a><a href=\"#b2\">网易</a><a href=\"#b3\">盛大</a>"
           u"<a href=\"#b4\">完美</a><a href=\"#b5\">其他</a></span></div>"
           u"<div class=\"row clearfix\"><span class=\"label\">选购热点：</span><span "
           u"class=\"values\">"
           u"<a href=\"#h1\">自动充值</a><a href=\"#h2\">秒到账</a><a href=\"#h3\">官方直充</a>"
           u"<a href=\"#h4\">7天无理由</a></span></div>"
           u"<div class=\"row clearfix\"><span class=\"label\">发货地：</span><span "
           u"class=\"values\">"
           u"<a href=\"#l1\">浙江</a><a href=\"#l2\">广东</a><a href=\"#l3\">上海</a>"
           u"<a href=\"#l4\">北京</a><a href=\"#l5\">江苏</a></span></div></div>\n"_s;
}

// The sentence the program reads the count from; nothing but the count's own
// tag may stand between its opening words and the number.
QString countBar(const QString& count) {
    QString bar = u"<div class=\"m-sortbar clearfix\"><div class=\"sorts\">"
                  u"<a class=\"active\" href=\"#sort-default\">综合排序</a>"
                  u"<a href=\"#sort-sale\">销量</a><a href=\"#sort-credit\">信用</a>"
                  u"<a href=\"#sort-price\">价格</a></div>"_s;
    if (!count.isEmpty()) {
        bar += u"<div class=\"total\"><p class=\"count\">该条件下 共 <span class=\"num\">"_s +
               count + u"</span> 件宝贝</p></div>"_s;
    }
    return bar + u"</div>\n"_s;
}

QString price(Dice& dice) {
    const int cents = dice.between(100, 99900);
    return QString::number(cents / 100) + u'.' +
           QString::number(cents % 100).rightJustified(2, u'0');
}

QString itemCard(const QString& keywordHtml, Dice& dice, int index) {
    static const QStringList titleTails = {
        QStringLiteral("官方直充 秒到账 自动发货"), QStringLiteral("正品保障 假一赔十"),
        QStringLiteral("限时特惠 全网最低"),        QStringLiteral("7天无理由 售后无忧"),
        QStringLiteral("店铺热销 好评如潮"),        QStringLiteral("新品上架 包邮到家")};
    static const QStringList shops = {
        QStringLiteral("星辰数码专营店"), QStringLiteral("小蜜蜂充值旗舰店"),
        QStringLiteral("云端虚拟小铺"),   QStringLiteral("老字号杂货铺"),
        QStringLiteral("橘子网络科技"),   QStringLiteral("风行数码")};
    static const QStringList places = {QStringLiteral("浙江 杭州"), QStringLiteral("广东 深圳"),
                                       QStringLiteral("上海"),      QStringLiteral("江苏 南京"),
                                       QStringLiteral("北京"),      QStringLiteral("福建 厦门")};
    const QString id = QString::number(520000000 + dice.between(0, 99999999));
    const QString colour = QString::number(0x808080 + dice.between(0, 0x7f7f7f), 16);
    const QString link = u"/item.htm?id="_s + id;
    const QString title = titleTails[dice.between(0, 5)];
    return u"<div class=\"item\" data-nid=\""_s + id + u"\" data-index=\""_s +
           QString::number(index) + u"\">\n<div class=\"pic-box\"><a class=\"pic-link\" href=\""_s +
           link + u"\" target=\"_blank\"><span class=\"pic-holder\" style=\"background:#"_s +
           colour + u"\"></span></a></div>\n<div class=\"row row-price\"><span class=\"price\">"_s +
           u"<em>￥</em><strong>"_s + price(dice) + u"</strong></span><span class=\"deal-cnt\">"_s +
           QString::number(dice.between(0, 30000)) + u"人付款</span></div>\n"_s +
           u"<div class=\"row row-title\"><a class=\"title-link\" href=\""_s + link +
           u"\" target=\"_blank\"><span class=\"hl\">"_s + keywordHtml + u"</span> "_s + title +
           u"</a></div>\n<div class=\"row row-shop\"><a class=\"shopname\" href=\"/shop/"_s + id +
           u"\">"_s + shops[dice.between(0, 5)] + u"</a><span class=\"location\">"_s +
           places[dice.between(0, 5)] + u"</span></div>\n<div class=\"row row-icons\">"_s +
           u"<span class=\"icon\">包邮</span><span class=\"icon\">消费者保障</span></div>\n</div>\n"_s;
}

QString itemList(const QString& keyword, const QString& keywordHtml) {
    constexpr int itemsPerPage = 44;
    Dice dice(keywordHash(keyword) ^ 0x5bd1e995u);
    QString list = QStringLiteral("<div class=\"items\" id=\"J_ItemList\">\n");
    for (int i = 0; i < itemsPerPage; ++i)
        list += itemCard(keywordHtml, dice, i);
    return list + u"</div>\n"_s;
}

QString pagerAndFooter() {
    QString pager = QStringLiteral("<div class=\"pager\"><span class=\"current\">1</span>");
    for (int page = 2; page <= 7; ++page) {
        pager += u"<a href=\"#page-"_s + QString::number(page) + u"\">"_s + QString::number(page) +
                 u"</a>"_s;
    }
    return pager +
           u"<span class=\"dots\">...</span><a href=\"#page-next\">下一页</a>"
           u"<span class=\"total-pages\">共 100 页</span></div>\n"
           u"<div class=\"footer\"><p><a href=\"/about\">关于我们</a><a href=\"/rules\">"
           u"规则中心</a><a href=\"/privacy\">隐私权政策</a><a href=\"/sitemap\">网站地图</a>"
           u"<a href=\"/help\">帮助中心</a></p><p>本页面由模拟集市生成，仅供测试与演示，"
           u"商品与数据均为虚构。</p></div>\n"_s;
}

} // namespace

QByteArray searchPage(const QString& keyword, bool longTail, int day) {
    const QString keywordHtml = keyword.toHtmlEscaped();
    QString page = head(keywordHtml) + siteHeader(keywordHtml);
    page += u"<div class=\"main\">\n"_s + relatedBlock(fakeRelated(keyword, longTail)) +
            filterBlock() + countBar(fakeCount(keyword, day));
    if (!keyword.isEmpty())
        page += itemList(keyword, keywordHtml);
    page += u"</div>\n"_s + pagerAndFooter() + u"</body>\n</html>\n"_s;
    return toGb18030(page);
}

QByteArray tooManyRequestsPage() {
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>访问过于频繁"
                          "</title></head><body><h1>Too Many Requests</h1><p>您的访问过于频繁，"
                          "请稍后再试。</p></body></html>\n")
        .toUtf8();
}

QByteArray sliderPage() {
    return QStringLiteral(
               "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>验证码拦截"
               "</title></head><body><div id=\"nocaptcha\"><p>亲，请按住滑块，拖动到最右边"
               "</p><div class=\"slider\">滑动验证</div></div></body></html>\n")
        .toUtf8();
}

QByteArray loginPage() {
    return QStringLiteral(
               "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>淘宝网 - 登录"
               "</title></head><body><form id=\"login-form\" method=\"post\">"
               "<input name=\"fm-login-id\" type=\"text\" placeholder=\"会员名/邮箱/手机号\">"
               "<input name=\"fm-login-password\" type=\"password\">"
               "<button type=\"submit\">登录</button></form></body></html>\n")
        .toUtf8();
}

QByteArray changedLayoutPage(const QString& keyword) {
    const QString keywordHtml = keyword.toHtmlEscaped();
    QString page = head(keywordHtml) + siteHeader(keywordHtml);
    page += u"<div class=\"main-v2\"><section class=\"suggest\">猜你想搜："_s;
    for (const QString& word : fakeRelated(keyword))
        page += u"<span class=\"sg\">"_s + word.toHtmlEscaped() + u"</span>"_s;
    page += u"</section><div class=\"total-v2\">共 "_s + fakeCount(keyword) + u" 件商品</div>\n"_s;
    if (!keyword.isEmpty())
        page += itemList(keyword, keywordHtml);
    page += u"</div>\n"_s + pagerAndFooter() + u"</body>\n</html>\n"_s;
    return toGb18030(page);
}

QByteArray notFoundPage() {
    return QByteArrayLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>404 Not "
                             "Found</title></head><body><h1>404 Not Found</h1><p>The fake "
                             "marketplace has no such page.</p></body></html>\n");
}

} // namespace quilla::fake_market
