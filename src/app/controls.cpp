#include "app/controls.h"

#include "app/keyword_list_view.h"
#include "app/result_table.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWebEngineView>

#include <algorithm>
#include <cstring>

namespace quilla {

QWidget* makeControl(const ControlPlacement& spot, QWidget* parent) {
    const QString caption = QString::fromUtf16(spot.caption);
    QWidget* w = nullptr;
    switch (spot.kind) {
    case ControlKind::Label:
        w = new QLabel(caption, parent);
        break;
    case ControlKind::TextBox:
        w = new QLineEdit(parent);
        break;
    case ControlKind::Button: {
        auto* button = new QPushButton(caption, parent);
        button->setAutoDefault(false);
        button->setDefault(false);
        w = button;
        break;
    }
    case ControlKind::List: {
        w = new KeywordListView(parent);
        break;
    }
    case ControlKind::Table:
        w = new ResultTableView(parent);
        break;
    case ControlKind::Browser:
        w = new QWebEngineView(parent);
        break;
    case ControlKind::Splitter:
        w = new QWidget(parent);
        w->setCursor(Qt::SplitVCursor);
        break;
    }
    w->setObjectName(QString::fromLatin1(spot.name));
    w->setGeometry(toPixels(spot));
    return w;
}

namespace {

constexpr int minTableHeight = 150;
constexpr int minBrowserHeight = 80;

bool named(const ControlPlacement& place, const char* name) {
    return std::strcmp(place.name, name) == 0;
}

int firstHeightOf(const char* name) {
    for (const ControlPlacement& place : controlPlacements)
        if (named(place, name))
            return toPixels(place).height();
    return 0;
}

} // namespace

int boundedBrowserExtra(QSize window, int browserExtra) {
    const int dh = std::max(0, window.height() - firstSize().height());
    const int table = firstHeightOf("resultTable");
    const int browser = firstHeightOf("browser");
    return std::clamp(browserExtra, minBrowserHeight - browser, dh + table - minTableHeight);
}

QRect placeIn(const ControlPlacement& place, QSize window, int browserExtra) {
    QRect r = toPixels(place);
    const int dw = std::max(0, window.width() - firstSize().width());
    const int dh = std::max(0, window.height() - firstSize().height());
    const int tableGrows = dh - boundedBrowserExtra(window, browserExtra);
    if (named(place, "resultTable")) {
        r.adjust(0, 0, dw, tableGrows);
    } else if (named(place, "candidateList")) {
        r.translate(dw, 0);
        r.setHeight(std::max(24, r.height() + tableGrows));
    } else if (named(place, "browser")) {
        r.adjust(0, tableGrows, dw, dh);
    } else if (named(place, "splitter")) {
        r.translate(0, tableGrows);
        r.setWidth(r.width() + dw);
    } else if (named(place, "exportButton") || named(place, "feedbackButton") ||
               named(place, "homePageButton")) {
        r.translate(dw, 0);
    } else if (named(place, "statusLine")) {
        r.translate(0, dh);
        r.setWidth(r.width() + dw);
    } else if (named(place, "moreButton") || named(place, "continueButton")) {
        r.translate(dw, dh);
    }
    return r;
}

void placeControls(QWidget* window) {
    for (const ControlPlacement& place : controlPlacements)
        makeControl(place, window);
    QWidget* before = nullptr;
    for (const char* name : focusOrder) {
        auto* w = window->findChild<QWidget*>(QString::fromLatin1(name));
        if (before)
            QWidget::setTabOrder(before, w);
        before = w;
    }
}

} // namespace quilla
