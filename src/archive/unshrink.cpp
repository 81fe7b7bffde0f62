// Method 1, shrink: Lempel-Ziv-Welch with codes of 9 to 13 bits, widened and partly cleared on
// the encoder's command. Free codes form a list through their prefix entries, so that a
// partial clear hands out the freed codes lowest first.
#include "archive/decoders.h"

#include <vector>

namespace vantle {
namespace {

constexpr unsigned kControl = 256;
constexpr unsigned kFirstCode = 257;
constexpr unsigned kLastCode = 8192;
constexpr unsigned kNoCode = kLastCode + 1;
constexpr unsigned kMaxWidth = 13;
constexpr std::size_t kStackSize = 8193;
constexpr std::size_t kOutputSize = 767;

class Tunshrinker {
public:
    explicit Tunshrinker(TzipState& state)
        : s(state)
        , prefix_(kLastCode + 1)
        , suffix_(kLastCode + 1)
        , stack_(kStackSize) {
        // A free entry holds minus the next free code.
        for (unsigned code = kFirstCode; code <= kLastCode; ++code)
            prefix_[code] = -static_cast<std::int32_t>(code + 1);
    }

    TzipResult run() {
        std::int64_t bitsLeft = 8 * s.compressedSize;
        unsigned width = 9;
        if (bitsLeft < width)
            return finish();
        unsigned previous = s.take(width) & 0xFF;
        bitsLeft -= width;
        if (!emit(static_cast<std::uint8_t>(previous)))
            return TzipResult::writeError;
        // The declared size may promise more than the archive holds; the data's end stops it.
        while (bitsLeft >= width && !s.bits.endOfInput) {
            const unsigned code = s.take(width);
            bitsLeft -= width;
            if (code == kControl) {
                const unsigned command = s.take(width);
                bitsLeft -= width;
                if (command == 1) {
                    if (++width > kMaxWidth)
                        return TzipResult::zipFileError;
                } else if (command == 2) {
                    partialClear();
                } else {
                    return TzipResult::zipFileError;
                }
                continue;
            }
            // A free code is the one this step defines: the previous string and its own
            // first character.
            const bool defining = code >= kFirstCode && prefix_[code] < 0;
            std::size_t depth = 0;
            unsigned c = defining ? previous : code;
            while (c >= kFirstCode) {
                if (prefix_[c] < 0 || depth == kStackSize)
                    return TzipResult::zipFileError;
                stack_[depth++] = suffix_[c];
                c = static_cast<unsigned>(prefix_[c]);
            }
            const auto first = static_cast<std::uint8_t>(c);
            if (!emit(first))
                return TzipResult::writeError;
            while (depth > 0)
                if (!emit(stack_[--depth]))
                    return TzipResult::writeError;
            if (defining && !emit(first))
                return TzipResult::writeError;
            if (nextFree_ <= kLastCode) {
                const unsigned fresh = nextFree_;
                nextFree_ = static_cast<unsigned>(-prefix_[fresh]);
                prefix_[fresh] = static_cast<std::int32_t>(previous);
                suffix_[fresh] = first;
            }
            previous = code;
        }
        return finish();
    }

private:
    bool emit(std::uint8_t byte) {
        output_[outputCount_++] = byte;
        if (outputCount_ < kOutputSize)
            return true;
        outputCount_ = 0;
        return s.flush(output_, kOutputSize);
    }

    TzipResult finish() {
        if (outputCount_ > 0 && !s.flush(output_, outputCount_))
            return TzipResult::writeError;
        return TzipResult::ok;
    }

    // Frees every code below the next free one that no code in use extends, and relinks those
    // with the codes already free there in increasing order, ahead of the rest of the list.
    void partialClear() {
        std::vector<bool> extended(kLastCode + 1);
        for (unsigned code = kFirstCode; code <= kLastCode; ++code)
            if (prefix_[code] >= static_cast<std::int32_t>(kFirstCode))
                extended[static_cast<unsigned>(prefix_[code])] = true;
        unsigned head = kNoCode;
        unsigned tail = kNoCode;
        for (unsigned code = kFirstCode; code < nextFree_ && code <= kLastCode; ++code) {
            if (prefix_[code] >= 0 && extended[code])
                continue;
            if (tail == kNoCode)
                head = code;
            else
                prefix_[tail] = -static_cast<std::int32_t>(code);
            tail = code;
        }
        if (tail == kNoCode)
            return;
        prefix_[tail] = -static_cast<std::int32_t>(nextFree_);
        nextFree_ = head;
    }

    TzipState& s;
    std::vector<std::int32_t> prefix_;
    std::vector<std::uint8_t> suffix_;
    std::vector<std::uint8_t> stack_;
    std::uint8_t output_[kOutputSize];
    std::size_t outputCount_ = 0;
    unsigned nextFree_ = kFirstCode;
};

} // namespace

TzipResult unshrink(TzipState& state) {
    if (!state.sizesKnown)
        return TzipResult::notSupported;
    Tunshrinker unshrinker(state);
    return unshrinker.run();
}

} // namespace vantle
