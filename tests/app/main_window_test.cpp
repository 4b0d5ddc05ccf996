#include "app/main_window.h"

#include "app/controls.h"
#include "app/keyword_list_view.h"
#include "app/qt_texts.h"
#include "app/result_table.h"
#include "session/project_file.h"
#include "support/app_dialogs.h"
#include "support/fake_fetcher.h"
#include "support/fake_opener.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QUrl>
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
    // It may grow, never shrink below its first size.
    EXPECT_EQ(window.minimumSize(), QSize(1027, 736));
    EXPECT_GT(window.maximumSize().width(), 1027);
    EXPECT_GT(window.maximumSize().height(), 736);
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
        {"statusLine", {8, 708, 941, 28}, nullptr},
        {"moreButton", {957, 709, 60, 26}, "更多"},
        {"splitter", {8, 304, 1009, 8}, nullptr},
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

// On a larger screen the result table takes the extra width and height, the
// candidate list the height beside it, the browser the rest; the splitter
// trades the table's height for the browser's, and both keep a usable height.
TEST_F(MainWindowTest, ALargerWindowGivesTheTableTheRoom) {
    window.show();
    window.resize(1366 + 300, 736 + 200);
    struct Case {
        const char* what;
        int drag; // the splitter dragged by this many pixels
        std::vector<std::pair<const char*, QRect>> places;
    };
    const Case cases[] = {
        {"grown",
         0,
         {{"keywordBox", {56, 8, 97, 25}},
          {"intervalBox", {824, 8, 81, 25}},
          {"exportButton", {912 + 639, 8, 105, 33}},
          {"homePageButton", {912 + 639, 104, 105, 33}},
          {"resultTable", {8, 48, 889 + 639, 256 + 200}},
          {"candidateList", {904 + 639, 152, 113, 148 + 200}},
          {"splitter", {8, 504, 1009 + 639, 8}},
          {"browser", {8, 512, 1009 + 639, 393}},
          {"statusLine", {8, 908, 941 + 639, 28}},
          {"moreButton", {957 + 639, 909, 60, 26}}}},
        {"splitter dragged up by 100",
         -100,
         {{"resultTable", {8, 48, 1528, 356}},
          {"candidateList", {1543, 152, 113, 248}},
          {"browser", {8, 412, 1648, 493}}}},
        {"dragged far up: the table keeps 150",
         -1000,
         {{"resultTable", {8, 48, 1528, 150}}, {"browser", {8, 206, 1648, 699}}}},
        {"dragged far down: the browser keeps 80",
         +2000,
         {{"resultTable", {8, 48, 1528, 769}}, {"browser", {8, 825, 1648, 80}}}},
    };
    auto* splitter = control("splitter");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.drag != 0) {
            const QPoint from = splitter->rect().center();
            QTest::mousePress(splitter, Qt::LeftButton, {}, from);
            QMouseEvent move(QEvent::MouseMove, QPointF(from + QPoint(0, c.drag)),
                             QPointF(splitter->mapToGlobal(from + QPoint(0, c.drag))), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(splitter, &move);
            QTest::mouseRelease(splitter, Qt::LeftButton, {}, from + QPoint(0, c.drag));
        }
        for (const auto& [name, place] : c.places)
            EXPECT_EQ(control(name)->geometry(), place) << name;
    }
}

// "更多" holds every command the context menu and the window's shortcuts
// offer, with the same shortcut, so that none is found only by knowing it.
TEST_F(MainWindowTest, TheMenuHoldsEveryCommand) {
    const auto walk = [](const QList<QAction*>& actions) {
        QList<QAction*> all;
        const auto add = [&all](const auto& self, const QList<QAction*>& from) -> void {
            for (QAction* a : from) {
                if (a->isSeparator())
                    continue;
                if (a->menu())
                    self(self, a->menu()->actions());
                all.append(a);
            }
        };
        add(add, actions);
        return all;
    };
    auto* more = control<QPushButton>("moreButton");
    ASSERT_NE(more->menu(), nullptr);
    EXPECT_EQ(more->menu(), window.moreMenu());
    const QList<QAction*> inMenu = walk(more->menu()->actions());
    QStringList captions;
    for (QAction* a : inMenu)
        captions.append(a->text());

    auto* table = control<ResultTableView>("resultTable");
    QList<QAction*> offered = walk(table->menu()->actions());
    for (QAction* a : window.actions())
        if (!a->shortcut().isEmpty())
            offered.append(a);
    ASSERT_FALSE(offered.isEmpty());
    for (QAction* a : offered) {
        EXPECT_TRUE(inMenu.contains(a)) << a->text().toStdString() << " is not in 更多";
    }
    // The commands the seller looks for, by their captions and shortcuts.
    const struct {
        const char* caption;
        QKeySequence keys;
    } expected[] = {
        {"导入关键词…", {}},
        {"粘贴关键词", QKeySequence::Paste},
        {"复制", QKeySequence::Copy},
        {"删除", QKeySequence::Delete},
        {"全选", QKeySequence::SelectAll},
        {"查宝贝数", QKeySequence(Qt::CTRL | Qt::Key_B)},
        {"重查空行", {}},
        {"重查失败的词", {}},
        {"继续", QKeySequence(Qt::Key_F5)},
        {"导出 Excel", QKeySequence(Qt::CTRL | Qt::Key_E)},
        {"图表", QKeySequence(Qt::CTRL | Qt::Key_G)},
        {"打开项目…", QKeySequence::Open},
        {"保存项目", QKeySequence::Save},
        {"另存为…", QKeySequence::SaveAs},
        {"最近的项目", {}},
        {"打开导出文件夹", {}},
    };
    for (const auto& e : expected) {
        const QString caption = QString::fromUtf8(e.caption);
        const auto at = std::find_if(inMenu.begin(), inMenu.end(),
                                     [&](QAction* a) { return a->text() == caption; });
        ASSERT_NE(at, inMenu.end()) << e.caption;
        EXPECT_EQ((*at)->shortcut(), e.keys) << e.caption;
    }
    // The table's context menu offers copy, delete and select all too.
    QStringList tableCaptions;
    for (QAction* a : walk(table->menu()->actions()))
        tableCaptions.append(a->text());
    for (const char* c : {"复制", "删除", "全选"})
        EXPECT_TRUE(tableCaptions.contains(QString::fromUtf8(c))) << c;
}

