#pragma once

namespace quilla {

// Settings Qt WebEngine needs before the application object exists: Chromium
// refuses to start as root with its sandbox on, so the sandbox goes off then.
void prepareWebEngine();

// True when the process runs as the superuser.
bool runsAsRoot();

} // namespace quilla
