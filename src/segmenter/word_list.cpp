#include "segmenter/word_list.h"

#include <QtGlobal>

#include <cstring>

// The compiled word list, placed in the program by the assembler.
extern "C" const char quilla_words_begin[];
extern "C" const char quilla_words_end[];

namespace quilla {

std::optional<WordList> WordList::view(QByteArrayView data) {
    constexpr qsizetype header = 8 + 8 + 4 + 4;
    if (data.size() < header || std::memcmp(data.data(), "QLWORDS1", 8) != 0)
        return std::nullopt;
    if (reinterpret_cast<quintptr>(data.data()) % alignof(std::uint32_t) != 0)
        return std::nullopt;
    WordList list;
    std::memcpy(&list.total_, data.data() + 8, 8);
    std::memcpy(&list.nodes_, data.data() + 16, 4);
    std::memcpy(&list.edges_, data.data() + 20, 4);
    const qint64 nodes = list.nodes_, edges = list.edges_;
    if (nodes < 1 || list.total_ == 0 ||
        data.size() != header + 4 * (nodes + 1) + 4 * nodes + 4 * edges + 2 * edges)
        return std::nullopt;
    const char* at = data.data() + header;
    list.firstEdge_ = reinterpret_cast<const std::uint32_t*>(at);
    list.freq_ = list.firstEdge_ + nodes + 1;
    list.child_ = list.freq_ + nodes;
    list.label_ = reinterpret_cast<const std::uint16_t*>(list.child_ + edges);
    // Every edge range and every child inside the list, so that a walk can
    // never leave it.
    if (list.firstEdge_[0] != 0 || list.firstEdge_[nodes] != list.edges_)
        return std::nullopt;
    for (qint64 i = 0; i < nodes; ++i)
        if (list.firstEdge_[i] > list.firstEdge_[i + 1])
            return std::nullopt;
    for (qint64 e = 0; e < edges; ++e)
        if (list.child_[e] >= list.nodes_ || list.child_[e] == 0)
            return std::nullopt;
    return list;
}

const WordList& WordList::builtIn() {
    static const WordList list = [] {
        const auto viewed = view(QByteArrayView(quilla_words_begin, quilla_words_end));
        // The build made this list; a broken one is a broken build.
        Q_ASSERT(viewed);
        return viewed ? *viewed : WordList();
    }();
    return list;
}

std::uint32_t WordList::step(std::uint32_t node, char16_t unit) const {
    if (node >= nodes_)
        return none;
    std::uint32_t lo = firstEdge_[node], hi = firstEdge_[node + 1];
    while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        if (label_[mid] < unit)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < firstEdge_[node + 1] && label_[lo] == unit ? child_[lo] : none;
}

} // namespace quilla
