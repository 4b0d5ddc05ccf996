#pragma once

// Splits a keyword into its root words (词根): maximum-probability
// segmentation over the built-in dictionary (the path through the graph of
// dictionary words with the greatest sum of log frequencies), with these
// rules on top:
//   - a run of ASCII letters and digits stays one root;
//   - spaces and punctuation separate and are never roots;
//   - Latin letters compare case-insensitively (rootKey);
//   - user words, kept in a plain text file the user may edit, come first:
//     a merged word ("合并") is always one root, a split word ("拆分") always
//     falls into its pieces.

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <vector>

namespace quilla {

class WordList;

class Segmenter {
public:
    // The user words file in a data folder: one entry a line, a merged word
    // as it is ("阔腿裤"), a split one as its pieces with spaces between
    // ("阔腿 裤"); lines starting with '#' and blank lines are ignored.
    static constexpr auto userWordsName = "词根.txt";
    // Bounds on what the file may make the segmenter do.
    static constexpr qint64 maxFileBytes = 1 << 20;
    static constexpr int maxEntries = 10000;
    static constexpr int maxWordLength = 32;

    // Reads the user words of `folder` (none when empty or missing); see
    // reload() for a file that does not read.
    explicit Segmenter(const QString& folder = {});
    // With another word list (tests); it must outlive the segmenter.
    Segmenter(const WordList& words, const QString& folder);

    // The roots of `keyword` in order, as written there.
    QStringList segment(QStringView keyword) const;
    // What two roots are compared by: Latin letters lower-cased.
    static QString rootKey(QStringView root);

    QString userWordsPath() const;
    // Reads the file again. False, with the reason, when the file cannot be
    // read or is too large (then no user words apply) or when lines were
    // skipped (the good ones still apply).
    bool reload(QString* why = nullptr);
    // Adds an entry and writes the file at once; an entry for the same
    // joined word is replaced. False, with the reason and nothing changed,
    // for a word that cannot be one or a file that cannot be written.
    bool addMerged(const QString& word, QString* why = nullptr);
    bool addSplit(const QStringList& pieces, QString* why = nullptr);
    // Removes the entry for this joined word (either kind) and writes the file.
    bool removeUserWord(const QString& joined, QString* why = nullptr);
    // The entries, as their lines are written.
    QStringList userWords() const;

private:
    struct Entry {
        QString key;       // the joined word, lower-cased
        QList<int> pieces; // lengths of the pieces, in order
    };

    void segmentBlock(QStringView block, QStringList& out) const;
    void routeCut(QStringView text, QStringList& out) const;
    std::optional<Entry> parse(QStringView line, QString* why) const;
    void index();
    bool write(const std::vector<Entry>& entries, QString* why);
    bool replaceEntry(Entry entry, QString* why);

    const WordList& words_;
    QString folder_;
    double logTotal_;
    std::vector<Entry> entries_;
    // Entries by their first unit, longest first.
    QHash<char16_t, QList<int>> byFirst_;
};

} // namespace quilla
