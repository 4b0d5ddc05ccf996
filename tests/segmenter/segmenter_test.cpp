// The segmenter: the same words as the reference segmenter (python3-jieba,
// without its hidden-Markov step) on keywords without Latin letters, the
// rules it adds (ASCII runs, separators, case) and user words.

#include "fake_market/market_data.h"
#include "segmenter/segmenter.h"
#include "support/qstring_print.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

QStringList words(const char* joined) {
    return u8(joined).split(u'|', Qt::SkipEmptyParts);
}

// Keywords across clothing, electronics, home, food and cosmetics: every
// product alone, with each modifier before and after it, and with pairs.
QStringList madeUpKeywords() {
    const QStringList products =
        words("连衣裙|阔腿裤|牛仔裤|羽绒服|卫衣|衬衫|半身裙|针织衫|风衣|打底裤|睡衣|运动鞋|帆布鞋|"
              "高跟鞋|手机壳|充电宝|蓝牙耳机|数据线|充电器|平板电脑|笔记本电脑|机械键盘|鼠标垫|"
              "智能手表|移动硬盘|路由器|显示器|收纳盒|床上四件套|窗帘|地毯|沙发垫|抱枕|衣架|保温杯|"
              "炒锅|砧板|拖把|垃圾桶|台灯|坚果礼盒|牛肉干|螺蛳粉|茶叶|咖啡豆|蜂蜜|红枣|枸杞|辣条|"
              "月饼|巧克力|饼干|燕麦片|口红|粉底液|面膜|防晒霜|洗面奶|眼影盘|精华液|爽肤水|护手霜|"
              "香水|卸妆水|眉笔|散粉|电饭煲|空气炸锅|儿童书包");
    const QStringList modifiers =
        words("新款|正品|旗舰店|官方|包邮|便宜|高档|批发|网红|同款|爆款|小众|礼物|送女友|学生|女士|"
              "男士|儿童|大容量|便携|夏季|冬季|加厚|纯棉|韩版|复古|宽松|2024新款|无线|快充|家用|"
              "防滑|进口|特产|散装|保湿|美白|哑光|持久|敏感肌");
    QStringList keywords = products;
    for (const QString& p : products)
        for (const QString& m : modifiers)
            keywords << m + p << p + m;
    for (int i = 0; i + 1 < modifiers.size(); i += 2)
        for (int j = 0; j < products.size(); j += 7)
            keywords << modifiers[i] + modifiers[i + 1] + products[j]
                     << modifiers[i] + u' ' + products[j] + u'，' + modifiers[i + 1];
    return keywords;
}

bool hasLatin(const QString& text) {
    for (const QChar c : text)
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))
            return true;
    return false;
}

