// Seed keywords that make odd file names, and file systems that fight back:
// the export writes the whole file under the keyword's name inside the folder,
// or says why not and leaves the folder as it was.

#include "export/csv_export.h"
#include "support/export_support.h"
#include "support/qstring_print.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <ostream>

#include <sys/mount.h>
#include <unistd.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using Kind = ExportOutcome::Kind;
using test::entriesIn;
using test::fileBytes;
using test::TmpfsMount;

const QString failurePrefix = u"导出失败："_s;

RowList& sampleTable() {
    static RowList table;
    if (table.count() == 0)
        test::appendRows(table, {{u"关键词"_s, u"宝贝数"_s}, {u"连衣裙"_s, u"1,234"_s}});
    return table;
}

// Names the file system takes as they are: each lands in the folder itself.
struct NameCase {
    const char* name;
    QString keyword;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

class OddNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(OddNames, AreWrittenInsideTheFolder) {
    QTemporaryDir parent;
    ASSERT_TRUE(parent.isValid());
    const QString folder = parent.filePath(u"out"_s);
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString keyword = GetParam().keyword;
    const ExportOutcome outcome = exportTable(sampleTable(), keyword, folder);
    ASSERT_EQ(outcome.kind, Kind::Written) << outcome.reason.toStdString();
    EXPECT_EQ(entriesIn(folder), QStringList{keyword + u".csv"});
    EXPECT_EQ(fileBytes(QDir(folder).filePath(keyword + u".csv")), csvBytes(sampleTable()));
    EXPECT_EQ(entriesIn(parent.path()), QStringList{u"out"_s});
    // And a second time it is there already.
    EXPECT_EQ(exportTable(sampleTable(), keyword, folder).kind, Kind::Exists);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OddNames,
    ::testing::Values(NameCase{"dot_dot", u".."_s}, NameCase{"dot", u"."_s},
                      NameCase{"dots_inside", u"a..b"_s}, NameCase{"one_space", u" "_s},
                      NameCase{"leading_dash", u"-rf"_s}, NameCase{"emoji", u"😀"_s},
                      NameCase{"emoji_joined", u"👨‍👩‍👧连衣裙"_s},
                      NameCase{"quotes_and_signs", u"\"a\" & 'b' #%+?*"_s},
                      NameCase{"line_break", u"a\nb"_s},
                      NameCase{"like_the_temporary_files", u".quilla-0.tmp"_s},
                      // 251 bytes and ".csv": the longest name there is.
                      NameCase{"longest_ascii", QString(251, u'k')},
                      NameCase{"longest_chinese", QString(83, u'裙') + u"kk"_s},
                      NameCase{"longest_emoji", u"😀"_s.repeated(62) + u"kkk"_s}),
    [](const auto& info) { return std::string(info.param.name); });

// One byte past the longest name, however the characters are made up.
TEST(TooLongNames, FailWithTheSystemsReasonAndLeaveNothing) {
    const QString keywords[] = {QString(252, u'k'), QString(84, u'裙'), u"😀"_s.repeated(63),
                                QString(10000, u'裙')};
    const QString reason = qt_error_string(ENAMETOOLONG);
    for (const QString& keyword : keywords) {
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const ExportOutcome outcome = exportTable(sampleTable(), keyword, folder.path());
        EXPECT_EQ(outcome.kind, Kind::Failed) << keyword.size();
        EXPECT_EQ(exportMessage(outcome), failurePrefix + reason) << keyword.size();
        EXPECT_EQ(entriesIn(folder.path()), QStringList()) << keyword.size();
    }
}

TEST(BadFolders, ThatAreNoFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(u"plain.txt"_s);
    ASSERT_TRUE(test::writeFileBytes(file, "x"));
    const struct {
        QString folder;
        int error;
    } cases[] = {{file, ENOTDIR}, {dir.filePath(u"absent/deeper"_s), ENOENT}};
    for (const auto& c : cases) {
        const ExportOutcome outcome = exportTable(sampleTable(), u"k"_s, c.folder);
        EXPECT_EQ(exportMessage(outcome), failurePrefix + qt_error_string(c.error))
            << c.folder.toStdString();
    }
    EXPECT_EQ(fileBytes(file), "x");
    EXPECT_EQ(entriesIn(dir.path()), QStringList{u"plain.txt"_s});
}

// A small tmpfs over a folder of its own; skips the test where mounting is
// not allowed.
class SmallDisk : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.filePath(u"mnt"_s);
        ASSERT_TRUE(QDir().mkdir(folder));
    }
    bool mount(const QString& options, bool readOnly = false) {
        disk = std::make_unique<TmpfsMount>(folder, options, readOnly);
        return disk->mounted();
    }

    QTemporaryDir dir;
    QString folder;
    std::unique_ptr<TmpfsMount> disk; // unmounted before `dir` goes
};

TEST_F(SmallDisk, AlreadyFullRefusesEvenASmallTable) {
    if (!mount(u"size=64k"_s))
        GTEST_SKIP() << "cannot mount a tmpfs: " << disk->reason().toStdString();
    // Fill it up with a file of its own.
    const QString filler = QDir(folder).filePath(u"filler"_s);
    {
        QFile file(filler);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'f');
        for (int i = 0; i < 64 && file.write(block) == block.size(); ++i) {
        }
    }
    const QByteArray fillerBytes = fileBytes(filler);
    const ExportOutcome outcome = exportTable(sampleTable(), u"连衣裙"_s, folder);
    EXPECT_EQ(exportMessage(outcome), failurePrefix + qt_error_string(ENOSPC));
    EXPECT_EQ(entriesIn(folder), QStringList{u"filler"_s});
    EXPECT_EQ(fileBytes(filler), fillerBytes);
}

