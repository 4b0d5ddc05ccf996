#pragma once

// The segmenter's dictionary: a trie of words with their frequencies, read
// in place from its binary form (no parsing, no copy).
//
// Layout, little-endian, every array tightly packed after the one before:
//   char[8]   "QLWORDS1"
//   uint64    total of all frequencies of the source list
//   uint32    node count N (node 0 is the root)
//   uint32    edge count E
//   uint32    firstEdge[N + 1]  node i's edges are firstEdge[i] .. firstEdge[i+1]
//   uint32    freq[N]           0 for a node that is only a prefix
//   uint32    child[E]          the node an edge leads to
//   uint16    label[E]          the edge's UTF-16 unit, ascending per node
// Words are stored with ASCII letters lower-cased.

#include <QByteArrayView>

#include <cstdint>
#include <optional>

namespace quilla {

class WordList {
public:
    // The list in `data`, which must outlive it; nothing when the data is not
    // a well-formed list.
    static std::optional<WordList> view(QByteArrayView data);
    // The list built into the program.
    static const WordList& builtIn();

    static constexpr std::uint32_t root = 0;
    static constexpr std::uint32_t none = 0xffffffffu;

    // The node reached from `node` by `unit`, or none.
    std::uint32_t step(std::uint32_t node, char16_t unit) const;
    std::uint32_t frequency(std::uint32_t node) const { return freq_[node]; }
    std::uint64_t total() const { return total_; }
    std::uint32_t nodeCount() const { return nodes_; }

private:
    WordList() = default;

    std::uint64_t total_ = 0;
    std::uint32_t nodes_ = 0, edges_ = 0;
    const std::uint32_t* firstEdge_ = nullptr;
    const std::uint32_t* freq_ = nullptr;
    const std::uint32_t* child_ = nullptr;
    const std::uint16_t* label_ = nullptr;
};

} // namespace quilla
