#include "fake_market/market_data.h"
#include "fake_market/pages.h"
#include "fake_market/url_text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <utility>

namespace quilla::fake_market {

using namespace Qt::StringLiterals;

namespace {

// The program reads the whole document, script sources included, and looks
// for its sentence markers and the series call by plain text. So the page's
// own script holds those texts only as escapes or in pieces; they appear as
// text solely where the script renders them.
const char pageTemplate[] = R"html(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>淘宝指数 - 模拟集市</title>
<style>
body{margin:0;font:13px/1.6 "Microsoft YaHei",sans-serif;color:#333;background:#f4f6f9}
.top{background:#ff5000;color:#fff;height:48px;line-height:48px;padding:0 24px}
.top .brand{font-size:20px;font-weight:bold;margin-right:32px}
.top a{color:#fff;margin-right:18px;text-decoration:none}
.wrap{width:960px;margin:20px auto;background:#fff;border:1px solid #e3e6ea;padding:20px 28px}
.query-form{margin-bottom:18px}
.query-form input{width:360px;height:30px;border:1px solid #ff5000;padding:0 8px;font-size:14px}
.query-form button{height:34px;width:90px;background:#ff5000;color:#fff;border:0;font-size:14px}
.tabs span{display:inline-block;padding:4px 14px;margin-right:6px;border-bottom:2px solid #ddd}
.tabs span.on{border-color:#ff5000;color:#ff5000}
.status{margin-left:12px;color:#999}
.result-title{font-size:18px;margin:16px 0 8px}
.chart{height:160px;display:flex;align-items:flex-end;gap:14px;border-bottom:1px solid #ccc;padding:0 12px}
.bar{flex:1;background:#ffb48a;position:relative;min-height:2px}
.bar-value{position:absolute;top:-18px;left:0;right:0;text-align:center;font-size:11px;color:#666}
.summary p{margin:8px 0}
.up{color:#e4393c}.down{color:#2a9d3c}
.more a{color:#36c}
.foot{text-align:center;color:#aaa;padding:16px 0}
</style>
<script>window.App = window.App || {set: function () {}};</script>
</head>
<body>
<div class="top"><span class="brand">淘宝指数</span><a href="/trendindex?type=query%2Ctrade&amp;query=qq">首页</a><a href="/trendindex/industry">行业</a><a href="/trendindex/people">人群</a></div>
<div class="wrap">
<form class="query-form" id="query-form" action="/trendindex" method="get" autocomplete="off">
<input type="text" name="query" id="query-input" value="@QUERY@" placeholder="输入关键词">
<button type="button" name="query-btn" id="query-btn">查询</button>
<span class="status" id="query-status"></span>
</form>
<div class="tabs"><span class="on">搜索指数</span><span>成交指数</span><span>人群定位</span></div>
<div class="trend-result" id="trend-result">
<h2 class="result-title" id="result-title"></h2>
<div id="series-holder"></div>
<div class="chart" id="chart"></div>
<div class="summary" id="summary"></div>
<p class="more"><a href="http://shu.taobao.com/more" target="_blank">去阿里指数查看</a></p>
</div>
</div>
<div class="foot">本页面由模拟集市生成，指数均为虚构，仅供测试与演示。</div>
<script>
(function () {
  'use strict';
  var LABEL = @LABELS@;
  var SERIES_CALL = ['App', 'set'].join('.');
  var END_DATE_KEY = ['city', 'EndDate'].join('');
  var latest = 0;

  function byId(id) { return document.getElementById(id); }

  function setStatus(text) { byId('query-status').textContent = text; }

  function clearResult() {
    byId('result-title').textContent = '';
    byId('series-holder').textContent = '';
    byId('chart').textContent = '';
    byId('summary').textContent = '';
  }

  function seriesPart(d, type, key, values) {
    return '{' + END_DATE_KEY + ':' + JSON.stringify(String(d.endDate)) +
      ',cityStartDate:' + JSON.stringify(String(d.startDate)) +
      ',type:' + JSON.stringify(type) + ',' + key + ':[' + values.map(Number).join(',') + ']}';
  }

  // A fresh script element each time, as the page would load a new data block.
  function showSeries(d) {
    var script = document.createElement('script');
    script.id = 'trend-series';
    script.text = SERIES_CALL + '(' + seriesPart(d, 'query', 'searchIndex', d.searchIndex) +
      ',' + seriesPart(d, 'trade', 'tradeIndex', d.tradeIndex) + ')';
    byId('series-holder').appendChild(script);
  }

  function showChart(d) {
    var recent = d.searchIndex.slice(-7).map(Number);
    var top = Math.max.apply(null, recent.concat([1]));
    recent.forEach(function (value) {
      var bar = document.createElement('div');
      bar.className = 'bar';
      bar.style.height = Math.round(value * 100 / top) + '%';
      var label = document.createElement('span');
      label.className = 'bar-value';
      label.textContent = String(value);
      bar.appendChild(label);
      byId('chart').appendChild(bar);
    });
  }

  function percentSpan(value) {
    var span = document.createElement('span');
    span.className = value < 0 ? 'down' : 'up';
    span.textContent = Math.abs(value) + '%';
    return span;
  }

  function ratioSentence(lead, ratio, yoy) {
    var p = document.createElement('p');
    p.className = 'ratio';
    p.appendChild(document.createTextNode(lead));
    p.appendChild(percentSpan(ratio));
    p.appendChild(document.createTextNode(LABEL.yoyLead));
    p.appendChild(percentSpan(yoy));
    p.appendChild(document.createTextNode(LABEL.stop));
    return p;
  }

  function showSummary(d) {
    var summary = byId('summary');
    summary.appendChild(ratioSentence(LABEL.weekLead, d.sevenDay, d.sevenDayYoy));
    summary.appendChild(ratioSentence(LABEL.monthLead, d.thirtyDay, d.thirtyDayYoy));
    var forecast = document.createElement('p');
    forecast.className = 'forecast';
    forecast.textContent = LABEL.forecastLead + d.forecast + LABEL.stop;
    summary.appendChild(forecast);
  }

  function render(d) {
    clearResult();
    byId('result-title').textContent = LABEL.titleOpen + d.query + LABEL.titleClose;
    showSeries(d);
    showChart(d);
    showSummary(d);
  }

  // Only the newest query's answer is shown, however the answers arrive.
  function query() {
    var ticket = ++latest;
    var url;
    try {
      url = '/trendindex/data?query=' + encodeURIComponent(byId('query-input').value);
    } catch (e) {
      setStatus(LABEL.failed);
      return;
    }
    clearResult();
    setStatus(LABEL.loading);
    fetch(url, {cache: 'no-store'}).then(function (response) {
      if (!response.ok) throw new Error('HTTP ' + response.status);
      return response.json();
    }).then(function (d) {
      if (ticket !== latest) return;
      if (d.redirect) { window.location.href = d.redirect; return; }
      render(d);
      setStatus('');
    }).catch(function () {
      if (ticket === latest) setStatus(LABEL.failed);
    });
  }

  document.getElementsByName('query-btn')[0].addEventListener('click', query);
  byId('query-form').addEventListener('submit', function (event) {
    event.preventDefault();
    query();
  });
  if (byId('query-input').value !== '') query();
})();
</script>
</body>
</html>
)html";

QString labelObject() {
    const std::pair<const char*, QString> labels[] = {
        {"weekLead", QStringLiteral("最近七天的搜索指数环比")},
        {"monthLead", QStringLiteral("最近三十天的搜索指数环比")},
        {"yoyLead", QStringLiteral("，与去年同期相比")},
        {"stop", QStringLiteral("。")},
        {"forecastLead", QStringLiteral("趋势预测：")},
        {"titleOpen", QStringLiteral("“")},
        {"titleClose", QStringLiteral("”的搜索趋势")},
        {"loading", QStringLiteral("加载中")},
        {"failed", QStringLiteral("数据加载失败，请稍后再试")},
    };
    QString object = QStringLiteral("{");
    for (const auto& [name, text] : labels) {
        if (object.size() > 1)
            object += u", "_s;
        object += QLatin1StringView(name) + u": "_s + jsStringLiteral(text);
    }
    return object + u'}';
}

QJsonArray jsonSeries(const std::vector<int>& values) {
    QJsonArray array;
    for (const int v : values)
        array.append(v);
    return array;
}

} // namespace

QByteArray trendPage(const QString& query) {
    QString page = QString::fromUtf8(pageTemplate);
    page.replace(u"@LABELS@"_s, labelObject());
    page.replace(u"@QUERY@"_s, query.toHtmlEscaped());
    return page.toUtf8();
}

QByteArray trendData(const QString& keyword, int day) {
    const FakeTrend t = fakeTrend(keyword, day);
    const QJsonObject data{
        {u"query"_s, keyword},
        {u"startDate"_s, t.startDate},
        {u"endDate"_s, t.endDate},
        {u"searchIndex"_s, jsonSeries(t.searchIndex)},
        {u"tradeIndex"_s, jsonSeries(t.tradeIndex)},
        {u"sevenDay"_s, t.sevenDay},
        {u"sevenDayYoy"_s, t.sevenDayYoy},
        {u"thirtyDay"_s, t.thirtyDay},
        {u"thirtyDayYoy"_s, t.thirtyDayYoy},
        {u"forecast"_s, t.forecast},
    };
    return QJsonDocument(data).toJson(QJsonDocument::Compact);
}

QByteArray morePage() {
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                          "<title>阿里指数 - 模拟集市</title></head><body><h1>阿里指数</h1>"
                          "<p>更多行业与人群数据即将开放。</p><p><a href=\"/trendindex?type="
                          "query%2Ctrade&amp;query=qq\">返回淘宝指数</a></p></body></html>\n")
        .toUtf8();
}

} // namespace quilla::fake_market