TEST_F(SmallDisk, NoEntryLeftForTheTemporaryFile) {
    // The folder itself takes the one inode.
    if (!mount(u"size=64k,nr_inodes=1"_s))
        GTEST_SKIP() << "cannot mount a tmpfs: " << disk->reason().toStdString();
    const ExportOutcome outcome = exportTable(sampleTable(), u"连衣裙"_s, folder);
    EXPECT_EQ(exportMessage(outcome), failurePrefix + qt_error_string(ENOSPC));
    EXPECT_EQ(entriesIn(folder), QStringList());
}

TEST_F(SmallDisk, ATableThatFitsIsWrittenWhole) {
    if (!mount(u"size=64k"_s))
        GTEST_SKIP() << "cannot mount a tmpfs: " << disk->reason().toStdString();
    RowList table;
    for (int i = 0; i < 1000; ++i)
        table.append(Row{{u"连衣裙"_s + QString::number(i), u"12,345"_s}});
    ASSERT_GT(csvBytes(table).size(), 16 * 1024);
    ASSERT_LT(csvBytes(table).size(), 48 * 1024);
    const ExportOutcome outcome = exportTable(table, u"连衣裙"_s, folder);
    ASSERT_EQ(outcome.kind, Kind::Written) << outcome.reason.toStdString();
    EXPECT_EQ(fileBytes(QDir(folder).filePath(u"连衣裙.csv"_s)), csvBytes(table));
    EXPECT_EQ(entriesIn(folder), QStringList{u"连衣裙.csv"_s});
}

// A folder that turned read-only after an earlier export: that keyword's file
// is reported as there, any other fails with the system's reason.
TEST_F(SmallDisk, ReadOnlyAfterAnExport) {
    if (!mount(u"size=64k"_s))
        GTEST_SKIP() << "cannot mount a tmpfs: " << disk->reason().toStdString();
    ASSERT_EQ(exportTable(sampleTable(), u"连衣裙"_s, folder).kind, Kind::Written);
    const QByteArray folderName = QFile::encodeName(folder);
    if (::mount(nullptr, folderName.constData(), nullptr,
                MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) != 0)
        GTEST_SKIP() << "cannot remount read-only: " << qt_error_string(errno).toStdString();
    EXPECT_EQ(exportTable(sampleTable(), u"连衣裙"_s, folder).kind, Kind::Exists);
    EXPECT_EQ(exportMessage(exportTable(sampleTable(), u"半身裙"_s, folder)),
              failurePrefix + qt_error_string(EROFS));
    EXPECT_EQ(entriesIn(folder), QStringList{u"连衣裙.csv"_s});
    EXPECT_EQ(fileBytes(QDir(folder).filePath(u"连衣裙.csv"_s)), csvBytes(sampleTable()));
}

// Something of the export's name appears after the existence check, just
// before the move: it stays as it was, whatever it is, and nothing is written
// through it.
struct IntruderCase {
    const char* name;
    std::function<bool(const QString& target, const QString& elsewhere)> make;
    std::function<bool(const QString& target, const QString& elsewhere)> intact;
};

void PrintTo(const IntruderCase& c, std::ostream* os) {
    *os << c.name;
}

class Intruders : public ::testing::TestWithParam<std::tuple<IntruderCase, test::MoveWay>> {};

TEST_P(Intruders, AreNeitherReplacedNorWrittenThrough) {
    const auto& [c, way] = GetParam();
    QTemporaryDir folder, other;
    ASSERT_TRUE(folder.isValid() && other.isValid());
    const QString target = folder.filePath(u"连衣裙.csv"_s);
    const QString elsewhere = other.filePath(u"victim.txt"_s);
    ASSERT_TRUE(test::writeFileBytes(elsewhere, "victim"));
    bool made = false;
    NewFileOptions options = test::optionsFor(way);
    options.beforeMove = [&] { made = c.make(target, elsewhere); };
    const ExportOutcome outcome = exportTable(sampleTable(), u"连衣裙"_s, folder.path(), options);
    ASSERT_TRUE(made);
    EXPECT_EQ(outcome.kind, Kind::Exists);
    EXPECT_TRUE(c.intact(target, elsewhere));
    EXPECT_EQ(fileBytes(elsewhere), "victim");
    EXPECT_EQ(entriesIn(folder.path()), QStringList{u"连衣裙.csv"_s});
    EXPECT_EQ(entriesIn(other.path()), QStringList{u"victim.txt"_s});
}

const IntruderCase intruders[] = {
    {"folder", [](const QString& t, const QString&) { return QDir().mkdir(t); },
     [](const QString& t, const QString&) {
         return QFileInfo(t).isDir() && entriesIn(t).isEmpty();
     }},
    {"link_to_a_file_elsewhere",
     [](const QString& t, const QString& e) { return QFile::link(e, t); },
     [](const QString& t, const QString& e) {
         return QFileInfo(t).isSymLink() && QFileInfo(t).symLinkTarget() == e;
     }},
    {"dangling_link",
     [](const QString& t, const QString& e) { return QFile::link(e + u".none", t); },
     [](const QString& t, const QString& e) {
         return QFileInfo(t).isSymLink() && !QFileInfo::exists(e + u".none");
     }},
    {"empty_file", [](const QString& t, const QString&) { return test::writeFileBytes(t, {}); },
     [](const QString& t, const QString&) {
         return QFileInfo(t).isFile() && QFileInfo(t).size() == 0;
     }},
};

INSTANTIATE_TEST_SUITE_P(Moves, Intruders,
                         ::testing::Combine(::testing::ValuesIn(intruders),
                                            ::testing::ValuesIn(test::allMoveWays)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    test::nameOf(std::get<1>(info.param));
                         });

} // namespace
} // namespace quilla