TEST(Segmenter, CutsAsTheReferenceSegmenterWithoutItsHiddenMarkovStep) {
    QStringList keywords;
    for (const fake_market::FakeKeyword& k : fake_market::keywordGraph())
        if (!hasLatin(k.keyword))
            keywords << k.keyword;
    keywords << madeUpKeywords();
    ASSERT_GE(keywords.size(), 2000);

    QProcess python;
    python.start(u"/usr/bin/python3"_s,
                 {qEnvironmentVariable("QUILLA_SOURCE_DIR") + u"/tests/segmenter/jieba_cut.py"_s});
    ASSERT_TRUE(python.waitForStarted(10000));
    python.write(keywords.join(u'\n').toUtf8() + '\n');
    python.closeWriteChannel();
    ASSERT_TRUE(python.waitForFinished(120000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QStringList answers =
        QString::fromUtf8(python.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(answers.size(), keywords.size());

    const Segmenter segmenter;
    int differ = 0;
    for (qsizetype i = 0; i < keywords.size(); ++i) {
        // Its spaces and punctuation come back as words; here they separate.
        QStringList expected;
        for (const QString& word : answers[i].split(QChar(0x1f)))
            if (std::any_of(word.begin(), word.end(), [](QChar c) { return c.isLetterOrNumber(); }))
                expected << word;
        const QStringList got = segmenter.segment(keywords[i]);
        if (got != expected && differ++ < 20)
            ADD_FAILURE() << keywords[i].toStdString() << ": " << got.join(u'|').toStdString()
                          << " != " << expected.join(u'|').toStdString();
    }
    EXPECT_EQ(differ, 0) << "of " << keywords.size();
}

TEST(Segmenter, KeepsAsciiRunsWholeAndDropsSeparators) {
    const struct {
        const char* keyword;
        const char* roots;
    } cases[] = {
        {"iPhone14手机壳", "iPhone14|手机|壳"},
        {"T恤 女", "T恤|女"},             // a dictionary word that starts with a letter
        {"t恤女", "t恤|女"},              // whatever its case
        {"21号店", "21|号|店"},           // a digit run is never cut by a word
        {"连衣裙，夏季!", "连衣裙|夏季"}, // punctuation separates and is no root
        {"Abc-def c++", "Abc|def|c"},
        {"连衣裙-女 夏", "连衣裙|女|夏"},
        {"😀连衣裙 ～", "连衣裙"}, // a symbol outside the BMP: no root, not split apart
        {"かわいい服", "か|わ|い|い|服"},
        {"", ""},
        {"  ,. ", ""},
    };
    const Segmenter segmenter;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keyword);
        EXPECT_EQ(segmenter.segment(u8(c.keyword)), words(c.roots));
    }
    EXPECT_EQ(Segmenter::rootKey(u"iPhone"_s), Segmenter::rootKey(u"IPHONE"_s));
    EXPECT_EQ(Segmenter::rootKey(u8("T恤")), u8("t恤"));
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(Segmenter, UserWordsMergeAndSplitAtOnceAndPersist) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    Segmenter segmenter(folder.path());
    ASSERT_EQ(segmenter.segment(u8("女阔腿裤")), words("女|阔|腿|裤"));

    QString why;
    ASSERT_TRUE(segmenter.addMerged(u8("阔腿裤"), &why)) << why.toStdString();
    ASSERT_TRUE(segmenter.addSplit({u8("连衣"), u8("裙")}, &why)) << why.toStdString();
    ASSERT_TRUE(segmenter.addMerged(u8("iPhone壳"), &why)) << why.toStdString();
    const struct {
        const char* keyword;
        const char* roots;
    } cases[] = {
        {"女阔腿裤", "女|阔腿裤"},
        {"阔腿裤子", "阔腿裤|子"},
        {"夏季连衣裙女", "夏季|连衣|裙|女"},
        {"IPHONE壳 透明", "IPHONE壳|透明"}, // case-insensitive, as written
        {"myiphone壳", "myiphone|壳"},      // never inside a run of letters
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keyword);
        EXPECT_EQ(segmenter.segment(u8(c.keyword)), words(c.roots));
    }

    // Kept in the folder, read by the next segmenter; an entry for the same
    // word replaces the old one.
    const QString path = segmenter.userWordsPath();
    EXPECT_TRUE(readFile(path).contains(u8("连衣 裙").toUtf8()));
    ASSERT_TRUE(segmenter.addMerged(u8("连衣裙"), &why));
    EXPECT_EQ(Segmenter(folder.path()).segment(u8("夏季连衣裙女")), words("夏季|连衣裙|女"));
    EXPECT_EQ(Segmenter(folder.path()).userWords(),
              (QStringList{u8("阔腿裤"), u8("iphone壳"), u8("连衣裙")}));
    ASSERT_TRUE(segmenter.removeUserWord(u8("阔腿裤"), &why));
    EXPECT_EQ(Segmenter(folder.path()).segment(u8("女阔腿裤")), words("女|阔|腿|裤"));

    // Words that cannot be one are refused, and change nothing.
    EXPECT_FALSE(segmenter.addMerged(u8("连衣裙!"), &why));
    EXPECT_FALSE(segmenter.addSplit({u"iph"_s, u"one"_s}, &why));
    EXPECT_FALSE(segmenter.addSplit({u8("连衣裙")}, &why));
    EXPECT_FALSE(segmenter.addMerged(QString(40, QChar(0x4e00)), &why));
    EXPECT_EQ(segmenter.userWords().size(), 2);
}

TEST(Segmenter, AUserWordsFileIsReadWithinBounds) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QString::fromUtf8(Segmenter::userWordsName));
    QString why;

    // An edited file: comments, blanks, a bad line skipped and named.
    writeFile(path, u8("# mine\n\n阔腿裤\r\n连衣裙?\n连衣 裙\n").toUtf8());
    Segmenter segmenter(folder.path());
    EXPECT_FALSE(segmenter.reload(&why));
    EXPECT_TRUE(why.contains(u"line 4"_s)) << why.toStdString();
    EXPECT_EQ(segmenter.segment(u8("女阔腿裤连衣裙")), words("女|阔腿裤|连衣|裙"));

    // A file too large is refused whole.
    writeFile(path, QByteArray(Segmenter::maxFileBytes + 1, 'a'));
    EXPECT_FALSE(segmenter.reload(&why));
    EXPECT_TRUE(segmenter.userWords().isEmpty());
    EXPECT_EQ(segmenter.segment(u8("女阔腿裤")), words("女|阔|腿|裤"));

    // More entries than allowed: the first ones apply.
    QByteArray many;
    for (int i = 0; i < Segmenter::maxEntries + 5; ++i)
        many += "w" + QByteArray::number(i) + '\n';
    writeFile(path, many);
    EXPECT_FALSE(segmenter.reload(&why));
    EXPECT_EQ(segmenter.userWords().size(), Segmenter::maxEntries);
}

} // namespace
} // namespace quilla
