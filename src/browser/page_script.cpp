#include "browser/page_script.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace quilla::page_script {

namespace {

// The arguments as one JSON array literal, which is also valid JavaScript.
QString jsonArguments(const QJsonArray& arguments) {
    return QString::fromUtf8(QJsonDocument(arguments).toJson(QJsonDocument::Compact));
}

// A function expression applied to the JSON-encoded arguments.
QString applied(QLatin1StringView function, const QJsonArray& arguments) {
    return u"(" % function % u").apply(null, " % jsonArguments(arguments) % u")";
}

constexpr QLatin1StringView setValueFunction{R"js(function (name, value) {
  var element = document.getElementsByName(name)[0];
  if (!element) return false;
  element.value = value;
  return true;
})js"};

constexpr QLatin1StringView clickFunction{R"js(function (name) {
  var element = document.getElementsByName(name)[0];
  if (!element) return false;
  element.click();
  return true;
})js"};

// Walks the tree with its own stack, so deep documents cannot exhaust the
// script's call stack, and joins the parts once at the end. DOM calls are the
// cost here, so each node gets as few as possible.
constexpr QLatin1StringView rootMarkupScript{R"js((function () {
  var root = document.documentElement;
  if (!root) return null;
  var voids = new Set(['AREA', 'BASE', 'BASEFONT', 'BGSOUND', 'BR', 'COL', 'EMBED', 'FRAME',
                       'HR', 'IMG', 'INPUT', 'KEYGEN', 'LINK', 'META', 'PARAM', 'SOURCE',
                       'TRACK', 'WBR']);
  // Elements whose text the parser keeps as written.
  var raws = new Set(['SCRIPT', 'STYLE', 'XMP', 'IFRAME', 'NOEMBED', 'NOFRAMES', 'NOSCRIPT',
                      'PLAINTEXT']);
  var textSpecials = /[&<>\u00a0]/;
  var quotingSpecials = /[\s"'=<>`]/;
  function text(s) {
    if (!textSpecials.test(s)) return s;
    return s.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;')
            .replace(/\u00a0/g, '&nbsp;');
  }
  function attributeValue(v) {
    if (v !== '' && !quotingSpecials.test(v)) return v;
    return '"' + v.replace(/&/g, '&amp;').replace(/"/g, '&quot;') + '"';
  }
  function startTag(element, tag) {
    if (!element.hasAttributes()) return '<' + tag + '>';
    var s = '<' + tag;
    var names = element.getAttributeNames();
    for (var i = 0; i < names.length; ++i)
      s += ' ' + names[i] + '=' + attributeValue(element.getAttribute(names[i]));
    return s + '>';
  }
  var endTags = new Map();
  function endTag(tag) {
    var s = endTags.get(tag);
    if (s === undefined) endTags.set(tag, s = '</' + tag + '>');
    return s;
  }
  var parts = [];
  // Per open element: the node after it, and the end tag and raw flag of its parent.
  var stack = [];
  var node = root.firstChild, end = '', raw = false;
  for (;;) {
    if (node === null) {
      if (stack.length === 0) break;
      parts.push(end);
      raw = stack.pop(); end = stack.pop(); node = stack.pop();
      continue;
    }
    var next = node.nextSibling;
    var type = node.nodeType;
    if (type === 1) {
      var tag = node.tagName.toUpperCase();
      parts.push(startTag(node, tag));
      if (!voids.has(tag)) {
        stack.push(next, end, raw);
        node = (tag === 'TEMPLATE' && node.content ? node.content : node).firstChild;
        end = endTag(tag);
        raw = raws.has(tag);
        continue;
      }
    } else if (type === 3) {
      parts.push(raw ? node.data : text(node.data));
    } else if (type === 8) {
      parts.push('<!--' + node.data + '-->');
    } else if (type === 4) {
      parts.push('<![CDATA[' + node.data + ']]>');
    } else if (type === 7) {
      parts.push('<?' + node.target + ' ' + node.data + '>');
    }
    node = next;
  }
  return parts.join('');
})())js"};

constexpr QLatin1StringView activeHrefScript{R"js((function () {
  var element = document.activeElement;
  if (!element) return null;
  var href = element.href;
  return typeof href === 'string' && href !== '' ? href : null;
})())js"};

} // namespace

QString setValue(const QString& name, const QString& value) {
    return applied(setValueFunction, QJsonArray{name, value});
}

QString click(const QString& name) {
    return applied(clickFunction, QJsonArray{name});
}

QString rootMarkup() {
    return rootMarkupScript;
}

QString activeHref() {
    return activeHrefScript;
}

} // namespace quilla::page_script
