#include "app/main_window.h"

#include "app/controls.h"
#include "app/keyword_list_view.h"
#include "support/app_dialogs.h"
#include "support/fake_fetcher.h"
#include "support/fake_opener.h"

#include <QAbstractButton>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>

#include "support/wait.h"
#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;

class MainWindowTest : public ::testing::Test {
protected:
    template <typename T = QWidget> T* control(const char* name) {
        return window.findChild<T*>(QString::fromLatin1(name));
    }
    QString text(const char* box) { return control<QLineEdit>(box)->text(); }

    test::FakeOpener shell;
    std::shared_ptr<test::FakePageFetcher> fetcher = std::make_shared<test::FakePageFetcher>();
    MainWindow window{shell, fetcher};
};

TEST_F(MainWindowTest, StartsWithItsValues) {
    EXPECT_EQ(window.windowTitle(),
              QString::fromUtf8("Quilla淘宝指数批量查询工具 v1.0  by:tarnick"));
    EXPECT_EQ(window.objectName(), QStringLiteral("mainWindow"));
    EXPECT_EQ(text("keywordBox"), QStringLiteral("qq"));
    EXPECT_EQ(text("includeBox"), QString());
    EXPECT_EQ(text("excludeBox"), QString());
    EXPECT_EQ(text("quantityBox"), QStringLiteral("3"));
    EXPECT_EQ(text("intervalBox"), QStringLiteral("6000"));
    ASSERT_EQ(window.workbench().candidates().count(), 1);
    EXPECT_EQ(window.workbench().candidates().rowText(0), QString::fromUtf8("关键词,宝贝数"));
    EXPECT_EQ(window.workbench().results().count(), 0);
    EXPECT_EQ(window.workbench().mining().miningRow(), 0);
    EXPECT_EQ(window.workbench().index().queryRow(), 0);
    EXPECT_EQ(window.workbench().index().queriesSinceLongWait(), 0);
    EXPECT_EQ(window.workbench().miningTimer().interval(), 0);
    EXPECT_EQ(window.workbench().indexTimer().interval(), 0);
    EXPECT_FALSE(window.workbench().miningTimer().isActive());
    EXPECT_FALSE(window.workbench().indexTimer().isActive());
    EXPECT_TRUE(shell.opened.isEmpty());
    const QIcon icon = window.windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.availableSizes(), QList<QSize>{QSize(32, 32)});
}

