#include "app/chart_window.h"

#include "app/growing_table_view.h"
#include "app/point_cloud.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QContextMenuEvent>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QMenu>
#include <QMouseEvent>
#include <QSaveFile>
#include <QScatterSeries>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

namespace quilla {
namespace {

constexpr int redrawDelayMs = 300;
constexpr double pickRadius = 6; // pixels around a point that hover and click reach

// A point's figure beside its row, so that points of equal figures stay apart.
using Figure = std::pair<double, std::int64_t>;

QString figure(double v) {
    return QString::number(v, 'f', 0);
}

QString describe(const DemandPoint& p) {
    return p.keyword + u"\n宝贝数 " + figure(p.count) + u"\n昨天搜索指数 " + figure(p.search) +
           u"\n机会 " + opportunityText(p.opportunity);
}

// Digits grouped by thousands; `whole` holds no fraction.
QString grouped(double whole) {
    QString digits = QString::number(whole, 'f', 0);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u',');
    return digits;
}

// A count of units, with a tenth shown only when there is one.
QString inUnits(double whole, double unit, QStringView name) {
    const double tenths = std::round(whole / unit * 10);
    QString text = grouped(std::floor(tenths / 10));
    if (const int tenth = static_cast<int>(std::fmod(tenths, 10)); tenth != 0)
        text += u'.' + QString::number(tenth);
    return text + name;
}

// Labels `axis` at every decade between two powers of ten, on a scale of
// their logarithms.
void labelDecades(QCategoryAxis* axis, double lo, double hi) {
    const double from = std::log10(lo), to = std::log10(hi);
    if (axis->count() > 0 && axis->min() == from && axis->max() == to)
        return;
    for (const QString& label : axis->categoriesLabels())
        axis->remove(label);
    axis->setStartValue(from);
    for (auto k = std::lround(from); k <= std::lround(to); ++k)
        axis->append(axisFigure(std::pow(10, k)), double(k));
    axis->setRange(from, to);
}

// A step of 1, 2 or 5 times a power of ten, and never below 1: the trend's
// figures are whole, and so are its ticks.
double wholeStep(double about) {
    if (!(about > 1))
        return 1;
    const double decade = std::pow(10, std::floor(std::log10(about)));
    for (const double m : {1.0, 2.0, 5.0})
        if (about <= m * decade)
            return m * decade;
    return 10 * decade;
}

// Log axes want positive bounds around the points.
std::pair<double, double> logRange(double lo, double hi) {
    lo = std::max(1.0, lo);
    hi = std::max(lo * 10, hi);
    return {std::pow(10, std::floor(std::log10(lo))), std::pow(10, std::ceil(std::log10(hi)))};
}

bool samePoint(const DemandPoint& p, const DemandPoint& q) {
    return p.listRow == q.listRow && p.keyword == q.keyword && p.count == q.count &&
           p.search == q.search && p.opportunity.kind == q.opportunity.kind &&
           p.opportunity.perThousand == q.opportunity.perThousand;
}

bool sameReading(const DemandReading& a, const DemandReading& b) {
    if (a.indexed != b.indexed || a.point.has_value() != b.point.has_value())
        return false;
    return !a.point || samePoint(*a.point, *b.point);
}

QPointF logOf(const DemandReading& r) {
    return r.point ? QPointF(std::log10(r.point->count), std::log10(r.point->search)) : QPointF();
}

void insertSorted(std::vector<Figure>& ascending, Figure f) {
    ascending.insert(std::lower_bound(ascending.begin(), ascending.end(), f), f);
}

void eraseSorted(std::vector<Figure>& ascending, Figure f) {
    const auto at = std::lower_bound(ascending.begin(), ascending.end(), f);
    if (at != ascending.end() && *at == f)
        ascending.erase(at);
}

// The rows whose figure lies between two values, both included.
void rowsBetween(const std::vector<Figure>& ascending, double a, double b,
                 std::vector<std::int64_t>& rows) {
    const auto from =
        std::lower_bound(ascending.begin(), ascending.end(),
                         Figure{std::min(a, b), std::numeric_limits<std::int64_t>::min()});
    const auto to =
        std::upper_bound(ascending.begin(), ascending.end(),
                         Figure{std::max(a, b), std::numeric_limits<std::int64_t>::max()});
    for (auto it = from; it != to; ++it)
        rows.push_back(it->second);
}

// Where the point of `listRow` is, or would go, in a list in table order.
std::vector<DemandPoint>::iterator placeOf(std::vector<DemandPoint>& points, std::int64_t listRow) {
    return std::lower_bound(points.begin(), points.end(), listRow,
                            [](const DemandPoint& p, std::int64_t row) { return p.listRow < row; });
}

} // namespace

