#include "app/root_window.h"

#include "results/cell_values.h"
#include "segmenter/segmenter.h"
#include "workbench/workbench.h"

#include <QAbstractScrollArea>
#include <QAbstractTableModel>
#include <QAction>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QCollator>
#include <QEvent>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <limits>

namespace quilla {

// The roots as the table shows them.
class RootModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setAll(std::vector<RootFigures> roots) {
        beginResetModel();
        roots_ = std::move(roots);
        rowOf_.clear();
        for (std::size_t i = 0; i < roots_.size(); ++i)
            rowOf_.insert(Segmenter::rootKey(roots_[i].root), static_cast<int>(i));
        endResetModel();
    }
    // The root of this key as it stands now (nothing when no row holds it):
    // its line changes or is added; false when a line would have to go.
    bool update(const QString& key, const RootFigures* now) {
        const auto at = rowOf_.constFind(key);
        if (!now)
            return at == rowOf_.cend();
        if (at == rowOf_.cend()) {
            const int row = static_cast<int>(roots_.size());
            beginInsertRows({}, row, row);
            roots_.push_back(*now);
            rowOf_.insert(key, row);
            endInsertRows();
            return true;
        }
        roots_[static_cast<std::size_t>(*at)] = *now;
        Q_EMIT dataChanged(index(*at, 0), index(*at, columnCount() - 1));
        return true;
    }
    const std::vector<RootFigures>& roots() const { return roots_; }
    const RootFigures& root(int row) const { return roots_[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(roots_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : 6;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid())
            return {};
        if (role == Qt::DisplayRole)
            return rootCells(root(index.row())).value(index.column());
        if (role == Qt::TextAlignmentRole && index.column() > 0)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal)
            return {};
        if (role == Qt::DisplayRole)
            return rootCaptions().value(section);
        if (role == Qt::ToolTipRole && section == 5)
            return opportunityExplanation();
        return {};
    }

private:
    std::vector<RootFigures> roots_;
    QHash<QString, int> rowOf_;
};

// Sorting as in the result table: numbers largest first on the first click,
// then smallest first, then the order roots were met; empty cells last.
class RootOrder final : public QSortFilterProxyModel {
public:
    explicit RootOrder(RootModel* model, QObject* parent)
        : QSortFilterProxyModel(parent), model_(model),
          collator_(QLocale(QLocale::Chinese, QLocale::China)) {
        setSourceModel(model);
        setDynamicSortFilter(true);
    }

    void cycle(int column) {
        const Qt::SortOrder first = column == 0 ? Qt::AscendingOrder : Qt::DescendingOrder;
        if (sortColumn() != column)
            sort(column, first);
        else if (sortOrder() == first)
            sort(column, first == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder);
        else
            sort(-1);
    }

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override {
        const RootFigures& a = model_->root(left.row());
        const RootFigures& b = model_->root(right.row());
        const bool ascending = sortOrder() == Qt::AscendingOrder;
        if (left.column() == 0)
            return collator_.compare(a.root, b.root) < 0;
        const auto x = key(a, left.column()), y = key(b, left.column());
        if (!x || !y) {
            if (x.has_value() == y.has_value())
                return left.row() < right.row() ? ascending : !ascending;
            return x ? ascending : !ascending;
        }
        if (*x == *y)
            return left.row() < right.row() ? ascending : !ascending;
        return *x < *y;
    }

private:
    static std::optional<double> key(const RootFigures& f, int column) {
        switch (column) {
        case 1:
            return static_cast<double>(f.keywords);
        case 2:
            return f.searchIndex();
        case 3:
            return f.tradeIndex();
        case 4:
            return f.itemCount();
        default: {
            const Opportunity o = f.opportunity();
            if (o.kind == Opportunity::Kind::Unknown)
                return std::nullopt;
            return o.kind == Opportunity::Kind::NoCompetition
                       ? std::numeric_limits<double>::infinity()
                       : o.perThousand;
        }
        }
    }

    RootModel* model_;
    QCollator collator_;
};

