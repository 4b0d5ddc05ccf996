#include "app/chart_window.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QContextMenuEvent>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QLogValueAxis>
#include <QMenu>
#include <QSaveFile>
#include <QScatterSeries>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace quilla {
namespace {

constexpr int redrawDelayMs = 300;

QString figure(double v) {
    return QString::number(v, 'f', 0);
}

QString describe(const DemandPoint& p) {
    return p.keyword + u"\n宝贝数 " + figure(p.count) + u"\n昨天搜索指数 " + figure(p.search) +
           u"\n机会 " + opportunityText(p.opportunity);
}

// Log axes want positive bounds around the points.
std::pair<double, double> logRange(double lo, double hi) {
    lo = std::max(1.0, lo);
    hi = std::max(lo * 10, hi);
    return {std::pow(10, std::floor(std::log10(lo))), std::pow(10, std::ceil(std::log10(hi)))};
}

// Qt Charts keeps a graphics item per point: a tick moves one point, and
// moving that one item costs a small part of replacing them all.
void replaceChanged(QXYSeries& series, const QList<QPointF>& points) {
    const QList<QPointF> old = series.points();
    if (old.size() != points.size()) {
        series.replace(points);
        return;
    }
    std::vector<qsizetype> changed;
    for (qsizetype i = 0; i < points.size(); ++i)
        if (old[i] != points[i])
            changed.push_back(i);
    if (changed.size() > static_cast<std::size_t>(points.size() / 8 + 1)) {
        series.replace(points);
        return;
    }
    for (const qsizetype i : changed)
        series.replace(static_cast<int>(i), points[i]);
}

bool sameScarce(const std::vector<DemandPoint>& a, const std::vector<DemandPoint>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const DemandPoint& p, const DemandPoint& q) {
                          return p.listRow == q.listRow && p.keyword == q.keyword &&
                                 p.count == q.count && p.search == q.search &&
                                 opportunityText(p.opportunity) == opportunityText(q.opportunity);
                      });
}

} // namespace

ChartWindow::ChartWindow(const RowList& results, QWidget* parent)
    : QWidget(parent, Qt::Window), results_(results) {
    setObjectName(QStringLiteral("chartWindow"));
    setWindowTitle(QStringLiteral("图表 - Quilla"));
    resize(1000, 720);
    buildDemandChart();
    buildTrendChart();

    scarceList_ = new QListWidget(this);
    scarceList_->setObjectName(QStringLiteral("scarceList"));
    scarceList_->setToolTip(QStringLiteral(
        "需求高（搜索指数高于中位数）而供给少（宝贝数低于中位数）的关键词，按机会排列"));
    connect(scarceList_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        Q_EMIT rowChosen(item->data(Qt::UserRole).toLongLong());
    });
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
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&results_, signal, this, &ChartWindow::redrawSoon);
    connect(&results_, &QAbstractItemModel::dataChanged, this, &ChartWindow::redrawSoon);
    connect(&results_, &QAbstractItemModel::modelReset, this, &ChartWindow::redrawSoon);
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
    auto* x = new QLogValueAxis;
    x->setTitleText(QStringLiteral("宝贝数（供给）"));
    x->setLabelFormat(QStringLiteral("%g"));
    auto* y = new QLogValueAxis;
    y->setTitleText(QStringLiteral("昨天搜索指数（需求）"));
    y->setLabelFormat(QStringLiteral("%g"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
    for (QScatterSeries* s : {points_, scarcePoints_}) {
        connect(s, &QScatterSeries::hovered, this, [this](const QPointF& at, bool state) {
            if (const DemandPoint* p = state ? nearestPoint(at) : nullptr)
                QToolTip::showText(QCursor::pos(), describe(*p), demandView_);
            else
                QToolTip::hideText();
        });
        connect(s, &QScatterSeries::clicked, this, [this](const QPointF& at) {
            if (const DemandPoint* p = nearestPoint(at)) {
                showTrendOf(p->listRow);
                Q_EMIT rowChosen(p->listRow);
            }
        });
    }
    demandView_ = new QChartView(chart, this);
    demandView_->setObjectName(QStringLiteral("demandChart"));
    demandView_->setRenderHint(QPainter::Antialiasing, false);
}

void ChartWindow::buildTrendChart() {
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("趋势"));
    trendView_ = new QChartView(chart, this);
    trendView_->setObjectName(QStringLiteral("trendChart"));
    trendView_->setRenderHint(QPainter::Antialiasing);
}

