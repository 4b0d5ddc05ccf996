// The panel "自上次以来": it names the rows that moved past its thresholds,
// follows a changed threshold, and adds the offered words as rows.

#include "app/change_panel.h"

#include "core/list_headers.h"
#include "session/session_state.h"
#include "support/qstring_print.h"
#include "workbench/workbench.h"

#include <QDoubleSpinBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;

QStringList texts(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

TEST(ChangePanel, NamesTheMovesAndAddsTheOfferedWordsAsRows) {
    Workbench bench(Workbench::Parts{});
    SessionSnapshot session;
    session.results = {Row{resultHeader()}, Row{{u"连衣裙"_s, u"100"_s}},
                       Row{{u"长裙"_s, u"100"_s}}};
    session.state.offeredWords = {u"短裙"_s, u"半身裙"_s, u"长裙"_s};
    const std::int64_t june = 1'717'200'000'000, day = 86'400'000;
    const auto figures = [](const char* search) {
        QStringList f(snapshotFigureCount);
        f[0] = QString::fromUtf8(search);
        return f;
    };
    for (const auto& [at, keyword, search, items] :
         {std::tuple{june, u"连衣裙"_s, "1,000", 100}, std::tuple{june, u"长裙"_s, "500", 100},
          std::tuple{june + day, u"连衣裙"_s, "1,300", 150},
          std::tuple{june + day, u"长裙"_s, "550", 100}})
        session.history.append(*makeSnapshot(at, keyword, items, figures(search), std::nullopt));
    bench.applySnapshot(session);

    ChangePanel panel(bench);
    EXPECT_EQ(panel.windowTitle(), u"自上次以来"_s);
    EXPECT_EQ(texts(panel.searchList()), QStringList{u"连衣裙    1000 → 1300    +30%"_s});
    EXPECT_EQ(texts(panel.itemsList()), QStringList{u"连衣裙    100 → 150    +50%"_s});
    EXPECT_EQ(texts(panel.offeredList()), (QStringList{u"短裙"_s, u"半身裙"_s}));
    panel.searchThreshold()->setValue(10);
    EXPECT_EQ(panel.searchList()->count(), 2);

    // One chosen word is added; the other stays offered, and is added next.
    panel.offeredList()->item(1)->setSelected(true);
    QTest::mouseClick(panel.addButton(), Qt::LeftButton);
    EXPECT_EQ(bench.results().row(3).keyword(), u"半身裙"_s);
    EXPECT_EQ(texts(panel.offeredList()), QStringList{u"短裙"_s});
    EXPECT_EQ(bench.offeredWords(), (std::vector<QString>{u"短裙"_s}));
    QTest::mouseClick(panel.addButton(), Qt::LeftButton);
    EXPECT_EQ(bench.results().row(4).keyword(), u"短裙"_s);
    EXPECT_EQ(panel.offeredList()->count(), 0);
    EXPECT_FALSE(panel.addButton()->isEnabled());
    EXPECT_TRUE(bench.snapshot().state.offeredWords.empty());
}

} // namespace
} // namespace quilla
