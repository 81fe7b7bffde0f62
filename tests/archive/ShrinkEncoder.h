// A test-only shrink encoder (dynamic Lempel-Ziv-Welch, method 1): codes widen from 9 to 13 bits
// on command, and partial clears free the leaves of the code tree at chosen input offsets and
// whenever every code is taken.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vantle::test {

struct ShrinkOptions {
    std::vector<std::size_t> clearAt; // a partial clear at the first chance at or after each
    bool clearWhenFull = true;
};

struct ShrinkResult {
    std::string data;
    unsigned clears = 0;
    unsigned reusedCodes = 0;    // codes handed out again after a clear freed them, lowest first
    unsigned selfReferences = 0; // codes sent in the very step that defines them
};

ShrinkResult shrink(std::string_view input, const ShrinkOptions& options = {});

} // namespace vantle::test
