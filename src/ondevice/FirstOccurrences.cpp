#include "ondevice/FirstOccurrences.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>

namespace oxel {
namespace {

// A trie of the words with failure links: each node is a prefix of some word, its failure the
// longest proper suffix of it that is also a prefix, and `outputs` the words that end there.
class WordAutomaton {
public:
    explicit WordAutomaton(const std::vector<std::string>& words)
    {
        nodes_.emplace_back();
        for (size_t w = 0; w < words.size(); ++w) {
            size_t node = 0;
            for (const char c : words[w]) node = childOrNew(node, uint8_t(c));
            nodes_[node].ends.push_back(w);
        }
        linkFailures();
    }

    // Calls `found(word, end)` for the first occurrence of every word, ending at byte `end`
    // (exclusive). A node's dictionary suffixes end where it ends, so they were all met the first
    // time it was: the walk along them stops at the first node met before.
    template <class Found>
    void scanFirsts(std::string_view text, Found found) const
    {
        std::vector<bool> met(nodes_.size(), false);
        size_t node = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            node = next(node, uint8_t(text[i]));
            for (size_t out = nodes_[node].ends.empty() ? nodes_[node].dictionary : node; out != 0 && !met[out];
                 out = nodes_[out].dictionary) {
                met[out] = true;
                for (const size_t word : nodes_[out].ends) found(word, i + 1);
            }
        }
    }

private:
    struct Node {
        std::vector<std::pair<uint8_t, size_t>> children; // sorted by byte
        size_t failure = 0;
        size_t dictionary = 0; // the nearest node along the failures that ends words
        std::vector<size_t> ends;
    };

    std::optional<size_t> child(size_t node, uint8_t byte) const
    {
        const auto& children = nodes_[node].children;
        const auto found = std::lower_bound(children.begin(), children.end(), std::pair<uint8_t, size_t>(byte, 0));
        if (found == children.end() || found->first != byte) return std::nullopt;
        return found->second;
    }

    size_t childOrNew(size_t node, uint8_t byte)
    {
        if (const auto existing = child(node, byte)) return *existing;
        nodes_.emplace_back();
        const size_t made = nodes_.size() - 1;
        auto& children = nodes_[node].children;
        children.insert(std::lower_bound(children.begin(), children.end(), std::pair<uint8_t, size_t>(byte, 0)),
                        {byte, made});
        return made;
    }

    size_t next(size_t node, uint8_t byte) const
    {
        while (true) {
            if (const auto found = child(node, byte)) return *found;
            if (node == 0) return 0;
            node = nodes_[node].failure;
        }
    }

    void linkFailures()
    {
        std::deque<size_t> queue;
        for (const auto& [byte, node] : nodes_[0].children) queue.push_back(node);
        while (!queue.empty()) {
            const size_t node = queue.front();
            queue.pop_front();
            const size_t failure = nodes_[node].failure;
            nodes_[node].dictionary = nodes_[failure].ends.empty() ? nodes_[failure].dictionary : failure;
            for (const auto& [byte, childNode] : nodes_[node].children) {
                nodes_[childNode].failure = node == 0 ? 0 : next(failure, byte);
                queue.push_back(childNode);
            }
        }
    }

    std::vector<Node> nodes_;
};

} // namespace

std::map<std::string, size_t> firstOccurrences(std::string_view text, const std::vector<std::string>& words)
{
    std::vector<std::string> searched;
    for (const std::string& word : words)
        if (!word.empty()) searched.push_back(word);
    std::map<std::string, size_t> first;
    const WordAutomaton automaton(searched);
    automaton.scanFirsts(text,
                         [&](size_t word, size_t end) { first.emplace(searched[word], end - searched[word].size()); });
    return first;
}

} // namespace oxel