TEST_F(MainWindowTest, EveryControlSitsWhereItBelongs) {
    window.show();
    EXPECT_EQ(window.size(), QSize(1027, 736));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    // Independent of the layout table: left, top, width, height in pixels.
    const struct {
        const char* name;
        QRect place;
        const char* caption;
    } expected[] = {
        {"keywordLabel", {16, 16, 41, 17}, "关键词"},
        {"keywordBox", {56, 8, 97, 25}, nullptr},
        {"includeLabel", {160, 16, 49, 17}, "包含："},
        {"includeBox", {200, 8, 65, 25}, nullptr},
        {"excludeLabel", {272, 16, 41, 17}, "排除："},
        {"excludeBox", {312, 8, 65, 26}, nullptr},
        {"quantityLabel", {384, 16, 41, 17}, "数量："},
        {"quantityBox", {424, 8, 65, 26}, nullptr},
        {"mineButton", {512, 8, 81, 33}, "挖词"},
        {"stopButton", {600, 8, 73, 33}, "停止"},
        {"indexButton", {696, 8, 81, 33}, "指数"},
        {"intervalLabel", {784, 16, 41, 17}, "间隔："},
        {"intervalBox", {824, 8, 81, 25}, nullptr},
        {"exportButton", {912, 8, 105, 33}, "导出"},
        {"feedbackButton", {912, 56, 105, 33}, "问题反馈"},
        {"homePageButton", {912, 104, 105, 33}, "by:tarnick"},
        {"resultTable", {8, 48, 889, 256}, nullptr},
        {"candidateList", {904, 152, 113, 148}, nullptr},
        {"browser", {8, 312, 1009, 393}, nullptr},
    };
    for (const auto& e : expected) {
        QWidget* w = control(e.name);
        ASSERT_NE(w, nullptr) << e.name;
        EXPECT_EQ(w->geometry(), e.place) << e.name;
        if (!e.caption)
            continue;
        const QString caption = QString::fromUtf8(e.caption);
        if (auto* label = qobject_cast<QLabel*>(w))
            EXPECT_EQ(label->text(), caption) << e.name;
        else if (auto* button = qobject_cast<QPushButton*>(w)) {
            EXPECT_EQ(button->text(), caption) << e.name;
            EXPECT_FALSE(button->isDefault()) << e.name;
            EXPECT_FALSE(button->autoDefault()) << e.name;
        } else
            ADD_FAILURE() << e.name << " has a caption but is neither label nor button";
    }
    EXPECT_NE(qobject_cast<QWebEngineView*>(control("browser")), nullptr);
    // The candidate list is one column of rows, without headers.
    auto* list = qobject_cast<KeywordListView*>(control("candidateList"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->model()->columnCount(), 1);
    EXPECT_FALSE(list->horizontalHeader()->isVisible());
    EXPECT_FALSE(list->verticalHeader()->isVisible());
}

TEST_F(MainWindowTest, FocusWalksTheControlsInOrder) {
    const char* order[] = {"browser",        "mineButton",    "keywordBox",  "candidateList",
                           "includeBox",     "excludeBox",    "quantityBox", "resultTable",
                           "indexButton",    "stopButton",    "intervalBox", "exportButton",
                           "feedbackButton", "homePageButton"};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget* from = control(order[i]);
        QWidget* next = from->nextInFocusChain();
        // Skip what never takes the keyboard focus (labels, inner widgets of the browser).
        while (next && next != control(order[i + 1]) &&
               (next->focusPolicy() == Qt::NoFocus || from->isAncestorOf(next)))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, control(order[i + 1])) << order[i] << " → " << order[i + 1];
    }
    for (const char* label :
         {"keywordLabel", "includeLabel", "excludeLabel", "quantityLabel", "intervalLabel"})
        EXPECT_EQ(control(label)->focusPolicy(), Qt::NoFocus) << label;
}

TEST_F(MainWindowTest, StopWithoutARunChangesNothing) {
    const auto before = window.workbench().candidates().rowText(0);
    control<QPushButton>("stopButton")->click();
    EXPECT_EQ(window.workbench().candidates().count(), 1);
    EXPECT_EQ(window.workbench().candidates().rowText(0), before);
    EXPECT_EQ(window.workbench().results().count(), 0);
    EXPECT_EQ(window.workbench().mining().miningRow(), 0);
    EXPECT_EQ(window.workbench().miningTimer().interval(), 0);
    EXPECT_EQ(window.workbench().indexTimer().interval(), 0);
    EXPECT_EQ(text("keywordBox"), QStringLiteral("qq"));
}

TEST_F(MainWindowTest, FeedbackShowsItsMessageBeforeTheContactLink) {
    QString shownText, shownCaption;
    QStringList openedWhileShown;
    bool noIcon = false;
    QList<QAbstractButton*> buttons;
    ASSERT_TRUE(test::clickAndAnswer(control<QPushButton>("feedbackButton"), [&](QMessageBox& box) {
        shownText = box.text();
        shownCaption = box.windowTitle();
        noIcon = box.icon() == QMessageBox::NoIcon;
        buttons = box.buttons();
        openedWhileShown = shell.opened;
        EXPECT_TRUE(box.isModal());
    }));
    ASSERT_EVENTUALLY((shell.opened.size()) == (1), 5000);
    EXPECT_EQ(shownText,
              QString::fromUtf8("请把您需要功能和遇到的问题反馈给我们，如果必要可以截图，谢谢！"));
    EXPECT_EQ(shownCaption, QStringLiteral("Quilla"));
    EXPECT_TRUE(noIcon);
    EXPECT_EQ(buttons.size(), 1);
    EXPECT_TRUE(openedWhileShown.isEmpty());
    EXPECT_EQ(shell.opened, QStringList{links::contactLink()});
}

