#include "ImplodeEncoder.h"

#include "ArchiveTestSupport.h"

#include <algorithm>
#include <queue>
#include <stdexcept>
#include <unordered_map>

namespace vantle::test {
namespace {

constexpr unsigned kMaxCodeLength = 16;

unsigned minLength(const ImplodeOptions& o) {
    return o.literalTree ? 3 : 2;
}
unsigned lowBits(const ImplodeOptions& o) {
    return o.bigDictionary ? 7 : 6;
}

// Huffman lengths for every symbol (each counted once more than it occurs, so that all get a
// code, as the format wants), flattened until none is longer than 16 bits.
std::vector<int> codeLengths(std::vector<std::uint64_t> frequencies) {
    for (;;) {
        struct Node {
            std::uint64_t weight;
            int index;
        };
        auto heavier = [](const Node& a, const Node& b) { return a.weight > b.weight; };
        std::priority_queue<Node, std::vector<Node>, decltype(heavier)> queue(heavier);
        std::vector<int> parent(2 * frequencies.size(), -1);
        for (std::size_t i = 0; i < frequencies.size(); ++i)
            queue.push({frequencies[i] + 1, static_cast<int>(i)});
        int next = static_cast<int>(frequencies.size());
        while (queue.size() > 1) {
            const Node a = queue.top();
            queue.pop();
            const Node b = queue.top();
            queue.pop();
            parent[static_cast<std::size_t>(a.index)] = next;
            parent[static_cast<std::size_t>(b.index)] = next;
            queue.push({a.weight + b.weight, next++});
        }
        std::vector<int> lengths(frequencies.size());
        int longest = 0;
        for (std::size_t i = 0; i < frequencies.size(); ++i) {
            for (int p = parent[i]; p != -1; p = parent[static_cast<std::size_t>(p)])
                ++lengths[i];
            longest = std::max(longest, lengths[i]);
        }
        if (longest <= static_cast<int>(kMaxCodeLength))
            return lengths;
        for (std::uint64_t& f : frequencies)
            f /= 2;
    }
}

// The tree as stored: a byte with the count of following bytes less one, then runs of up to 16
// equal lengths, each as (run - 1) << 4 | (length - 1).
void writeTree(BitWriter& out, const std::vector<int>& lengths) {
    std::string runs;
    for (std::size_t i = 0; i < lengths.size();) {
        std::size_t run = 1;
        while (run < 16 && i + run < lengths.size() && lengths[i + run] == lengths[i])
            ++run;
        runs += static_cast<char>((run - 1) << 4 | static_cast<std::size_t>(lengths[i] - 1));
        i += run;
    }
    out.bits(static_cast<std::uint32_t>(runs.size() - 1), 8);
    for (const char c : runs)
        out.bits(static_cast<std::uint8_t>(c), 8);
}

// Shannon-Fano codes are the canonical codes inverted.
struct Code {
    std::vector<int> lengths;
    std::vector<std::uint32_t> codes;

    explicit Code(const std::vector<std::uint64_t>& frequencies)
        : lengths(codeLengths(frequencies))
        , codes(canonicalCodes(lengths)) {}
    void write(BitWriter& out, std::size_t symbol) const {
        const auto length = static_cast<unsigned>(lengths[symbol]);
        out.code(~codes[symbol] & ((1u << length) - 1), length);
    }
};

} // namespace

std::vector<ImplodeToken> implodeParse(std::string_view input, const ImplodeOptions& options) {
    const unsigned shortest = minLength(options);
    const unsigned longest = shortest + 63 + 255;
    const std::size_t dictionary = options.bigDictionary ? 8192 : 4096;
    std::unordered_map<std::uint32_t, std::vector<std::size_t>> seen;
    auto keyAt = [&](std::size_t i) {
        std::uint32_t key = 0;
        for (unsigned k = 0; k < shortest; ++k)
            key = key << 8 | static_cast<std::uint8_t>(input[i + k]);
        return key;
    };
    std::vector<ImplodeToken> tokens;
    std::size_t pos = 0;
    while (pos < input.size()) {
        ImplodeToken best;
        best.literal = static_cast<std::uint8_t>(input[pos]);
        if (pos + shortest <= input.size()) {
            const std::vector<std::size_t>& candidates = seen[keyAt(pos)];
            int tries = 0;
            for (auto it = candidates.rbegin(); it != candidates.rend() && tries < 64;
                 ++it, ++tries) {
                if (pos - *it > dictionary)
                    break;
                unsigned length = 0;
                while (length < longest && pos + length < input.size() &&
                       input[*it + length] == input[pos + length])
                    ++length;
                if (length >= shortest && length > best.length) {
                    best.length = length;
                    best.distance = static_cast<unsigned>(pos - *it);
                }
            }
        }
        const std::size_t advance = best.distance != 0 ? best.length : 1;
        for (std::size_t i = pos; i < pos + advance && i + shortest <= input.size(); ++i)
            seen[keyAt(i)].push_back(i);
        tokens.push_back(best);
        pos += advance;
    }
    return tokens;
}

std::string implodeTokens(const std::vector<ImplodeToken>& tokens, const ImplodeOptions& options) {
    const unsigned shortest = minLength(options);
    const unsigned low = lowBits(options);
    std::vector<std::uint64_t> literalCounts(256);
    std::vector<std::uint64_t> lengthCounts(64);
    std::vector<std::uint64_t> distanceCounts(64);
    for (const ImplodeToken& t : tokens) {
        if (t.distance == 0) {
            ++literalCounts[t.literal];
            continue;
        }
        if (t.length < shortest || t.length > shortest + 63 + 255 || t.distance > (64u << low))
            throw std::invalid_argument("match out of range");
        ++lengthCounts[std::min(t.length - shortest, 63u)];
        ++distanceCounts[(t.distance - 1) >> low];
    }
    const Code literals(literalCounts);
    const Code lengths(lengthCounts);
    const Code distances(distanceCounts);
    BitWriter out;
    if (options.literalTree)
        writeTree(out, literals.lengths);
    writeTree(out, lengths.lengths);
    writeTree(out, distances.lengths);
    for (const ImplodeToken& t : tokens) {
        if (t.distance == 0) {
            out.bits(1, 1);
            if (options.literalTree)
                literals.write(out, t.literal);
            else
                out.bits(t.literal, 8);
            continue;
        }
        out.bits(0, 1);
        out.bits((t.distance - 1) & ((1u << low) - 1), low);
        distances.write(out, (t.distance - 1) >> low);
        const unsigned symbol = std::min(t.length - shortest, 63u);
        lengths.write(out, symbol);
        if (symbol == 63)
            out.bits(t.length - shortest - 63, 8);
    }
    return out.finish();
}

} // namespace vantle::test