QString axisFigure(double value) {
    if (!std::isfinite(value))
        return {};
    const double whole = std::round(value);
    if (whole < 0)
        return u'-' + axisFigure(-whole);
    if (whole < 1e5)
        return grouped(whole);
    // 99,999,999 is read as 1亿, not 10,000万.
    if (std::round(whole / 1e3) < 1e5)
        return inUnits(whole, 1e4, u"万");
    return inUnits(whole, 1e8, u"亿");
}

// The scarce keywords beside the chart, read from what is drawn, in the
// order of moreOpportunity. A few keywords going and coming are told to the
// view as such, so that it repaints only from the first of them down.
class ScarceKeywordsModel final : public QAbstractListModel {
public:
    ScarceKeywordsModel(std::vector<DemandPoint>& scarce, QObject* parent)
        : QAbstractListModel(parent), scarce_(scarce) {}

    void reset(std::vector<DemandPoint> scarce) {
        beginResetModel();
        scarce_ = std::move(scarce);
        endResetModel();
    }
    // `gone` as they are listed now.
    void change(const std::vector<DemandPoint>& gone, const std::vector<DemandPoint>& come) {
        constexpr std::size_t fewEnough = 64; // more, and a reset costs the view less
        const bool few = gone.size() + come.size() <= fewEnough;
        if (!few)
            beginResetModel();
        for (const DemandPoint& p : gone) {
            auto at = std::lower_bound(scarce_.begin(), scarce_.end(), p, moreOpportunity);
            if (at == scarce_.end() || at->listRow != p.listRow)
                continue;
            const int row = static_cast<int>(at - scarce_.begin());
            if (few)
                beginRemoveRows({}, row, row);
            scarce_.erase(at);
            if (few)
                endRemoveRows();
        }
        for (const DemandPoint& p : come) {
            const auto at = std::upper_bound(scarce_.begin(), scarce_.end(), p, moreOpportunity);
            const int row = static_cast<int>(at - scarce_.begin());
            if (few)
                beginInsertRows({}, row, row);
            scarce_.insert(at, p);
            if (few)
                endInsertRows();
        }
        if (!few)
            endResetModel();
    }
    std::int64_t listRow(int row) const {
        return scarce_.at(static_cast<std::size_t>(row)).listRow;
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(scarce_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const DemandPoint& p = scarce_[static_cast<std::size_t>(index.row())];
        if (role == Qt::DisplayRole)
            return QString(p.keyword + u"　" + opportunityText(p.opportunity));
        if (role == Qt::ToolTipRole)
            return describe(p);
        return {};
    }

private:
    std::vector<DemandPoint>& scarce_;
};

ChartWindow::ChartWindow(const RowList& results, QWidget* parent)
    : QWidget(parent, Qt::Window), results_(results) {
    setObjectName(QStringLiteral("chartWindow"));
    setWindowTitle(QStringLiteral("图表 - Quilla"));
    resize(1000, 720);
    buildDemandChart();
    buildTrendChart();

    scarceList_ = new GrowingTableView(this);
    scarceList_->setObjectName(QStringLiteral("scarceList"));
    scarceList_->setShowGrid(false);
    scarceList_->horizontalHeader()->hide();
    scarceList_->horizontalHeader()->setStretchLastSection(true);
    scarceModel_ = new ScarceKeywordsModel(drawn_.scarce, this);
    scarceList_->setModel(scarceModel_);
    scarceList_->setToolTip(QStringLiteral(
        "需求高（搜索指数高于中位数）而供给少（宝贝数低于中位数）的关键词，按机会排列"));
    connect(scarceList_, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& at) { Q_EMIT rowChosen(scarceModel_->listRow(at.row())); });
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("chartNote"));

    auto* scarceTitle = new QLabel(QStringLiteral("供不应求"), this);
    auto* side = new QVBoxLayout;
    side->addWidget(scarceTitle);
    side->addWidget(scarceList_);
    auto* demand = new QVBoxLayout;
    demand->addWidget(demandView_, 1);
    demand->addWidget(note_);
    auto* top = new QHBoxLayout;
    top->addLayout(demand, 3);
    top->addLayout(side, 1);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top, 3);
    all->addWidget(trendView_, 2);

    menu_ = new QMenu(this);
    menu_->addAction(QStringLiteral("保存图片"), this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("保存图片"),
                                                          QStringLiteral("图表.png"),
                                                          QStringLiteral("PNG 图片 (*.png)"));
        if (!path.isEmpty() && !savePicture(path))
            QToolTip::showText(QCursor::pos(), QStringLiteral("图片保存失败"));
    });

    redrawTimer_.setSingleShot(true);
    redrawTimer_.setInterval(redrawDelayMs);
    connect(&redrawTimer_, &QTimer::timeout, this, &ChartWindow::redraw);
    connect(&results_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { readAgain(first, last); });
    connect(&results_, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                readAgain(from.row(), to.row());
            });
    connect(&results_, &QAbstractItemModel::rowsRemoved, this, [this] { readAgain(0, -1); });
    connect(&results_, &QAbstractItemModel::modelReset, this, [this] { readAgain(0, -1); });
    redraw();
}