namespace {

// Roots typed into a box: separated by spaces, commas or 、.
QStringList wordsOf(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[\\s,，、;；]+"));
    return text.split(separators, Qt::SkipEmptyParts);
}

QString percent(double share) {
    return QString::number(share * 100, 'f', 1) + u'%';
}

// A few keywords of a long list, then how many more.
QString someOf(const QStringList& items, qsizetype shown) {
    QString text = items.mid(0, shown).join(QStringLiteral("、"));
    if (items.size() > shown)
        text += QStringLiteral(" 等 %1 个").arg(items.size());
    return text;
}

// Shows the result table's root filter over the table; one click clears it.
class FilterButton final : public QPushButton {
public:
    FilterButton(QAbstractScrollArea* view, RootWindow* roots) : QPushButton(view), view_(view) {
        setObjectName(QStringLiteral("rootFilterButton"));
        setToolTip(QStringLiteral("点击清除筛选"));
        hide();
        view->installEventFilter(this);
        connect(this, &QPushButton::clicked, roots, [roots] { roots->filterBy({}); });
        connect(roots, &RootWindow::filterChanged, this, [this](const QString& root) {
            setText(QStringLiteral("筛选：词根“%1”  ✕").arg(root));
            adjustSize();
            place();
            setVisible(!root.isEmpty());
            raise();
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == view_ && event->type() == QEvent::Resize)
            place();
        return QPushButton::eventFilter(watched, event);
    }

private:
    void place() {
        const QRect area = view_->viewport()->geometry();
        move(area.right() - width() - 6, area.top() + 6);
    }

    QAbstractScrollArea* view_;
};

} // namespace

RootWindow::RootWindow(Workbench& bench, QWidget* parent)
    : QWidget(parent, Qt::Window), bench_(bench), totals_(bench.segmenter()) {
    setWindowTitle(QStringLiteral("词根"));
    resize(1100, 720);
    buildTable();
    buildChart();

    auto* rootsPanel = new QWidget;
    auto* rootsLayout = new QVBoxLayout(rootsPanel);
    auto* buttons = new QHBoxLayout;
    auto* merge = new QPushButton(QStringLiteral("合并"));
    merge->setToolTip(QStringLiteral("把选中的词根按选中的顺序合成一个词"));
    auto* split = new QPushButton(QStringLiteral("拆分"));
    split->setToolTip(QStringLiteral("在选中的词根里加一个分界"));
    connect(merge, &QPushButton::clicked, this, &RootWindow::mergeSelected);
    connect(split, &QPushButton::clicked, this, &RootWindow::splitSelected);
    buttons->addWidget(merge);
    buttons->addWidget(split);
    buttons->addStretch();
    rootsLayout->addLayout(buttons);
    rootsLayout->addWidget(table_);
    messageLabel_ = new QLabel;
    messageLabel_->setWordWrap(true);
    rootsLayout->addWidget(messageLabel_);

    auto* charts = new QWidget;
    auto* chartsLayout = new QHBoxLayout(charts);
    chartsLayout->setContentsMargins(0, 0, 0, 0);
    chartsLayout->addWidget(demandBars_.view);
    chartsLayout->addWidget(supplyBars_.view);

    auto* top = new QSplitter(Qt::Horizontal);
    top->addWidget(rootsPanel);
    top->addWidget(charts);
    top->setStretchFactor(0, 1);
    top->setStretchFactor(1, 1);
    top->setSizes({520, 580});
    auto* whole = new QSplitter(Qt::Vertical);
    whole->addWidget(top);
    whole->addWidget(buildComposer());
    whole->setStretchFactor(0, 3);
    whole->setStretchFactor(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(whole);

    auto* copy = new QAction(this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, [this] {
        if (!titleText().isEmpty())
            QGuiApplication::clipboard()->setText(titleText());
    });
    addAction(copy);

    redrawTimer_.setSingleShot(true);
    redrawTimer_.setInterval(300);
    connect(&redrawTimer_, &QTimer::timeout, this, &RootWindow::redraw);
    follow();
    rebuild();
}

// The workbench may be gone already: a filter left on its order holds only
// its own segmenter.
RootWindow::~RootWindow() = default;

void RootWindow::buildTable() {
    model_ = new RootModel(this);
    order_ = new RootOrder(model_, this);
    table_ = new QTableView;
    table_->setModel(order_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setDefaultSectionSize(76);
    table_->horizontalHeader()->setSectionsClickable(true);
    table_->horizontalHeader()->setSortIndicatorShown(false);
    connect(table_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        order_->cycle(column);
        table_->horizontalHeader()->setSortIndicatorShown(order_->sortColumn() >= 0);
        if (order_->sortColumn() >= 0)
            table_->horizontalHeader()->setSortIndicator(order_->sortColumn(), order_->sortOrder());
    });
    // A plain click filters the result table; with Ctrl or Shift it only selects.
    connect(table_, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (QGuiApplication::keyboardModifiers() == Qt::NoModifier && index.isValid())
            filterBy(model_->root(order_->mapToSource(index).row()).root);
    });
}

RootWindow::Bars RootWindow::makeBars(const QString& caption, const QColor& color) {
    Bars bars;
    auto* chart = new QChart;
    chart->setTitle(caption);
    chart->legend()->hide();
    bars.series = new QHorizontalBarSeries;
    chart->addSeries(bars.series);
    bars.roots = new QBarCategoryAxis;
    bars.values = new QValueAxis;
    bars.values->setLabelFormat(QStringLiteral("%.0f"));
    bars.values->setTickCount(3);
    bars.roots->setTruncateLabels(false);
    // Twenty roots fit one above the other in a window of ordinary height.
    QFont small = bars.roots->labelsFont();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    bars.roots->setLabelsFont(small);
    bars.values->setTruncateLabels(false);
    chart->addAxis(bars.roots, Qt::AlignLeft);
    chart->addAxis(bars.values, Qt::AlignBottom);
    bars.series->attachAxis(bars.roots);
    bars.series->attachAxis(bars.values);
    bars.series->setProperty("color", color);
    bars.view = new QChartView(chart);
    bars.view->setRenderHint(QPainter::Antialiasing);
    bars.view->setMinimumWidth(220);
    return bars;
}

void RootWindow::buildChart() {
    demandBars_ =
        makeBars(QStringLiteral("搜索指数（前 %1 个词根）").arg(chartRoots), QColor(0xd9480f));
    supplyBars_ = makeBars(QStringLiteral("宝贝数"), QColor(0x1c7ed6));
}

QWidget* RootWindow::buildComposer() {
    auto* panel = new QWidget;
    auto* layout = new QHBoxLayout(panel);

    auto* composer = new QWidget;
    auto* form = new QFormLayout(composer);
    mustEdit_ = new QLineEdit;
    mustEdit_->setPlaceholderText(QStringLiteral("如 手机壳（空格分隔）"));
    excludeEdit_ = new QLineEdit;
    budgetBox_ = new QSpinBox;
    budgetBox_->setRange(1, 1000);
    budgetBox_->setValue(60);
    budgetBox_->setSuffix(QStringLiteral(" 字节"));
    auto* compose = new QPushButton(QStringLiteral("标题"));
    connect(compose, &QPushButton::clicked, this, &RootWindow::composeTitle);
    form->addRow(QStringLiteral("必含词根："), mustEdit_);
    form->addRow(QStringLiteral("不含词根："), excludeEdit_);
    form->addRow(QStringLiteral("长度上限："), budgetBox_);
    form->addRow(compose);
    titleLabel_ = new QLabel;
    titleLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont big = titleLabel_->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    titleLabel_->setFont(big);
    titleInfo_ = new QLabel;
    titleInfo_->setWordWrap(true);
    titleInfo_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    capNote_ = new QLabel(QStringLiteral("已到 1 秒的计算上限：这是找到的最好标题，未必最优。"));
    capNote_->setStyleSheet(QStringLiteral("color: #c92a2a"));
    capNote_->hide();
    form->addRow(titleLabel_);
    form->addRow(titleInfo_);
    form->addRow(capNote_);
    layout->addWidget(composer, 3);

    auto* coveredPanel = new QWidget;
    auto* coveredLayout = new QVBoxLayout(coveredPanel);
    coveredLayout->addWidget(new QLabel(QStringLiteral("覆盖的关键词")));
    coveredList_ = new QListWidget;
    coveredLayout->addWidget(coveredList_);
    layout->addWidget(coveredPanel, 2);

    auto* checker = new QWidget;
    auto* checkLayout = new QVBoxLayout(checker);
    checkEdit_ = new QLineEdit;
    checkEdit_->setPlaceholderText(QStringLiteral("粘贴一个已有的标题"));
    auto* check = new QPushButton(QStringLiteral("检查标题"));
    connect(check, &QPushButton::clicked, this, [this] { checkTitleText(checkEdit_->text()); });
    connect(checkEdit_, &QLineEdit::returnPressed, this,
            [this] { checkTitleText(checkEdit_->text()); });
    checkInfo_ = new QLabel;
    checkInfo_->setWordWrap(true);
    checkInfo_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    checkInfo_->setToolTip(
        QStringLiteral("一个关键词的每个词根都出现在标题的词根里（顺序不限），才算覆盖。"));
    checkLayout->addWidget(checkEdit_);
    checkLayout->addWidget(check);
    checkLayout->addWidget(checkInfo_, 1);
    layout->addWidget(checker, 3);
    return panel;
}

void RootWindow::follow() {
    const RowList& list = bench_.results();
    connect(&list, &QAbstractItemModel::rowsInserted, this,
            [this, &list](const QModelIndex&, int first, int last) {
                std::vector<Row> rows;
                for (int i = first; i <= last; ++i) {
                    rows.push_back(list.row(i));
                    if (i > 0) {
                        totals_.add(rows.back());
                        touch(rows.back().keyword());
                    }
                }
                added_.insert(added_.begin() + first, std::make_move_iterator(rows.begin()),
                              std::make_move_iterator(rows.end()));
                redrawSoon();
            });
    connect(&list, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) {
                for (int i = first; i <= last; ++i)
                    if (i > 0) {
                        totals_.remove(added_[static_cast<std::size_t>(i)]);
                        touch(added_[static_cast<std::size_t>(i)].keyword());
                    }
                added_.erase(added_.begin() + first, added_.begin() + last + 1);
                redrawSoon();
            });
    connect(&list, &QAbstractItemModel::dataChanged, this,
            [this, &list](const QModelIndex& from, const QModelIndex& to) {
                const int last = std::min(to.row(), static_cast<int>(added_.size()) - 1);
                for (int i = std::max(from.row(), 1); i <= last; ++i) {
                    Row& was = added_[static_cast<std::size_t>(i)];
                    totals_.remove(was);
                    const QString keyword = was.keyword();
                    touch(keyword);
                    was = list.row(i);
                    totals_.add(was);
                    if (was.keyword() != keyword)
                        touch(was.keyword());
                }
                redrawSoon();
            });
    connect(&list, &QAbstractItemModel::modelReset, this, &RootWindow::rebuild);
}

