#pragma once

// "词根": the root words of the result table's keywords with their demand
// and supply, a bar chart of the most demanded ones, and the title composer
// ("标题", "检查标题"). It follows the table as rows arrive and change: the
// totals at once, the table and chart a few times a second at most.

#include "core/row_list.h"
#include "titles/root_table.h"
#include "titles/title_check.h"
#include "titles/title_composer.h"

#include <QSet>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>

class QAbstractScrollArea;
class QBarCategoryAxis;
class QChart;
class QChartView;
class QColor;
class QHorizontalBarSeries;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTableView;
class QValueAxis;

namespace quilla {

class RootModel;
class RootOrder;
class Workbench;

class RootWindow final : public QWidget {
    Q_OBJECT

public:
    // How many roots the chart shows.
    static constexpr int chartRoots = 20;

    explicit RootWindow(Workbench& bench, QWidget* parent = nullptr);
    ~RootWindow() override;

    // The roots as the table shows them now (after a pending redraw).
    QTableView* table() const { return table_; }
    void redrawNow();
    // What the chart draws: the roots, and their demand and supply.
    QStringList chartedRoots() const;

    // Shows only this root's rows in the result table; an empty root shows all.
    void filterBy(const QString& root);
    QString filterRoot() const { return filterRoot_; }
    // A button over `view` that shows the filter and clears it when clicked.
    void attachFilterButton(QAbstractScrollArea* view);

    // "合并" and "拆分" as user words, applied at once; false, with the reason
    // in the window, when refused.
    bool mergeRoots(const QStringList& roots);
    bool splitRoot(const QStringList& pieces);

    // "标题": from the boxes; the result is shown and kept for the workbook.
    void setRequest(const QString& must, const QString& exclude, int budget);
    void composeTitle();
    const std::optional<Composition>& composition() const { return composition_; }
    // "检查标题" of this title.
    TitleCheck checkTitleText(const QString& title);
    // The texts shown, for the user and tests.
    QString titleText() const;
    QString titleDetails() const;
    QString checkDetails() const;
    QString message() const;

Q_SIGNALS:
    void filterChanged(const QString& root);

protected:
    // Hidden, it keeps the totals and draws them when shown again.
    void showEvent(QShowEvent* event) override;

private:
    void buildTable();
    void buildChart();
    QWidget* buildComposer();
    void follow();
    void rebuild();
    void redrawSoon();
    void redraw();
    void drawChart();
    // Notes the roots of a keyword whose row changed, for the next redraw.
    void touch(const QString& keyword);
    void reapplyFilter();
    void say(const QString& text);
    std::vector<Row> tableRows() const;
    void mergeSelected();
    void splitSelected();
    QStringList selectedRoots() const;

    Workbench& bench_;
    RootTotals totals_;
    // The list rows as added to the totals, so a change removes what was added.
    std::vector<Row> added_;
    QTimer redrawTimer_;
    bool redrawWhenShown_ = false;
    // Root keys, in the order met, each once.
    QStringList touched_;
    QSet<QString> touchedKeys_;
    bool wholeRedraw_ = true;
    QString filterRoot_;
    std::optional<Composition> composition_;
    double compositionTotal_ = 0;

    RootModel* model_ = nullptr;
    RootOrder* order_ = nullptr;
    QTableView* table_ = nullptr;
    // Demand and supply, side by side, the roots in the same rows.
    struct Bars {
        QChartView* view = nullptr;
        QHorizontalBarSeries* series = nullptr;
        QBarCategoryAxis* roots = nullptr;
        QValueAxis* values = nullptr;
    };
    Bars makeBars(const QString& caption, const QColor& color);
    Bars demandBars_, supplyBars_;
    QStringList charted_;
    QLabel* messageLabel_ = nullptr;
    QLineEdit* mustEdit_ = nullptr;
    QLineEdit* excludeEdit_ = nullptr;
    QSpinBox* budgetBox_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QLabel* titleInfo_ = nullptr;
    QLabel* capNote_ = nullptr;
    QListWidget* coveredList_ = nullptr;
    QLineEdit* checkEdit_ = nullptr;
    QLabel* checkInfo_ = nullptr;
};

} // namespace quilla
