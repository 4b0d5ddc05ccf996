#include "app/page_script.h"

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
// script's call stack, and joins the parts once at the end.
constexpr QLatin1StringView rootMarkupScript{R"js((function () {
  var root = document.documentElement;
  if (!root) return null;
  var voids = new Set(['AREA', 'BASE', 'BASEFONT', 'BGSOUND', 'BR', 'COL', 'EMBED', 'FRAME',
                       'HR', 'IMG', 'INPUT', 'KEYGEN', 'LINK', 'META', 'PARAM', 'SOURCE',
                       'TRACK', 'WBR']);
  // Elements whose text the parser keeps as written.
  var raws = new Set(['SCRIPT', 'STYLE', 'XMP', 'IFRAME', 'NOEMBED', 'NOFRAMES', 'NOSCRIPT',
                      'PLAINTEXT']);
  var parts = [];
  function text(s) {
    if (!/[&<>\u00a0]/.test(s)) return s;
    return s.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;')
            .replace(/\u00a0/g, '&nbsp;');
  }
  function attributeValue(v) {
    if (v !== '' && !/[\s"'=<>`]/.test(v)) return v;
    return '"' + v.replace(/&/g, '&amp;').replace(/"/g, '&quot;') + '"';
  }
  function children(element) {
    return element.content instanceof DocumentFragment ? element.content.childNodes
                                                       : element.childNodes;
  }
  function open(element, tag) {
    parts.push('<', tag);
    var attributes = element.attributes;
    for (var i = 0; i < attributes.length; ++i)
      parts.push(' ', attributes[i].name, '=', attributeValue(attributes[i].value));
    parts.push('>');
  }
  var stack = [{ nodes: root.childNodes, next: 0, close: '', raw: false }];
  while (stack.length > 0) {
    var frame = stack[stack.length - 1];
    if (frame.next >= frame.nodes.length) {
      stack.pop();
      parts.push(frame.close);
      continue;
    }
    var node = frame.nodes[frame.next++];
    switch (node.nodeType) {
    case Node.ELEMENT_NODE:
      var tag = node.tagName.toUpperCase();
      open(node, tag);
      if (!voids.has(tag))
        stack.push({ nodes: children(node), next: 0, close: '</' + tag + '>', raw: raws.has(tag) });
      break;
    case Node.TEXT_NODE:
      parts.push(frame.raw ? node.data : text(node.data));
      break;
    case Node.CDATA_SECTION_NODE:
      parts.push('<![CDATA[', node.data, ']]>');
      break;
    case Node.COMMENT_NODE:
      parts.push('<!--', node.data, '-->');
      break;
    case Node.PROCESSING_INSTRUCTION_NODE:
      parts.push('<?', node.target, ' ', node.data, '>');
      break;
    }
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