std::vector<Row> RootWindow::tableRows() const {
    return added_.size() > 1 ? std::vector<Row>(added_.begin() + 1, added_.end())
                             : std::vector<Row>{};
}

void RootWindow::rebuild() {
    const RowList& list = bench_.results();
    totals_.clear();
    added_.clear();
    added_.reserve(static_cast<std::size_t>(list.count()));
    for (std::int64_t i = 0; i < list.count(); ++i) {
        added_.push_back(list.row(i));
        if (i > 0)
            totals_.add(added_.back());
    }
    wholeRedraw_ = true;
    touched_.clear();
    touchedKeys_.clear();
    redrawNow();
}

void RootWindow::touch(const QString& keyword) {
    if (!wholeRedraw_)
        for (const QString& root : distinctRoots(bench_.segmenter(), keyword)) {
            QString key = Segmenter::rootKey(root);
            if (!touchedKeys_.contains(key)) {
                touchedKeys_.insert(key);
                touched_.append(std::move(key));
            }
        }
}

void RootWindow::redrawSoon() {
    if (!isVisible())
        redrawWhenShown_ = true;
    else if (!redrawTimer_.isActive())
        redrawTimer_.start();
}

void RootWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (redrawWhenShown_)
        redrawNow();
}

void RootWindow::redrawNow() {
    redrawTimer_.stop();
    redrawWhenShown_ = false;
    redraw();
}

