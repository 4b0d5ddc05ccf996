#include "segmenter/segmenter.h"

#include "segmenter/word_list.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;

bool isCjk(char16_t c) {
    return c >= u'\u4e00' && c <= u'\u9fd5';
}

bool isAsciiAlnum(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// What the dictionary can hold.
bool isWordChar(char16_t c) {
    return isCjk(c) || isAsciiAlnum(c);
}

// The characters a stretch of text is segmented over as a whole: word
// characters and the punctuation that may sit inside a product name
// ("c++", "3.5", "a&b"); that punctuation still never becomes a root.
bool isBlockChar(char16_t c) {
    return isWordChar(c) || c == u'+' || c == u'#' || c == u'&' || c == u'.' || c == u'_' ||
           c == u'%' || c == u'-';
}

char16_t lower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

// A word may start or end at `at` unless that splits a run of ASCII letters
// and digits.
bool boundary(QStringView text, qsizetype at) {
    return at <= 0 || at >= text.size() ||
           !(isAsciiAlnum(text[at - 1].unicode()) && isAsciiAlnum(text[at].unicode()));
}

// Logarithms of the small frequencies most words have, worked out once.
double logOf(std::uint32_t freq) {
    constexpr std::uint32_t cached = 1 << 14;
    static const std::vector<double> logs = [] {
        std::vector<double> table(cached);
        for (std::uint32_t i = 1; i < cached; ++i)
            table[i] = std::log(static_cast<double>(i));
        return table;
    }();
    return freq < cached ? logs[freq] : std::log(static_cast<double>(freq));
}

bool sameWord(QStringView text, QStringView key) {
    if (text.size() != key.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (lower(text[i].unicode()) != key[i].unicode())
            return false;
    return true;
}

} // namespace

Segmenter::Segmenter(const QString& folder) : Segmenter(WordList::builtIn(), folder) {}

Segmenter::Segmenter(const WordList& words, const QString& folder)
    : words_(words), folder_(folder), logTotal_(std::log(static_cast<double>(words.total()))) {
    reload();
}

QString Segmenter::rootKey(QStringView root) {
    return root.toString().toLower();
}

QStringList Segmenter::segment(QStringView keyword) const {
    QStringList out;
    qsizetype i = 0;
    const qsizetype n = keyword.size();
    while (i < n) {
        if (isBlockChar(keyword[i].unicode())) {
            qsizetype j = i;
            while (j < n && isBlockChar(keyword[j].unicode()))
                ++j;
            segmentBlock(keyword.sliced(i, j - i), out);
            i = j;
            continue;
        }
        // Anything else stands alone: a letter or digit of another script as
        // a root of one character, the rest (spaces, punctuation, symbols) as
        // a separator.
        qsizetype length = 1;
        char32_t point = keyword[i].unicode();
        if (keyword[i].isHighSurrogate() && i + 1 < n && keyword[i + 1].isLowSurrogate()) {
            point = QChar::surrogateToUcs4(keyword[i], keyword[i + 1]);
            length = 2;
        }
        if (QChar::isLetterOrNumber(point))
            out.append(keyword.sliced(i, length).toString());
        i += length;
    }
    return out;
}

void Segmenter::segmentBlock(QStringView block, QStringList& out) const {
    if (entries_.empty()) {
        routeCut(block, out);
        return;
    }
    qsizetype gap = 0, at = 0;
    while (at < block.size()) {
        const auto candidates = byFirst_.constFind(lower(block[at].unicode()));
        const Entry* found = nullptr;
        if (candidates != byFirst_.cend() && boundary(block, at)) {
            for (const int e : *candidates) {
                const Entry& entry = entries_[e];
                const qsizetype end = at + entry.key.size();
                if (end <= block.size() && boundary(block, end) &&
                    sameWord(block.sliced(at, entry.key.size()), entry.key)) {
                    found = &entry;
                    break;
                }
            }
        }
        if (!found) {
            ++at;
            continue;
        }
        routeCut(block.sliced(gap, at - gap), out);
        for (const int length : found->pieces) {
            out.append(block.sliced(at, length).toString());
            at += length;
        }
        gap = at;
    }
    routeCut(block.sliced(gap), out);
}

// The path through the graph of dictionary words with the greatest sum of
// log frequencies, worked out from the end; a tie goes to the longer word.
// Single ASCII letters and digits on the path are joined back into their run.
void Segmenter::routeCut(QStringView text, QStringList& out) const {
    const qsizetype n = text.size();
    if (n == 0)
        return;
    // Keywords are short: their path fits on the stack.
    constexpr qsizetype small = 64;
    double bestSmall[small + 1];
    qsizetype endSmall[small + 1];
    std::vector<double> bestLarge;
    std::vector<qsizetype> endLarge;
    if (n > small) {
        bestLarge.resize(n + 1);
        endLarge.resize(n + 1);
    }
    double* best = n > small ? bestLarge.data() : bestSmall;
    qsizetype* end = n > small ? endLarge.data() : endSmall;
    best[n] = 0;
    end[n] = 0;
    const double logTotal = logTotal_;
    const auto weight = [&](std::uint32_t freq) { return logOf(freq ? freq : 1) - logTotal; };
    const auto singleFrequency = [&](char16_t c) {
        const std::uint32_t node = words_.step(WordList::root, lower(c));
        return node == WordList::none ? 0u : words_.frequency(node);
    };

    for (qsizetype from = n - 1; from >= 0; --from) {
        const char16_t c = text[from].unicode();
        double top = -std::numeric_limits<double>::infinity();
        qsizetype topEnd = -1;
        const auto consider = [&](qsizetype last, std::uint32_t freq) {
            const double value = weight(freq) + best[last + 1];
            if (value > top || (value == top && last > topEnd)) {
                top = value;
                topEnd = last;
            }
        };
        const bool insideRun = !boundary(text, from);
        bool any = false;
        if (!insideRun && isWordChar(c)) {
            std::uint32_t node = WordList::root;
            for (qsizetype k = from; k < n; ++k) {
                node = words_.step(node, lower(text[k].unicode()));
                if (node == WordList::none)
                    break;
                if (words_.frequency(node) && boundary(text, k + 1)) {
                    consider(k, words_.frequency(node));
                    any = true;
                }
            }
        }
        // A character on its own: when no word starts here, inside a run of
        // ASCII letters and digits, and at the start of one (the run itself).
        if (!any || isAsciiAlnum(c))
            consider(from, singleFrequency(c));
        best[from] = top;
        end[from] = topEnd;
    }

    QString run;
    for (qsizetype at = 0; at < n;) {
        const qsizetype next = end[at] + 1;
        const QStringView word = text.sliced(at, next - at);
        if (word.size() == 1 && isAsciiAlnum(word[0].unicode())) {
            run.append(word);
        } else {
            if (!run.isEmpty())
                out.append(std::exchange(run, {}));
            if (isWordChar(word[0].unicode()))
                out.append(word.toString());
        }
        at = next;
    }
    if (!run.isEmpty())
        out.append(run);
}

QString Segmenter::userWordsPath() const {
    return folder_.isEmpty() ? QString() : QDir(folder_).filePath(QString::fromUtf8(userWordsName));
}

std::optional<Segmenter::Entry> Segmenter::parse(QStringView line, QString* why) const {
    const QStringList pieces = line.toString().split(u' ', Qt::SkipEmptyParts);
    Entry entry;
    for (const QString& piece : pieces) {
        for (const QChar c : piece) {
            if (!isWordChar(c.unicode())) {
                *why = u"“"_s + line + u"” holds a character that is not part of a word"_s;
                return std::nullopt;
            }
        }
        if (!entry.key.isEmpty() && isAsciiAlnum(entry.key.back().unicode()) &&
            isAsciiAlnum(piece.front().unicode())) {
            *why = u"“"_s + line + u"” splits a run of letters and digits"_s;
            return std::nullopt;
        }
        entry.key += piece.toLower();
        entry.pieces.append(static_cast<int>(piece.size()));
    }
    if (entry.key.isEmpty()) {
        *why = u"an empty word"_s;
        return std::nullopt;
    }
    if (entry.key.size() > maxWordLength) {
        *why = u"“"_s + line + u"” is longer than "_s + QString::number(maxWordLength) +
               u" characters"_s;
        return std::nullopt;
    }
    return entry;
}

void Segmenter::index() {
    byFirst_.clear();
    for (int e = 0; e < static_cast<int>(entries_.size()); ++e)
        byFirst_[entries_[e].key.front().unicode()].append(e);
    for (QList<int>& list : byFirst_)
        std::stable_sort(list.begin(), list.end(), [&](int a, int b) {
            return entries_[a].key.size() > entries_[b].key.size();
        });
}

bool Segmenter::reload(QString* why) {
    entries_.clear();
    byFirst_.clear();
    const QString path = userWordsPath();
    if (path.isEmpty() || !QFile::exists(path))
        return true;
    QString reason;
    const auto done = [&](bool ok) {
        index();
        if (why)
            *why = reason;
        return ok;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        reason = path + u" cannot be read: "_s + file.errorString();
        return done(false);
    }
    if (file.size() > maxFileBytes) {
        reason = path + u" is larger than 1 MiB; its words are not used"_s;
        return done(false);
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    int skipped = 0;
    QHash<QString, int> seen;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        QString bad;
        auto entry = parse(line, &bad);
        if (!entry || static_cast<int>(entries_.size()) >= maxEntries) {
            if (entry)
                bad = u"more than "_s + QString::number(maxEntries) + u" words"_s;
            if (!skipped++)
                reason = path + u" line "_s + QString::number(i + 1) + u": "_s + bad;
            continue;
        }
        // A later line for the same word wins.
        if (const auto old = seen.constFind(entry->key); old != seen.cend()) {
            entries_[*old] = std::move(*entry);
        } else {
            seen.insert(entry->key, static_cast<int>(entries_.size()));
            entries_.push_back(std::move(*entry));
        }
    }
    if (skipped > 1)
        reason += u" (and "_s + QString::number(skipped - 1) + u" more lines skipped)"_s;
    return done(skipped == 0);
}

QStringList Segmenter::userWords() const {
    QStringList lines;
    for (const Entry& entry : entries_) {
        QStringList pieces;
        qsizetype at = 0;
        for (const int length : entry.pieces) {
            pieces.append(entry.key.sliced(at, length));
            at += length;
        }
        lines.append(pieces.join(u' '));
    }
    return lines;
}

bool Segmenter::write(const std::vector<Entry>& entries, QString* why) {
    const QString path = userWordsPath();
    if (path.isEmpty()) {
        if (why)
            *why = u"no data folder to keep user words in"_s;
        return false;
    }
    const auto old = std::exchange(entries_, entries);
    QByteArray text = "# 合并: one word a line; 拆分: its pieces with spaces between\n";
    for (const QString& line : userWords())
        text += line.toUtf8() + '\n';
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        entries_ = old;
        if (why)
            *why = path + u" cannot be written: "_s + file.errorString();
        return false;
    }
    index();
    return true;
}

