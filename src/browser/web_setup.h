#pragma once

namespace quilla {

// Settings Qt WebEngine needs before the application object exists: Chromium
// refuses to start as root with its sandbox on, so the sandbox goes off then.
// A plain start prints nothing: the browser's reports and notices stay off the
// terminal unless the user's QT_LOGGING_RULES or QTWEBENGINE_CHROMIUM_FLAGS
// ask for them; warnings and errors still show. Once per process.
void prepareWebEngine();

// True when the process runs as the superuser.
bool runsAsRoot();

} // namespace quilla