// Only the lines of the roots that changed, so that a tick's redraw costs
// the same at any size of table.
void RootWindow::redraw() {
    bool whole = wholeRedraw_;
    for (auto key = touched_.cbegin(); !whole && key != touched_.cend(); ++key)
        whole = !model_->update(*key, totals_.find(*key));
    if (whole)
        model_->setAll(totals_.roots());
    touched_.clear();
    touchedKeys_.clear();
    wholeRedraw_ = false;
    drawChart();
}

void RootWindow::drawChart() {
    // The top roots by demand, as sortBySearch puts them, without sorting all.
    const std::vector<RootFigures>& all = model_->roots();
    std::vector<const RootFigures*> top;
    top.reserve(all.size());
    for (const RootFigures& f : all)
        if (f.searchIndex())
            top.push_back(&f);
    const auto before = [](const RootFigures* a, const RootFigures* b) {
        return a->search != b->search ? a->search > b->search : a->root < b->root;
    };
    const std::size_t shown = std::min(top.size(), static_cast<std::size_t>(chartRoots));
    std::partial_sort(top.begin(), top.begin() + static_cast<std::ptrdiff_t>(shown), top.end(),
                      before);
    top.resize(shown);
    QStringList roots;
    QList<qreal> demand, supply;
    // The largest at the top: horizontal bars go upwards.
    for (auto f = top.rbegin(); f != top.rend(); ++f) {
        roots << (*f)->root;
        demand << (*f)->searchIndex().value_or(0);
        supply << (*f)->itemCount().value_or(0);
    }
    QStringList charted = roots;
    std::reverse(charted.begin(), charted.end());
    const bool sameRoots = charted == charted_ && !demandBars_.series->barSets().isEmpty();
    charted_ = charted;
    for (auto [bars, values] :
         {std::pair{&demandBars_, &demand}, std::pair{&supplyBars_, &supply}}) {
        if (sameRoots) {
            QBarSet* set = bars->series->barSets().constFirst();
            for (qsizetype i = 0; i < values->size(); ++i)
                if (set->at(i) != values->at(i))
                    set->replace(i, values->at(i));
        } else {
            bars->series->clear();
            auto* set = new QBarSet(bars->view->chart()->title());
            set->setColor(bars->series->property("color").value<QColor>());
            set->append(*values);
            bars->series->append(set);
            bars->roots->clear();
            bars->roots->append(roots);
        }
        const qreal most =
            values->isEmpty() ? 1 : *std::max_element(values->begin(), values->end());
        const qreal range = std::max<qreal>(1, most * 1.05);
        if (bars->values->max() != range)
            bars->values->setRange(0, range);
    }
}

