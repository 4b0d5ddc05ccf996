#pragma once

// The window's controls as they are laid out: names, captions and places.

#include <QRect>
#include <QString>
#include <QWidget>

#include <array>

namespace quilla {

enum class ControlKind { Label, TextBox, Button, List, Table, Browser, Splitter };

struct ControlPlacement {
    const char* name;
    ControlKind kind;
    const char16_t* caption;
    int left, top, width, height; // twips
};

constexpr int twipsPerPixel = 15;
constexpr int clientWidthTwips = 15405;
constexpr int clientHeightTwips = 11040;

inline QRect toPixels(const ControlPlacement& c) {
    return {c.left / twipsPerPixel, c.top / twipsPerPixel, c.width / twipsPerPixel,
            c.height / twipsPerPixel};
}

// In the order the keyboard focus walks them (labels never take it).
inline constexpr std::array<const char*, 14> focusOrder = {
    "browser",     "mineButton",   "keywordBox",     "candidateList", "includeBox",
    "excludeBox",  "quantityBox",  "resultTable",    "indexButton",   "stopButton",
    "intervalBox", "exportButton", "feedbackButton", "homePageButton"};

// The status line takes the free strip below the browser, down to the foot,
// short of the menu button at its right end.
inline constexpr ControlPlacement statusPlacement = {
    "statusLine", ControlKind::Label, u"", 120, 10620, 14115, 420};

// Every command of the window, with its shortcut, in one menu.
inline constexpr ControlPlacement morePlacement = {
    "moreButton", ControlKind::Button, u"更多", 14355, 10635, 900, 390};

// Left of the menu button while a run can be continued; the status line
// then stops short of it.
inline constexpr ControlPlacement continuePlacement = {
    "continueButton", ControlKind::Button, u"继续", 13395, 10635, 900, 390};

// The gap between the result table and the browser: dragging it trades the
// one's height for the other's.
inline constexpr ControlPlacement splitterPlacement = {
    "splitter", ControlKind::Splitter, u"", 120, 4560, 15135, 120};

inline constexpr std::array<ControlPlacement, 19> controlPlacements = {{
    {"keywordLabel", ControlKind::Label, u"关键词", 240, 240, 615, 255},
    {"keywordBox", ControlKind::TextBox, u"", 840, 120, 1455, 375},
    {"includeLabel", ControlKind::Label, u"包含：", 2400, 240, 735, 255},
    {"includeBox", ControlKind::TextBox, u"", 3000, 120, 975, 375},
    {"excludeLabel", ControlKind::Label, u"排除：", 4080, 240, 615, 255},
    {"excludeBox", ControlKind::TextBox, u"", 4680, 120, 975, 390},
    {"quantityLabel", ControlKind::Label, u"数量：", 5760, 240, 615, 255},
    {"quantityBox", ControlKind::TextBox, u"", 6360, 120, 975, 390},
    {"mineButton", ControlKind::Button, u"挖词", 7680, 120, 1215, 495},
    {"stopButton", ControlKind::Button, u"停止", 9000, 120, 1095, 495},
    {"indexButton", ControlKind::Button, u"指数", 10440, 120, 1215, 495},
    {"intervalLabel", ControlKind::Label, u"间隔：", 11760, 240, 615, 255},
    {"intervalBox", ControlKind::TextBox, u"", 12360, 120, 1215, 375},
    {"exportButton", ControlKind::Button, u"导出", 13680, 120, 1575, 495},
    {"feedbackButton", ControlKind::Button, u"问题反馈", 13680, 840, 1575, 495},
    {"homePageButton", ControlKind::Button, u"by:tarnick", 13680, 1560, 1575, 495},
    {"resultTable", ControlKind::Table, u"", 120, 720, 13335, 3840},
    {"candidateList", ControlKind::List, u"", 13560, 2280, 1695, 2220},
    {"browser", ControlKind::Browser, u"", 120, 4680, 15135, 5895},
}};

inline QSize firstSize() {
    return {clientWidthTwips / twipsPerPixel, clientHeightTwips / twipsPerPixel};
}

// How far the browser's height is from its share: 0 gives the table all the
// height the window has beyond its first size; more gives it to the browser.
// Kept within what leaves both a usable height.
int boundedBrowserExtra(QSize window, int browserExtra);

// Where a control sits in a window of `window`'s size (never smaller than the
// first). The result table takes the extra width and, with the candidate list
// beside it, the extra height; the browser takes the rest; the buttons on the
// right and the foot strip move with the edges. At the first size with no
// browser extra, every control is where its placement says.
QRect placeIn(const ControlPlacement& place, QSize window, int browserExtra);

// The control as placed, named and captioned, a child of `parent`.
QWidget* makeControl(const ControlPlacement& place, QWidget* parent);
// Every control of the window in its place, the focus walking them in order.
void placeControls(QWidget* window);

} // namespace quilla