void ChartWindow::buildDemandChart() {
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("需求与供给"));
    chart->legend()->setAlignment(Qt::AlignBottom);
    quarterTop_ = new QLineSeries(chart);
    quarterBottom_ = new QLineSeries(chart);
    quarter_ = new QAreaSeries(quarterTop_, quarterBottom_);
    quarter_->setName(QStringLiteral("需求高、供给少"));
    quarter_->setColor(QColor(255, 140, 0, 50));
    quarter_->setBorderColor(QColor(255, 140, 0, 120));
    points_ = new QScatterSeries;
    points_->setName(QStringLiteral("关键词"));
    // Thousands of points: squares without an outline paint several times
    // faster than outlined circles, and at this size look alike.
    points_->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    points_->setMarkerSize(6);
    points_->setPen(Qt::NoPen);
    scarcePoints_ = new QScatterSeries;
    scarcePoints_->setName(QStringLiteral("供不应求"));
    scarcePoints_->setMarkerSize(9);
    scarcePoints_->setColor(QColor(230, 80, 0));
    chart->addSeries(quarter_);
    chart->addSeries(points_);
    chart->addSeries(scarcePoints_);
    // The log axes place the series but would label them as printf does
    // ("1e+06"); axes over the decades' logarithms show the labels instead.
    auto* x = new QLogValueAxis;
    auto* y = new QLogValueAxis;
    xLabels_ = new QCategoryAxis;
    xLabels_->setTitleText(QStringLiteral("宝贝数（供给）"));
    yLabels_ = new QCategoryAxis;
    yLabels_->setTitleText(QStringLiteral("昨天搜索指数（需求）"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    chart->addAxis(xLabels_, Qt::AlignBottom);
    chart->addAxis(yLabels_, Qt::AlignLeft);
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
    for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(x), static_cast<QAbstractAxis*>(y)})
        axis->setVisible(false);
    for (QCategoryAxis* axis : {xLabels_, yLabels_})
        axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    demandView_ = new QChartView(chart, this);
    demandView_->setObjectName(QStringLiteral("demandChart"));
    demandView_->setRenderHint(QPainter::Antialiasing, false);
    cloud_ = new PointCloud(chart);
    cloud_->setZValue(100);
    cloud_->setColors(points_->color(), scarcePoints_->color());
    // Where the quarter's corner falls in a new plot area is the next redraw's.
    connect(chart, &QChart::plotAreaChanged, this, [this] {
        placePoints();
        quarterPixel_ = QPoint(-1, -1);
        redrawSoon();
    });
    demandView_->viewport()->setMouseTracking(true);
    demandView_->viewport()->installEventFilter(this);
}

