#pragma once

// The scripts the embedded browser runs in a page. Values travel into a
// script as JSON literals, never as pasted text: keywords hold quotes,
// backslashes and line breaks.

#include <QString>

namespace quilla::page_script {

// Sets `.value` of the first element bearing `name`; evaluates to true, or
// to false when there is no such element.
QString setValue(const QString& name, const QString& value);

// Clicks the first element bearing `name`; true, or false when there is none.
QString click(const QString& name);

// The root element's content in the old Internet Explorer form: upper-case
// tag names, attribute values unquoted when simple, text escaped, script and
// style contents raw, comments kept. Evaluates to a string, or to null when
// the document has no root element.
QString rootMarkup();

// The `href` of the focused element when it is a non-empty string, else null.
QString activeHref();

} // namespace quilla::page_script