void ChartWindow::redrawSoon() {
    if (!redrawTimer_.isActive())
        redrawTimer_.start();
}

const DemandPoint* ChartWindow::nearestPoint(const QPointF& at) const {
    const DemandPoint* best = nullptr;
    double bestDistance = 0;
    for (const DemandPoint& p : drawn_.points) {
        // On log axes nearness is by ratio.
        const double d = std::hypot(std::log10(p.count / at.x()), std::log10(p.search / at.y()));
        if (!best || d < bestDistance) {
            best = &p;
            bestDistance = d;
        }
    }
    return best;
}

void ChartWindow::redraw() {
    DemandSupply before = std::exchange(drawn_, demandSupplyOf(results_));
    QList<QPointF> all, scarce;
    double minX = 1, maxX = 10, minY = 1, maxY = 10;
    bool first = true;
    for (const DemandPoint& p : drawn_.points) {
        all.append({p.count, p.search});
        minX = first ? p.count : std::min(minX, p.count);
        maxX = first ? p.count : std::max(maxX, p.count);
        minY = first ? p.search : std::min(minY, p.search);
        maxY = first ? p.search : std::max(maxY, p.search);
        first = false;
    }
    for (const DemandPoint& p : drawn_.scarce)
        scarce.append({p.count, p.search});
    replaceChanged(*points_, all);
    replaceChanged(*scarcePoints_, scarce);
    const auto [x0, x1] = logRange(minX, maxX);
    const auto [y0, y1] = logRange(minY, maxY);
    demandView_->chart()->axes(Qt::Horizontal).first()->setRange(x0, x1);
    demandView_->chart()->axes(Qt::Vertical).first()->setRange(y0, y1);
    const bool hasQuarter = !drawn_.points.empty();
    const double mx = std::max(x0, drawn_.medianCount), my = std::max(y0, drawn_.medianSearch);
    quarterTop_->replace(hasQuarter ? QList<QPointF>{{x0, y1}, {mx, y1}} : QList<QPointF>{});
    quarterBottom_->replace(hasQuarter ? QList<QPointF>{{x0, my}, {mx, my}} : QList<QPointF>{});

    if (!sameScarce(before.scarce, drawn_.scarce) || scarceList_->count() == 0) {
        scarceList_->clear();
        for (const DemandPoint& p : drawn_.scarce) {
            auto* item = new QListWidgetItem(p.keyword + u"　" + opportunityText(p.opportunity));
            item->setData(Qt::UserRole, static_cast<qlonglong>(p.listRow));
            item->setToolTip(describe(p));
            scarceList_->addItem(item);
        }
    }
    note_->setText(QStringLiteral("图中 %1 个关键词；%2 个已查指数的关键词因宝贝数或搜索指数为 0 "
                                  "或缺失未画出。中位数：宝贝数 %3，搜索指数 %4")
                       .arg(drawn_.points.size())
                       .arg(drawn_.leftOut)
                       .arg(figure(drawn_.medianCount), figure(drawn_.medianSearch)));
    const Row shown = results_.row(trendRow_);
    if (shown.series != trendSeries_ || shown.keyword() != trendKeyword_)
        drawTrend();
}

void ChartWindow::showTrendOf(std::int64_t listRow) {
    trendRow_ = listRow;
    drawTrend();
}

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
    auto* y = new QValueAxis;
    y->setLabelFormat(QStringLiteral("%g"));
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
    y->setRange(std::min(0.0, lo), hi * 1.05 + 1);
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
