#include "export/csv_export.h"
#include "support/export_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::entriesIn;
using test::fileBytes;
using test::TmpfsMount;

const QString failurePrefix = u"导出失败："_s;

class ExportFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        test::appendRows(table, {{u"关键词"_s, u"宝贝数"_s}, {u"连衣裙"_s, u"1,234"_s}});
    }

    // A folder of its own below the temporary one, for a mount to cover.
    QString subfolder() {
        const QString path = dir.filePath(u"mnt"_s);
        return QDir().mkdir(path) ? path : QString();
    }

    void expectFailedLeavingNothing(const ExportOutcome& outcome, const QString& folder) {
        EXPECT_EQ(outcome.kind, ExportOutcome::Kind::Failed);
        EXPECT_FALSE(outcome.reason.isEmpty());
        EXPECT_TRUE(exportMessage(outcome).startsWith(failurePrefix));
        EXPECT_GT(exportMessage(outcome).size(), failurePrefix.size());
        EXPECT_EQ(entriesIn(folder), QStringList());
    }

    QTemporaryDir dir;
    RowList table;
    std::unique_ptr<TmpfsMount> mount; // torn down before `dir`
};

TEST_F(ExportFailureTest, MissingFolder) {
    const auto outcome = exportTable(table, u"k"_s, dir.filePath(u"absent"_s));
    EXPECT_EQ(outcome.kind, ExportOutcome::Kind::Failed);
    EXPECT_TRUE(exportMessage(outcome).startsWith(failurePrefix));
    EXPECT_EQ(entriesIn(dir.path()), QStringList());
}

TEST_F(ExportFailureTest, NameTooLongForTheFileSystem) {
    // 100 Chinese characters are 300 bytes of UTF-8, past the usual 255.
    const QString keyword = QString(100, QChar(u'裙'));
    expectFailedLeavingNothing(exportTable(table, keyword, dir.path()), dir.path());
}

TEST_F(ExportFailureTest, FolderThatRefusesWrites) {
    const QString folder = subfolder();
    ASSERT_FALSE(folder.isEmpty());
    if (::geteuid() == 0) {
        // Root ignores permission bits; only a read-only file system truly refuses.
        mount = std::make_unique<TmpfsMount>(folder, u"size=64k"_s, true);
        if (!mount->mounted())
            GTEST_SKIP() << "cannot mount a read-only tmpfs: " << mount->reason().toStdString();
    } else {
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    }
    expectFailedLeavingNothing(exportTable(table, u"连衣裙"_s, folder), folder);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
}

TEST_F(ExportFailureTest, FullDiskLeavesNeitherFileNorTemporary) {
    const QString folder = subfolder();
    ASSERT_FALSE(folder.isEmpty());
    mount = std::make_unique<TmpfsMount>(folder, u"size=64k"_s, false);
    if (!mount->mounted())
        GTEST_SKIP() << "cannot mount a 64 KiB tmpfs: " << mount->reason().toStdString();
    for (int i = 0; i < 3000; ++i)
        table.append(Row{{u"连衣裙女夏季新款"_s + QString::number(i), u"12,345"_s}});
    ASSERT_GT(csvBytes(table).size(), 64 * 1024);
    expectFailedLeavingNothing(exportTable(table, u"连衣裙"_s, folder), folder);
}

TEST_F(ExportFailureTest, FileThatAppearsJustBeforeTheMoveIsNotReplaced) {
    for (const test::MoveWay way : test::allMoveWays) {
        SCOPED_TRACE(test::nameOf(way));
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const QString target = folder.filePath(u"连衣裙.csv"_s);
        NewFileOptions options = test::optionsFor(way);
        options.beforeMove = [&] { test::writeFileBytes(target, "intruder"); };
        const auto outcome = exportTable(table, u"连衣裙"_s, folder.path(), options);
        EXPECT_EQ(outcome.kind, ExportOutcome::Kind::Exists);
        EXPECT_EQ(fileBytes(target), "intruder");
        EXPECT_EQ(entriesIn(folder.path()), QStringList{u"连衣裙.csv"_s});
    }
}

// Where neither the no-replace rename nor links exist, the copy still writes
// the whole file, still refuses an existing one, and a name the file system
// refuses is reported for what it is.
TEST_F(ExportFailureTest, EveryWayOfMovingWritesTheWholeFileAndRefusesAnExistingOne) {
    for (const test::MoveWay way : test::allMoveWays) {
        SCOPED_TRACE(test::nameOf(way));
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const auto written = exportTable(table, u"连衣裙"_s, folder.path(), test::optionsFor(way));
        EXPECT_EQ(written.kind, ExportOutcome::Kind::Written) << written.reason.toStdString();
        EXPECT_EQ(fileBytes(folder.filePath(u"连衣裙.csv"_s)), csvBytes(table));
        const auto again = exportTable(table, u"连衣裙"_s, folder.path(), test::optionsFor(way));
        EXPECT_EQ(again.kind, ExportOutcome::Kind::Exists);
        EXPECT_EQ(entriesIn(folder.path()), QStringList{u"连衣裙.csv"_s});

        const auto tooLong =
            exportTable(table, QString(100, QChar(u'裙')), folder.path(), test::optionsFor(way));
        EXPECT_EQ(tooLong.kind, ExportOutcome::Kind::Failed);
        EXPECT_EQ(tooLong.reason, qt_error_string(ENAMETOOLONG));
        EXPECT_EQ(entriesIn(folder.path()), QStringList{u"连衣裙.csv"_s});
    }
}

// The copy needs the room a second time: it fails midway on a full disk and
// takes back what it wrote, with the temporary file.
TEST_F(ExportFailureTest, ACopyThatFailsMidwayLeavesNothing) {
    const QString folder = subfolder();
    ASSERT_FALSE(folder.isEmpty());
    mount = std::make_unique<TmpfsMount>(folder, u"size=64k"_s, false);
    if (!mount->mounted())
        GTEST_SKIP() << "cannot mount a 64 KiB tmpfs: " << mount->reason().toStdString();
    for (int i = 0; i < 2400; ++i)
        table.append(Row{{u"连衣裙" + QString::number(i), u"12,345"_s}});
    const auto size = csvBytes(table).size();
    ASSERT_GT(size, 40 * 1024);
    ASSERT_LT(size, 56 * 1024);
    // One copy fits: by rename the export is written.
    ASSERT_EQ(exportTable(table, u"连衣裙"_s, folder).kind, ExportOutcome::Kind::Written);
    ASSERT_TRUE(QFile::remove(folder + u"/连衣裙.csv"_s));
    const auto outcome =
        exportTable(table, u"连衣裙"_s, folder, test::optionsFor(test::MoveWay::Copy));
    EXPECT_EQ(outcome.reason, qt_error_string(ENOSPC));
    expectFailedLeavingNothing(outcome, folder);
}

} // namespace
} // namespace quilla