QStringList RootWindow::chartedRoots() const {
    return charted_;
}

void RootWindow::filterBy(const QString& root) {
    filterRoot_ = root;
    reapplyFilter();
    Q_EMIT filterChanged(root);
}

void RootWindow::reapplyFilter() {
    if (filterRoot_.isEmpty()) {
        bench_.order().setKeywordFilter({});
        return;
    }
    bench_.order().setKeywordFilter(
        [segmenter = &bench_.segmenter(), key = Segmenter::rootKey(filterRoot_)](const QString& k) {
            const QStringList roots = segmenter->segment(k);
            return std::any_of(roots.begin(), roots.end(),
                               [&](const QString& r) { return Segmenter::rootKey(r) == key; });
        });
}

void RootWindow::attachFilterButton(QAbstractScrollArea* view) {
    new FilterButton(view, this);
}

void RootWindow::say(const QString& text) {
    messageLabel_->setText(text);
}

QString RootWindow::message() const {
    return messageLabel_->text();
}

QStringList RootWindow::selectedRoots() const {
    QStringList roots;
    // In the order they were selected: a merge joins them in that order.
    for (const QModelIndex& index : table_->selectionModel()->selection().indexes())
        if (index.column() == 0)
            roots << model_->root(order_->mapToSource(index).row()).root;
    roots.removeDuplicates();
    return roots;
}

bool RootWindow::mergeRoots(const QStringList& roots) {
    if (roots.size() < 2) {
        say(QStringLiteral("请至少选中两个词根再合并。"));
        return false;
    }
    QString why;
    const QString word = roots.join(QString());
    if (!bench_.segmenter().addMerged(word, &why)) {
        say(QStringLiteral("不能合并为“%1”：%2").arg(word, why));
        return false;
    }
    rebuild();
    reapplyFilter();
    say(QStringLiteral("已合并为“%1”（%2）").arg(word, bench_.segmenter().userWordsPath()));
    return true;
}

