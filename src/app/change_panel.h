#pragma once

// "自上次以来": the rows whose search index moved, or whose item count rose,
// past the thresholds since their previous snapshot, and the related words
// the pages offered that the table does not hold, with a button that adds
// them as rows.

#include "history/changes.h"

#include <QDialog>

class QDoubleSpinBox;
class QListWidget;
class QPushButton;

namespace quilla {

class Workbench;

class ChangePanel final : public QDialog {
    Q_OBJECT

public:
    explicit ChangePanel(Workbench& bench, QWidget* parent = nullptr);

    // Reads the report again from the workbench.
    void refresh();
    const ChangeReport& report() const { return report_; }
    ChangeThresholds thresholds() const;

    QListWidget* searchList() const { return searchList_; }
    QListWidget* itemsList() const { return itemsList_; }
    QListWidget* offeredList() const { return offeredList_; }
    QPushButton* addButton() const { return addButton_; }
    QDoubleSpinBox* searchThreshold() const { return searchThreshold_; }
    QDoubleSpinBox* itemsThreshold() const { return itemsThreshold_; }

private:
    void addOffered();

    Workbench& bench_;
    ChangeReport report_;
    QDoubleSpinBox* searchThreshold_;
    QDoubleSpinBox* itemsThreshold_;
    QListWidget* searchList_;
    QListWidget* itemsList_;
    QListWidget* offeredList_;
    QPushButton* addButton_;
};

} // namespace quilla