TEST_F(MainWindowTest, AMiningRunGoesOnBehindAMessageBox) {
    control<QPushButton>("mineButton")->click();
    ASSERT_EQ(window.workbench().mining().miningRow(), 1);
    std::int32_t miningRowWhileShown = -1;
    ASSERT_TRUE(test::clickAndAnswer(control<QPushButton>("feedbackButton"), [&](QMessageBox&) {
        ASSERT_EVENTUALLY(window.workbench().mining().miningRow() > 1, 5000);
        miningRowWhileShown = window.workbench().mining().miningRow();
    }));
    EXPECT_GT(miningRowWhileShown, 1);
    EXPECT_EQ(fetcher->asked().value(0).section(u'=', -1), QStringLiteral("qq"));
}

// However long a word a page offers, the lists draw the same short start.
TEST_F(MainWindowTest, ARowOfTenMillionCharactersDrawsItsStart) {
    window.show();
    window.workbench().candidates().append(
        Row{{QString(10'000'000, u'词'), QStringLiteral("未找到")}});
    auto* view = control<QAbstractItemView>("candidateList");
    view->grab(); // paints the list with the row in it
    const QString shown = view->model()->index(1, 0).data().toString();
    EXPECT_EQ(shown, QString(RowList::shownLength, u'词') + u'…');
    EXPECT_EQ(view->model()->index(1, 0).data(Qt::ToolTipRole).toString().size(), 10'000'004);
}

TEST_F(MainWindowTest, HomePageButtonOpensTheHomePage) {
    control<QPushButton>("homePageButton")->click();
    EXPECT_EQ(shell.opened, QStringList{links::homePage()});
}

TEST_F(MainWindowTest, ClosingOpensThePromotionLinkAndCloses) {
    window.show();
    EXPECT_TRUE(window.close());
    EXPECT_EQ(shell.opened, QStringList{links::promotionLink()});
    EXPECT_FALSE(window.isVisible());
}

// Rows that no project holds are not thrown away by a close: the user
// saves them (a name without a suffix gets ".quilla"), throws them away, or
// stays.
TEST_F(MainWindowTest, ClosingWithUnsavedRowsAsksFirst) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    struct Case {
        const char* what;
        QMessageBox::StandardButton answer;
        QString savedAs; // typed into the save dialog
        bool closes;
        QString file; // there afterwards
    };
    const Case cases[] = {
        {"cancel", QMessageBox::Cancel, {}, false, {}},
        {"discard", QMessageBox::Discard, {}, true, {}},
        {"save, no suffix typed", QMessageBox::Save, folder.filePath(u"proj1"_s), true,
         folder.filePath(u"proj1.quilla"_s)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::FakeOpener shell;
        MainWindow w(shell, std::make_shared<test::FakePageFetcher>());
        w.show();
        w.workbench().addKeywords(QString::fromUtf8("连衣裙"));
        QStringList captions;
        bool saveIsDefault = false, cancelOnEscape = false;
        QKeySequence discardKeys;
        test::answerNextMessageBox(
            [&](QMessageBox& box) {
                for (auto b : {QMessageBox::Save, QMessageBox::Discard, QMessageBox::Cancel})
                    captions.append(box.button(b)->text());
                saveIsDefault = box.defaultButton() == box.button(QMessageBox::Save);
                cancelOnEscape = box.escapeButton() == box.button(QMessageBox::Cancel);
                discardKeys = box.button(QMessageBox::Discard)->shortcut();
                if (!c.savedAs.isEmpty())
                    test::answerNextFileDialog(c.savedAs);
            },
            400, c.answer);
        EXPECT_EQ(w.close(), c.closes);
        EXPECT_EQ(captions, (QStringList{QString::fromUtf8("保存"), QString::fromUtf8("不保存"),
                                         QString::fromUtf8("取消")}));
        EXPECT_TRUE(saveIsDefault);
        EXPECT_TRUE(cancelOnEscape);
        EXPECT_EQ(discardKeys, QKeySequence(Qt::ALT | Qt::Key_N));
        EXPECT_EQ(w.isVisible(), !c.closes);
        EXPECT_EQ(shell.opened.size(), c.closes ? 1 : 0);
        if (!c.file.isEmpty()) {
            EXPECT_TRUE(QFile::exists(c.file));
            EXPECT_EQ(w.workbench().projectPath(), c.file);
            EXPECT_FALSE(w.workbench().unsaved());
        }
    }
}

} // namespace
} // namespace quilla