bool RootWindow::splitRoot(const QStringList& pieces) {
    QString why;
    if (pieces.size() < 2) {
        say(QStringLiteral("拆分要在词根里加至少一个空格。"));
        return false;
    }
    if (!bench_.segmenter().addSplit(pieces, &why)) {
        say(QStringLiteral("不能拆分为“%1”：%2").arg(pieces.join(u' '), why));
        return false;
    }
    rebuild();
    reapplyFilter();
    say(QStringLiteral("已拆分为“%1”（%2）")
            .arg(pieces.join(u' '), bench_.segmenter().userWordsPath()));
    return true;
}

void RootWindow::mergeSelected() {
    mergeRoots(selectedRoots());
}

void RootWindow::splitSelected() {
    const QStringList roots = selectedRoots();
    if (roots.size() != 1) {
        say(QStringLiteral("请选中一个词根再拆分。"));
        return;
    }
    bool ok = false;
    const QString text = QInputDialog::getText(this, QStringLiteral("拆分"),
                                               QStringLiteral("在要分开的地方加空格："),
                                               QLineEdit::Normal, roots.first(), &ok);
    if (ok)
        splitRoot(text.split(u' ', Qt::SkipEmptyParts));
}

void RootWindow::setRequest(const QString& must, const QString& exclude, int budget) {
    mustEdit_->setText(must);
    excludeEdit_->setText(exclude);
    budgetBox_->setValue(budget);
}

void RootWindow::composeTitle() {
    const std::vector<Row> rows = tableRows();
    TitleRequest request{wordsOf(mustEdit_->text()), wordsOf(excludeEdit_->text()),
                         budgetBox_->value()};
    QString why;
    const auto problem = titleProblem(rows, bench_.segmenter(), request, &why);
    composition_.reset();
    titleLabel_->clear();
    coveredList_->clear();
    capNote_->hide();
    if (!problem) {
        titleInfo_->setText(QStringLiteral("无法组成标题：") + why);
        return;
    }
    composition_ = compose(*problem, 3, 1.0);
    compositionTotal_ = totalDemand(*problem);
    capNote_->setVisible(composition_->capHit);
    if (composition_->titles.empty()) {
        titleInfo_->setText(QStringLiteral("没有能放进 %1 字节的标题。").arg(request.budget));
        return;
    }
    const auto shareOf = [this](const Title& t) {
        return compositionTotal_ > 0 ? t.demand / compositionTotal_ : 0;
    };
    const Title& best = composition_->titles.front();
    QStringList keywords;
    for (const int k : best.covered)
        keywords << rows[static_cast<std::size_t>(k)].keyword();
    titleLabel_->setText(best.text);
    coveredList_->addItems(keywords);
    QString info = QStringLiteral("%1 / %2 字节 · 覆盖搜索指数 %3 · 覆盖关键词 %4 个")
                       .arg(best.bytes)
                       .arg(request.budget)
                       .arg(percent(shareOf(best)))
                       .arg(best.covered.size());
    for (std::size_t i = 1; i < composition_->titles.size(); ++i) {
        const Title& t = composition_->titles[i];
        info += QStringLiteral("\n备选：%1（%2 字节，覆盖 %3）")
                    .arg(t.text)
                    .arg(t.bytes)
                    .arg(percent(shareOf(t)));
    }
    titleInfo_->setText(info);
    bench_.setComposedTitle(TitleSheet{best.text, best.bytes, shareOf(best), keywords});
}

TitleCheck RootWindow::checkTitleText(const QString& title) {
    if (checkEdit_->text() != title)
        checkEdit_->setText(title);
    const std::vector<Row> rows = tableRows();
    TitleCheck check = checkTitle(title, rows, bench_.segmenter());
    QStringList keywords;
    for (const std::size_t i : check.covered)
        keywords << rows[i].keyword();
    checkInfo_->setText(
        QStringLiteral("%1 字节 · 覆盖搜索指数 %2 · 覆盖关键词 %3 个%4\n没用上的高机会词根：%5")
            .arg(check.bytes)
            .arg(percent(check.share))
            .arg(keywords.size())
            .arg(keywords.isEmpty() ? QString() : u"：" + someOf(keywords, 20))
            .arg(check.missed.isEmpty() ? QStringLiteral("无")
                                        : check.missed.join(QStringLiteral("、"))));
    return check;
}

QString RootWindow::titleText() const {
    return titleLabel_->text();
}

QString RootWindow::titleDetails() const {
    return titleInfo_->text();
}

QString RootWindow::checkDetails() const {
    return checkInfo_->text();
}

} // namespace quilla