// The window's size, the splitter, the dialogs' folders and the last five
// projects come back in the next window; a closed window writes them.
TEST_F(MainWindowTest, SettingsComeBackInTheNextWindow) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QSettings kept(folder.filePath(u"kept.ini"_s), QSettings::IniFormat);
    QStringList projects;
    {
        test::FakeOpener shell;
        MainWindow first(shell, std::make_shared<test::FakePageFetcher>());
        first.rememberIn(&kept);
        first.show();
        first.resize(1200, 800);
        for (int i = 0; i < 7; ++i) {
            const QString path = folder.filePath(u"p%1.quilla"_s.arg(i));
            ASSERT_EQ(first.workbench().saveProject(path, false).kind,
                      NewFileResult::Kind::Written);
            projects.prepend(path);
        }
        auto* splitter = first.findChild<QWidget*>(u"splitter"_s);
        QTest::mousePress(splitter, Qt::LeftButton, {}, {5, 4});
        QMouseEvent move(QEvent::MouseMove, QPointF(5, -36), splitter->mapToGlobal(QPointF(5, -36)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(splitter, &move);
        QTest::mouseRelease(splitter, Qt::LeftButton, {}, {5, -36});
        EXPECT_TRUE(first.close());
    }
    test::FakeOpener shell;
    MainWindow next(shell, std::make_shared<test::FakePageFetcher>());
    next.rememberIn(&kept);
    next.show();
    EXPECT_EQ(next.size(), QSize(1200, 800));
    // 64 rows taller, less the 40 the drag gave the browser.
    EXPECT_EQ(next.findChild<QWidget*>(u"resultTable"_s)->height(), 256 + 64 - 40);
    EXPECT_EQ(next.recentProjects(), projects.mid(0, 5));
    QMenu* recent = nullptr;
    for (QAction* a : next.moreMenu()->actions())
        if (a->menu())
            recent = a->menu();
    ASSERT_NE(recent, nullptr);
    ASSERT_EQ(recent->actions().size(), 5);
    EXPECT_EQ(recent->actions().first()->text(), QDir::toNativeSeparators(projects.first()));
}

// "打开导出文件夹" opens the folder the last export went to.
TEST_F(MainWindowTest, TheExportFolderOpensWhereTheFileWent) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    window.workbench().addKeywords(u"abc"_s);
    window.workbench().exportCsv(folder.path());
    ASSERT_FALSE(window.workbench().lastExportPath().isEmpty());
    window.openExportFolder();
    EXPECT_EQ(shell.opened, QStringList{QUrl::fromLocalFile(folder.path()).toString()});
}

// A new run keeps the chosen sort and brings the sorted column's header,
// with its arrow, into view, even when the seller had scrolled away from it.
TEST_F(MainWindowTest, ANewRunShowsTheSortedColumn) {
    window.show();
    window.workbench().addKeywords(u"a\nb\nc"_s);
    auto* table = control<ResultTableView>("resultTable");
    QHeaderView* header = table->horizontalHeader();
    const int last = table->model()->columnCount() - 1;
    ASSERT_EQ(table->model()->headerData(last, Qt::Horizontal).toString(), u"宝贝变化"_s);
    const auto inView = [&] {
        const int left = header->sectionViewportPosition(last);
        return left >= 0 && left + header->sectionSize(last) <= table->viewport()->width();
    };
    for (const char* start : {"mineButton", "indexButton"}) {
        SCOPED_TRACE(start);
        table->scrollTo(table->model()->index(0, last));
        header->resizeSection(last, 60);
        header->setSortIndicatorShown(false);
        if (window.workbench().order().sorting() == std::nullopt)
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(last) + 5, 5));
        ASSERT_EQ(window.workbench().order().sorting()->first, last);
        table->horizontalScrollBar()->setValue(0);
        ASSERT_FALSE(inView()) << "the table is wide enough to hide the column";
        control<QPushButton>(start)->click();
        control<QPushButton>("stopButton")->click();
        EXPECT_EQ(window.workbench().order().sorting()->first, last);
        EXPECT_TRUE(header->isSortIndicatorShown());
        EXPECT_EQ(header->sortIndicatorSection(), last);
        EXPECT_TRUE(inView());
    }
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

// Qt's own texts (file dialogs, standard buttons) come in the desktop's
// language when Qt has a translation for it, and stay English otherwise.
TEST(QtTexts, FollowTheDesktopsLanguage) {
    struct {
        QLocale locale;
        bool loaded;
        const char* lookIn; // the file dialog's folder caption
    } const cases[] = {
        {QLocale(QLocale::Chinese, QLocale::China), true, "查找范围："},
        {QLocale(QLocale::English, QLocale::UnitedStates), false,
         "Look in:"}, // nothing to translate
        {QLocale(QLocale::Swahili, QLocale::Kenya), false, "Look in:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString());
        QTranslator translator; // takes itself out again when it goes
        EXPECT_EQ(speakTheLanguageOf(c.locale, translator), c.loaded);
        EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"),
                  QString::fromUtf8(c.lookIn));
    }
}

} // namespace
} // namespace quilla
