#include "app/controls.h"

#include "app/keyword_list_view.h"
#include "app/result_table.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWebEngineView>

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
    }
    w->setObjectName(QString::fromLatin1(spot.name));
    w->setGeometry(toPixels(spot));
    return w;
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
