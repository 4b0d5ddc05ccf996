// No message the window shows holds a run: while any box waits for the user,
// a mining run and an index run both go on.

#include "app/main_window.h"

#include "support/app_dialogs.h"
#include "support/export_support.h"
#include "support/fake_fetcher.h"
#include "support/fake_opener.h"
#include "support/qstring_print.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;

struct BoxCase {
    const char* name;
    std::function<void(MainWindow&, const QString& folder)> prepare;
    const char* button;
    const char* message;
    int miningSteps; // at least this many mining steps while the box is up
};

void PrintTo(const BoxCase& c, std::ostream* os) {
    *os << c.name;
}

void setBox(MainWindow& w, const char* name, const QString& text) {
    w.findChild<QLineEdit*>(QString::fromLatin1(name))->setText(text);
}

const BoxCase boxCases[] = {
    {"export_written",
     {},
     "exportButton",
     "导出成功，你可在程序目录中找到该文件。文件名与关键词相同。",
     2},
    {"export_exists",
     [](MainWindow&, const QString& folder) {
         test::writeFileBytes(folder + u"/qq.csv"_s, "earlier");
     },
     "exportButton", "文件已存在，不能导出。如果想继续导出，请修改关键词的内容。", 2},
    {"export_bad_name", [](MainWindow& w, const QString&) { setBox(w, "keywordBox", u"a/b"_s); },
     "exportButton", "关键词不能用作文件名，请修改关键词的内容。", 2},
    {"export_failed",
     [](MainWindow& w, const QString&) { setBox(w, "keywordBox", QString(100, u'裙')); },
     "exportButton", "导出失败：File name too long", 2},
    {"empty_keyword", [](MainWindow& w, const QString&) { setBox(w, "keywordBox", {}); },
     "mineButton", "关键词不能为空", 2},
    // An empty quantity ends the mining run at the step the click waits for,
    // before the box: only the index run is left to go on.
    {"empty_quantity", [](MainWindow& w, const QString&) { setBox(w, "quantityBox", {}); },
     "mineButton", "请填写数量", 0},
    {"feedback",
     {},
     "feedbackButton",
     "请把您需要功能和遇到的问题反馈给我们，如果必要可以截图，谢谢！",
     2},
};

class RunsBehindABox : public ::testing::TestWithParam<BoxCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        previousFolder = QDir::currentPath();
        QDir::setCurrent(folder.path());
        window = std::make_unique<MainWindow>(shell, std::make_shared<test::FreshPagesFetcher>());
        window->show();
    }
    void TearDown() override {
        window.reset();
        QDir::setCurrent(previousFolder);
    }
    QPushButton* button(const char* name) {
        return window->findChild<QPushButton*>(QString::fromLatin1(name));
    }

    QTemporaryDir folder;
    QString previousFolder;
    test::FakeOpener shell;
    std::unique_ptr<MainWindow> window;
};

TEST_P(RunsBehindABox, BothRunsGoOnWhileTheBoxWaits) {
    const BoxCase& c = GetParam();
    setBox(*window, "quantityBox", u"100000"_s);
    setBox(*window, "intervalBox", u"50"_s);
    button("mineButton")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->workbench().results().count() > 3; }, 10000));
    button("indexButton")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->workbench().index().queryRow() > 1; }, 10000));
    if (c.prepare)
        c.prepare(*window, folder.path());

    QString shown;
    bool miningWent = false, indexWent = false;
    ASSERT_TRUE(test::clickAndAnswer(button(c.button), [&](QMessageBox& box) {
        shown = box.text();
        const auto mined = window->workbench().mining().miningRow();
        const auto queried = window->workbench().index().queryRow();
        miningWent = QTest::qWaitFor(
            [&] { return window->workbench().mining().miningRow() >= mined + c.miningSteps; },
            10000);
        indexWent = QTest::qWaitFor(
            [&] { return window->workbench().index().queryRow() >= queried + 2; }, 10000);
    }));
    EXPECT_EQ(shown, QString::fromUtf8(c.message));
    EXPECT_TRUE(miningWent);
    EXPECT_TRUE(indexWent);
}

INSTANTIATE_TEST_SUITE_P(EveryBox, RunsBehindABox, ::testing::ValuesIn(boxCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quilla
