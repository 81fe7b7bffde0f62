// A test-only implode encoder (method 6): a greedy sliding-dictionary parse of 4 or 8 KiB with
// Shannon-Fano trees for lengths, distances and, optionally, literals.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantle::test {

struct ImplodeOptions {
    bool bigDictionary = false; // 8 KiB, general-purpose flag bit 1
    bool literalTree = false;   // general-purpose flag bit 2

    std::uint16_t flags() const {
        return static_cast<std::uint16_t>((bigDictionary ? 2 : 0) | (literalTree ? 4 : 0));
    }
};

// A literal when distance is 0, else a copy of length bytes from distance back.
struct ImplodeToken {
    unsigned distance = 0;
    unsigned length = 0;
    std::uint8_t literal = 0;
};

std::vector<ImplodeToken> implodeParse(std::string_view input, const ImplodeOptions& options);
std::string implodeTokens(const std::vector<ImplodeToken>& tokens, const ImplodeOptions& options);
inline std::string implode(std::string_view input, const ImplodeOptions& options) {
    return implodeTokens(implodeParse(input, options), options);
}

} // namespace vantle::test