void ChartWindow::buildTrendChart() {
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("趋势"));
    trendView_ = new QChartView(chart, this);
    trendView_->setObjectName(QStringLiteral("trendChart"));
    trendView_->setRenderHint(QPainter::Antialiasing);
}

// A closed window draws nothing; it catches up when shown again.
void ChartWindow::redrawSoon() {
    if (!isVisible())
        redrawWhenShown_ = true;
    else if (!redrawTimer_.isActive())
        redrawTimer_.start();
}

void ChartWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (redrawWhenShown_) {
        redrawWhenShown_ = false;
        redraw();
    }
}

void ChartWindow::readAgain(std::int64_t from, std::int64_t to) {
    // Rows added at the end are read alone; any other change, all rows.
    if (to < from || (from < static_cast<std::int64_t>(readings_.size()) &&
                      to >= static_cast<std::int64_t>(readings_.size())))
        readAll_ = true;
    staleFrom_ = std::min(staleFrom_, from);
    staleTo_ = std::max(staleTo_, to);
    redrawSoon();
}

const DemandPoint* ChartWindow::pointAt(const QPoint& viewportPosition) const {
    const QPointF at =
        demandView_->chart()->mapFromScene(demandView_->mapToScene(viewportPosition));
    const auto i = cloud_->nearest(at, pickRadius);
    return i ? &drawn_.points[*i] : nullptr;
}

QPointF ChartWindow::drawnAt(const DemandPoint& point) const {
    return cloud_->positionOf({point.count, point.search});
}

