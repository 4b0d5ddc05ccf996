#pragma once

class QWidget;

namespace quilla {

// For checks of a whole start: once the shown window is on screen and its
// embedded browser has finished loading its first page, well or not, the
// event loop ends with status 0. Nothing of closing the window happens.
void exitWhenReady(QWidget& window);

} // namespace quilla
