// compile_word_list WORDS.txt OUT.bin
//
// Reads a word list ("word frequency [tag]" a line, UTF-8) and writes the
// trie the segmenter reads in place: see src/segmenter/word_list.h for the
// layout. Words that hold anything but CJK ideographs and ASCII letters and
// digits can never be matched (those characters separate) and are left out;
// their frequency still counts towards the total, as the word list means.

#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <vector>

namespace {

bool wordChar(char16_t c) {
    return (c >= u'\u4e00' && c <= u'\u9fd5') || (c >= u'0' && c <= u'9') ||
           (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

struct Node {
    std::map<char16_t, std::uint32_t> children;
    std::uint32_t freq = 0;
};

template <typename T> void put(QByteArray& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

int fail(const char* what) {
    std::fprintf(stderr, "compile_word_list: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return fail("usage: compile_word_list WORDS.txt OUT.bin");
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly))
        return fail("cannot read the word list");

    std::vector<Node> nodes(1);
    std::uint64_t total = 0;
    long lineNo = 0;
    while (!in.atEnd()) {
        ++lineNo;
        const QString line = QString::fromUtf8(in.readLine()).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList parts = line.split(u' ');
        bool ok = false;
        const qlonglong freq = parts.value(1).toLongLong(&ok);
        if (parts.size() < 2 || !ok || freq < 0 || freq > 0xffffffffLL) {
            std::fprintf(stderr, "compile_word_list: line %ld is not \"word frequency\"\n", lineNo);
            return 1;
        }
        total += static_cast<std::uint64_t>(freq);
        const QString word = parts.first().toLower();
        if (!std::all_of(word.begin(), word.end(), [](QChar c) { return wordChar(c.unicode()); }))
            continue;
        std::uint32_t at = 0;
        for (const QChar c : word) {
            auto found = nodes[at].children.find(c.unicode());
            if (found == nodes[at].children.end()) {
                nodes.emplace_back();
                found = nodes[at].children.emplace(c.unicode(), nodes.size() - 1).first;
            }
            at = found->second;
        }
        // The same word in two cases: the more frequent spelling.
        nodes[at].freq = std::max(nodes[at].freq, static_cast<std::uint32_t>(freq));
    }
    if (total == 0)
        return fail("the word list is empty");

    std::uint32_t edges = 0;
    for (const Node& n : nodes)
        edges += static_cast<std::uint32_t>(n.children.size());

    QByteArray out;
    out.append("QLWORDS1", 8);
    put(out, total);
    put(out, static_cast<std::uint32_t>(nodes.size()));
    put(out, edges);
    std::uint32_t first = 0;
    for (const Node& n : nodes) {
        put(out, first);
        first += static_cast<std::uint32_t>(n.children.size());
    }
    put(out, first);
    for (const Node& n : nodes)
        put(out, n.freq);
    for (const Node& n : nodes)
        for (const auto& [label, child] : n.children)
            put(out, child);
    for (const Node& n : nodes)
        for (const auto& [label, child] : n.children)
            put(out, static_cast<std::uint16_t>(label));

    QSaveFile file(QString::fromLocal8Bit(argv[2]));
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit())
        return fail("cannot write the output");
    return 0;
}