bool ChartWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == demandView_->viewport()) {
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::ToolTip) {
            // A mouse resting on the view makes it look for a tip among its
            // items, and finding none it hides ours: the point answers that
            // itself, and its tip stays until the mouse moves off it.
            const bool resting = event->type() == QEvent::ToolTip;
            QPoint at, global;
            if (resting) {
                const auto* help = static_cast<QHelpEvent*>(event);
                at = help->pos();
                global = help->globalPos();
            } else {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                at = mouse->position().toPoint();
                global = mouse->globalPosition().toPoint();
            }
            if (const DemandPoint* p = pointAt(at)) {
                QToolTip::showText(global, describe(*p), demandView_, {},
                                   std::numeric_limits<int>::max());
                if (resting)
                    return true;
            } else {
                QToolTip::hideText();
            }
        } else if (event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                if (const DemandPoint* p = pointAt(mouse->position().toPoint())) {
                    const std::int64_t row = p->listRow;
                    showTrendOf(row);
                    Q_EMIT rowChosen(row);
                }
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

// A tick rewrites one row: the points, medians and scarce list change by
// that row alone unless the medians move, and the picture is mended where
// points changed. Anything else reads and draws everything again.
void ChartWindow::redraw() {
    if (!isVisible()) {
        redrawWhenShown_ = true;
        return;
    }
    const auto rows = static_cast<std::size_t>(results_.count());
    const bool whole = readAll_ || readings_.size() > rows;
    const std::int64_t last = static_cast<std::int64_t>(rows) - 1;
    const std::int64_t from = whole ? 1 : std::max<std::int64_t>(staleFrom_, 1);
    const std::int64_t to = whole ? last : std::min(staleTo_, last);
    readAll_ = false;
    staleFrom_ = std::numeric_limits<std::int64_t>::max();
    staleTo_ = -1;
    if (whole) {
        readings_.assign(rows, {});
        logs_.assign(rows, {});
        drawn_.points.clear();
        drawn_.leftOut = 0;
        counts_.clear();
        searches_.clear();
    }
    readings_.resize(rows);
    logs_.resize(rows);

    std::vector<QPointF> touched;
    const std::vector<Change> changed = readRows(from, to, whole, touched);
    const double medianCount = medianOfSorted(counts_), medianSearch = medianOfSorted(searches_);
    if (whole) {
        drawn_.medianCount = medianCount;
        drawn_.medianSearch = medianSearch;
        scarceModel_->reset(scarceAfresh());
    } else {
        changeScarce(changed, medianCount, medianSearch, touched);
    }

    const bool anyPoint = !counts_.empty();
    const double minX = anyPoint ? counts_.front().first : 1;
    const double maxX = anyPoint ? counts_.back().first : 10;
    const double minY = anyPoint ? searches_.front().first : 1;
    const double maxY = anyPoint ? searches_.back().first : 10;
    std::tie(x0_, x1_) = logRange(minX, maxX);
    std::tie(y0_, y1_) = logRange(minY, maxY);
    demandView_->chart()->axes(Qt::Horizontal, points_).first()->setRange(x0_, x1_);
    demandView_->chart()->axes(Qt::Vertical, points_).first()->setRange(y0_, y1_);
    labelDecades(xLabels_, x0_, x1_);
    labelDecades(yLabels_, y0_, y1_);
    placePoints();
    drawQuarter();
    std::vector<QPointF> all, scarceLogs;
    all.reserve(drawn_.points.size());
    for (const DemandPoint& p : drawn_.points)
        all.push_back(logs_[static_cast<std::size_t>(p.listRow)]);
    scarceLogs.reserve(drawn_.scarce.size());
    for (const DemandPoint& p : drawn_.scarce)
        scarceLogs.push_back(logs_[static_cast<std::size_t>(p.listRow)]);
    if (whole)
        cloud_->setPoints(std::move(all), std::move(scarceLogs));
    else
        cloud_->changePoints(std::move(all), std::move(scarceLogs), touched);

    const QString note =
        QStringLiteral("图中 %1 个关键词；%2 个已查指数的关键词因宝贝数或搜索指数为 0 "
                       "或缺失未画出。中位数：宝贝数 %3，搜索指数 %4")
            .arg(drawn_.points.size())
            .arg(drawn_.leftOut)
            .arg(figure(drawn_.medianCount), figure(drawn_.medianSearch));
    if (note != note_->text()) // a new text lays the whole window out again
        note_->setText(note);
    const Row shown = results_.row(trendRow_);
    if (shown.series != trendSeries_ || shown.keyword() != trendKeyword_)
        drawTrend();
}

// Reads the rows again and brings the points and their sorted figures up to
// date; the rows whose reading changed, and in `touched` where their
// points were and are.
std::vector<ChartWindow::Change> ChartWindow::readRows(std::int64_t from, std::int64_t to,
                                                       bool whole, std::vector<QPointF>& touched) {
    std::vector<Change> changed;
    for (std::int64_t i = from; i <= to; ++i) {
        DemandReading now = demandReadingOf(results_.row(i), i);
        DemandReading& was = readings_[static_cast<std::size_t>(i)];
        if (!whole && sameReading(was, now))
            continue;
        changed.push_back({i, was.point});
        if (was.point) {
            eraseSorted(counts_, {was.point->count, i});
            eraseSorted(searches_, {was.point->search, i});
            drawn_.points.erase(placeOf(drawn_.points, i));
            touched.push_back(logs_[static_cast<std::size_t>(i)]);
        } else {
            drawn_.leftOut -= was.indexed;
        }
        if (now.point && whole) { // in table order already; sorted once below
            counts_.emplace_back(now.point->count, i);
            searches_.emplace_back(now.point->search, i);
            drawn_.points.push_back(*now.point);
        } else if (now.point) {
            insertSorted(counts_, {now.point->count, i});
            insertSorted(searches_, {now.point->search, i});
            drawn_.points.insert(placeOf(drawn_.points, i), *now.point);
            touched.push_back(logOf(now));
        } else {
            drawn_.leftOut += now.indexed;
        }
        logs_[static_cast<std::size_t>(i)] = logOf(now);
        was = std::move(now);
    }
    if (whole) {
        std::sort(counts_.begin(), counts_.end());
        std::sort(searches_.begin(), searches_.end());
    }
    return changed;
}

std::vector<DemandPoint> ChartWindow::scarceAfresh() const {
    std::vector<DemandPoint> scarce;
    for (const DemandPoint& p : drawn_.points)
        if (inScarceQuarter(p, drawn_.medianCount, drawn_.medianSearch))
            scarce.push_back(p);
    std::sort(scarce.begin(), scarce.end(), moreOpportunity);
    return scarce;
}

// The changed rows leave the scarce quarter as they were and come into it
// as they are; when the medians moved, so do the points between the old and
// the new ones, which alone can have crossed a median. In `touched` the
// points that became scarce or stopped being so, since they look different.
void ChartWindow::changeScarce(const std::vector<Change>& changed, double medianCount,
                               double medianSearch, std::vector<QPointF>& touched) {
    const double wasCount = drawn_.medianCount, wasSearch = drawn_.medianSearch;
    std::vector<DemandPoint> gone, come;
    std::vector<std::int64_t> rows;
    for (const Change& c : changed) {
        if (c.was && inScarceQuarter(*c.was, wasCount, wasSearch))
            gone.push_back(*c.was);
        const auto& point = readings_[static_cast<std::size_t>(c.row)].point;
        if (point && inScarceQuarter(*point, medianCount, medianSearch))
            come.push_back(*point);
        rows.push_back(c.row);
    }
    std::sort(rows.begin(), rows.end());
    std::vector<std::int64_t> near;
    if (medianCount != wasCount)
        rowsBetween(counts_, wasCount, medianCount, near);
    if (medianSearch != wasSearch)
        rowsBetween(searches_, wasSearch, medianSearch, near);
    std::sort(near.begin(), near.end());
    near.erase(std::unique(near.begin(), near.end()), near.end());
    for (const std::int64_t row : near) {
        if (std::binary_search(rows.begin(), rows.end(), row))
            continue;
        const DemandPoint& p = *readings_[static_cast<std::size_t>(row)].point;
        const bool was = inScarceQuarter(p, wasCount, wasSearch);
        if (was == inScarceQuarter(p, medianCount, medianSearch))
            continue;
        (was ? gone : come).push_back(p);
        touched.push_back(logs_[static_cast<std::size_t>(row)]);
    }
    drawn_.medianCount = medianCount;
    drawn_.medianSearch = medianSearch;
    scarceModel_->change(gone, come);
}

// A median that moves within a pixel leaves the quarter looking as it was;
// replacing it would repaint the whole plot.
void ChartWindow::drawQuarter() {
    const bool hasQuarter = !drawn_.points.empty();
    const double mx = std::max(x0_, drawn_.medianCount), my = std::max(y0_, drawn_.medianSearch);
    const QList<QPointF> top =
        hasQuarter ? QList<QPointF>{{x0_, y1_}, {mx, y1_}} : QList<QPointF>{};
    const QList<QPointF> bottom =
        hasQuarter ? QList<QPointF>{{x0_, my}, {mx, my}} : QList<QPointF>{};
    const QPointF corner = cloud_->positionOf({mx, my}) * demandView_->devicePixelRatioF();
    const QPoint cornerPixel(static_cast<int>(std::lround(corner.x())),
                             static_cast<int>(std::lround(corner.y())));
    if (hasQuarter && quarterTop_->points().size() == 2 &&
        quarterTop_->points().first() == top.first() && cornerPixel == quarterPixel_)
        return;
    if (quarterTop_->points() != top)
        quarterTop_->replace(top);
    if (quarterBottom_->points() != bottom)
        quarterBottom_->replace(bottom);
    quarterPixel_ = cornerPixel;
}

void ChartWindow::placePoints() {
    cloud_->setFrame(demandView_->chart()->plotArea(), x0_, x1_, y0_, y1_);
}

void ChartWindow::showTrendOf(std::int64_t listRow) {
    trendRow_ = listRow;
    drawTrend();
}

void ChartWindow::setHistory(const History* history) {
    history_ = history;
    drawTrend();
}

void ChartWindow::historyChanged() {
    if (history_ && !history_->of(trendKeyword_).empty())
        drawTrend();
}

namespace {

// Whole ticks from zero (or below it) to a little above the highest value.
void wholeTicks(QCategoryAxis* axis, double lo, double hi) {
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    const double high = std::max(hi, 0.0) * 1.05, low = std::min(lo, 0.0);
    const double step = wholeStep((high - low) / 5);
    if (!std::isfinite(step))
        return;
    const double bottom = std::floor(low / step) * step;
    const auto ticks = std::max(1L, std::lround(std::ceil(high / step) - bottom / step));
    axis->setStartValue(bottom);
    for (long i = 0; i <= ticks; ++i)
        axis->append(axisFigure(bottom + double(i) * step), bottom + double(i) * step);
    axis->setRange(bottom, bottom + double(ticks) * step);
}

} // namespace

void ChartWindow::drawTrend() {
    QChart* chart = trendView_->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    const Row row = results_.row(trendRow_);
    trendSeries_ = row.series;
    trendKeyword_ = row.keyword();
    if (trendRow_ < 1 || !row.series) {
        chart->setTitle(trendRow_ >= 1 ? row.keyword() + u"：尚未查询指数"
                                       : QStringLiteral("趋势：在表中选一个关键词"));
        return;
    }
    chart->setTitle(row.keyword() + u" 的趋势");
    const TrendSeries& s = *row.series;
    QAbstractAxis* x = nullptr;
    if (s.endDate) {
        auto* dates = new QDateTimeAxis;
        dates->setFormat(QStringLiteral("MM-dd"));
        dates->setTitleText(QStringLiteral("日期"));
        x = dates;
    } else {
        auto* days = new QValueAxis;
        days->setLabelFormat(QStringLiteral("%d"));
        days->setTitleText(QStringLiteral("天前"));
        x = days;
    }
    auto* y = new QCategoryAxis;
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    double lo = 0, hi = 1, left = 0, right = 1;
    bool first = true;
    for (const auto& [name, values] : {std::pair{QStringLiteral("搜索指数"), &s.search},
                                       std::pair{QStringLiteral("成交指数"), &s.trade}}) {
        auto* line = new QLineSeries;
        line->setName(name);
        for (const QPointF& p : seriesPoints(*values, s.endDate)) {
            line->append(p);
            lo = first ? p.y() : std::min(lo, p.y());
            hi = first ? p.y() : std::max(hi, p.y());
            left = first ? p.x() : std::min(left, p.x());
            right = first ? p.x() : std::max(right, p.x());
            first = false;
        }
        chart->addSeries(line);
        line->attachAxis(x);
        line->attachAxis(y);
    }
    wholeTicks(y, lo, hi);
    // Supply over time: the item count at each snapshot, on its own scale.
    const std::vector<QPointF> supply =
        history_ ? supplyPoints(*history_, row.keyword(), s.endDate.has_value())
                 : std::vector<QPointF>{};
    if (!supply.empty()) {
        auto* items = new QLineSeries;
        items->setName(QStringLiteral("宝贝数"));
        items->setPointsVisible(true);
        double most = 0;
        for (const QPointF& p : supply) {
            items->append(p);
            most = std::max(most, p.y());
            left = first ? p.x() : std::min(left, p.x());
            right = first ? p.x() : std::max(right, p.x());
            first = false;
        }
        auto* itemsAxis = new QCategoryAxis;
        itemsAxis->setTitleText(QStringLiteral("宝贝数"));
        chart->addAxis(itemsAxis, Qt::AlignRight);
        chart->addSeries(items);
        items->attachAxis(x);
        items->attachAxis(itemsAxis);
        wholeTicks(itemsAxis, 0, most);
    }
    if (s.endDate)
        static_cast<QDateTimeAxis*>(x)->setRange(
            QDateTime::fromMSecsSinceEpoch(qint64(left), Qt::UTC),
            QDateTime::fromMSecsSinceEpoch(qint64(right), Qt::UTC));
    else
        x->setRange(left, right);
}

bool ChartWindow::savePicture(const QString& path) {
    QSaveFile file(path);
    // Unbuffered, so that a full disk shows in the write, not in a commit
    // that reports success over a cut-off file.
    return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && grab().save(&file, "PNG") &&
           file.commit();
}

void ChartWindow::contextMenuEvent(QContextMenuEvent* event) {
    menu_->popup(event->globalPos());
}

} // namespace quilla
