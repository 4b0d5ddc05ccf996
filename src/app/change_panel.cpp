#include "app/change_panel.h"

#include "workbench/workbench.h"

#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace quilla {
namespace {

QDoubleSpinBox* percentBox(double fraction, QWidget* parent) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(0, 1000);
    box->setDecimals(0);
    box->setSuffix(QStringLiteral(" %"));
    box->setValue(fraction * 100);
    return box;
}

void fill(QListWidget* list, const std::vector<ChangeReport::Line>& lines) {
    list->clear();
    for (const auto& line : lines)
        list->addItem(QStringLiteral("%1    %2 → %3    %4")
                          .arg(line.keyword, QString::number(line.before, 'f', 0),
                               QString::number(line.after, 'f', 0), changeText(line.change)));
}

} // namespace

ChangePanel::ChangePanel(Workbench& bench, QWidget* parent)
    : QDialog(parent), bench_(bench), searchThreshold_(percentBox(0.20, this)),
      itemsThreshold_(percentBox(0.20, this)), searchList_(new QListWidget(this)),
      itemsList_(new QListWidget(this)), offeredList_(new QListWidget(this)),
      addButton_(new QPushButton(QStringLiteral("添加为关键词"), this)) {
    setWindowTitle(QStringLiteral("自上次以来"));
    offeredList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* thresholds = new QFormLayout;
    thresholds->addRow(QStringLiteral("搜索指数变化至少"), searchThreshold_);
    thresholds->addRow(QStringLiteral("宝贝数增加至少"), itemsThreshold_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(thresholds);
    layout->addWidget(new QLabel(QStringLiteral("搜索指数变化的词"), this));
    layout->addWidget(searchList_);
    layout->addWidget(new QLabel(QStringLiteral("宝贝数增加的词"), this));
    layout->addWidget(itemsList_);
    layout->addWidget(
        new QLabel(QStringLiteral("页面给出、表中没有的相关词（不选则全部添加）"), this));
    layout->addWidget(offeredList_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(addButton_);
    layout->addLayout(buttons);
    resize(420, 560);

    for (QDoubleSpinBox* box : {searchThreshold_, itemsThreshold_})
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] { refresh(); });
    connect(addButton_, &QPushButton::clicked, this, [this] { addOffered(); });
    connect(&bench_, &Workbench::historyChanged, this, [this] {
        if (isVisible())
            refresh();
    });
    refresh();
}

ChangeThresholds ChangePanel::thresholds() const {
    return {searchThreshold_->value() / 100, itemsThreshold_->value() / 100};
}

void ChangePanel::refresh() {
    report_ = bench_.changeReport(thresholds());
    fill(searchList_, report_.searchMoved);
    fill(itemsList_, report_.itemsRose);
    offeredList_->clear();
    for (const QString& word : report_.offeredWords)
        offeredList_->addItem(word);
    addButton_->setEnabled(!report_.offeredWords.empty());
}

void ChangePanel::addOffered() {
    QStringList words;
    for (const QListWidgetItem* item : offeredList_->selectedItems())
        words.append(item->text());
    if (words.isEmpty())
        for (const QString& word : report_.offeredWords)
            words.append(word);
    bench_.addOfferedWords(words);
    refresh();
}

} // namespace quilla