bool Segmenter::replaceEntry(Entry entry, QString* why) {
    if (static_cast<int>(entries_.size()) >= maxEntries) {
        if (why)
            *why = u"more than "_s + QString::number(maxEntries) + u" user words"_s;
        return false;
    }
    std::vector<Entry> next;
    for (const Entry& e : entries_)
        if (e.key != entry.key)
            next.push_back(e);
    next.push_back(std::move(entry));
    return write(next, why);
}

bool Segmenter::addMerged(const QString& word, QString* why) {
    QString bad;
    auto entry = parse(word.trimmed(), &bad);
    if (!entry || entry->pieces.size() != 1) {
        if (why)
            *why = entry ? u"a merged word holds no spaces"_s : bad;
        return false;
    }
    return replaceEntry(std::move(*entry), why);
}

bool Segmenter::addSplit(const QStringList& pieces, QString* why) {
    QString bad;
    auto entry = parse(pieces.join(u' '), &bad);
    if (!entry || entry->pieces.size() < 2) {
        if (why)
            *why = entry ? u"a split word has at least two pieces"_s : bad;
        return false;
    }
    return replaceEntry(std::move(*entry), why);
}

bool Segmenter::removeUserWord(const QString& joined, QString* why) {
    const QString key = rootKey(joined);
    std::vector<Entry> next;
    for (const Entry& e : entries_)
        if (e.key != key)
            next.push_back(e);
    return write(next, why);
}

} // namespace quilla
