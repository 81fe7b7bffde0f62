#include "ShrinkEncoder.h"

#include "ArchiveTestSupport.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

namespace vantle::test {
namespace {

constexpr unsigned kControl = 256;
constexpr unsigned kFirstCode = 257;
constexpr unsigned kLastCode = 8192; // defined but never sent: 13 bits reach 8191
constexpr unsigned kNoCode = kLastCode + 1;

class Encoder {
public:
    explicit Encoder(ShrinkResult& result)
        : result_(result)
        , prefix_(kNoCode)
        , suffix_(kNoCode)
        , everUsed_(kNoCode) {
        for (unsigned code = kFirstCode; code <= kLastCode; ++code)
            prefix_[code] = -static_cast<std::int32_t>(code + 1);
    }

    void send(unsigned code) {
        while (code >= (1u << width_)) {
            out_.bits(kControl, width_);
            out_.bits(1, width_); // widen
            ++width_;
        }
        out_.bits(code, width_);
    }

    std::string text(unsigned code) const {
        std::string reversed;
        while (code >= kFirstCode) {
            reversed += static_cast<char>(suffix_[code]);
            code = static_cast<unsigned>(prefix_[code]);
        }
        reversed += static_cast<char>(code);
        return {reversed.rbegin(), reversed.rend()};
    }

    unsigned find(unsigned code, std::uint8_t next) const {
        const auto it = table_.find(key(code, next));
        return it == table_.end() ? kNoCode : it->second;
    }

    void define(unsigned previous, std::uint8_t first) {
        if (nextFree_ > kLastCode)
            return;
        const unsigned code = nextFree_;
        nextFree_ = static_cast<unsigned>(-prefix_[code]);
        if (everUsed_[code])
            ++result_.reusedCodes;
        everUsed_[code] = true;
        highWater_ = std::max(highWater_, code + 1);
        prefix_[code] = static_cast<std::int32_t>(previous);
        suffix_[code] = first;
        if (code < kLastCode)
            table_.emplace(key(previous, first), code);
    }

    enum class Clear { done, later, afterALiteral };

    // The decoder frees the same codes when it reads 256, 2. Not while codes freed before are
    // still to be handed out (decoders differ on which codes a clear then frees), nor while the
    // code just sent is a leaf: the next definition extends it, so it must stay.
    Clear partialClear(unsigned previous) {
        if (nextFree_ < highWater_)
            return Clear::later;
        std::vector<bool> extended(kNoCode);
        for (unsigned code = kFirstCode; code <= kLastCode; ++code)
            if (prefix_[code] >= static_cast<std::int32_t>(kFirstCode))
                extended[static_cast<unsigned>(prefix_[code])] = true;
        if (previous >= kFirstCode && !extended[previous])
            return Clear::afterALiteral;
        out_.bits(kControl, width_);
        out_.bits(2, width_);
        ++result_.clears;
        unsigned head = kNoCode;
        unsigned tail = kNoCode;
        for (unsigned code = kFirstCode; code < nextFree_ && code <= kLastCode; ++code) {
            if (prefix_[code] >= 0 && extended[code])
                continue;
            if (prefix_[code] >= 0) {
                const auto it =
                    table_.find(key(static_cast<unsigned>(prefix_[code]), suffix_[code]));
                if (it != table_.end() && it->second == code)
                    table_.erase(it);
            }
            if (tail == kNoCode)
                head = code;
            else
                prefix_[tail] = -static_cast<std::int32_t>(code);
            tail = code;
        }
        if (tail != kNoCode) {
            prefix_[tail] = -static_cast<std::int32_t>(nextFree_);
            nextFree_ = head;
        }
        return Clear::done;
    }

    unsigned nextFree() const { return nextFree_; }
    // The next definition takes the last code that can be sent.
    bool definesLastCode() const {
        return nextFree_ < kLastCode && static_cast<unsigned>(-prefix_[nextFree_]) >= kLastCode;
    }
    std::string finish() { return out_.finish(); }

private:
    static std::uint32_t key(unsigned code, std::uint8_t next) { return code << 8 | next; }

    ShrinkResult& result_;
    BitWriter out_;
    unsigned width_ = 9;
    unsigned nextFree_ = kFirstCode;
    unsigned highWater_ = kFirstCode; // above every code handed out so far
    std::vector<std::int32_t> prefix_;
    std::vector<std::uint8_t> suffix_;
    std::vector<bool> everUsed_;
    std::unordered_map<std::uint32_t, unsigned> table_;
};

} // namespace

ShrinkResult shrink(std::string_view input, const ShrinkOptions& options) {
    ShrinkResult result;
    if (input.empty())
        return result;
    Encoder encoder(result);
    auto byteAt = [&](std::size_t i) { return static_cast<std::uint8_t>(input[i]); };
    unsigned previous = byteAt(0);
    encoder.send(previous);
    std::size_t pos = 1;
    std::size_t nextClear = 0;
    while (pos < input.size()) {
        const bool scheduled =
            nextClear < options.clearAt.size() && options.clearAt[nextClear] <= pos;
        // Full: only code 8192 is left, which no code width reaches; decoders refuse a stream
        // that needs a definition then.
        const bool full = options.clearWhenFull && encoder.nextFree() >= kLastCode;
        bool literalOnly = false;
        if (scheduled || full) {
            switch (encoder.partialClear(previous)) {
            case Encoder::Clear::done:
                nextClear += scheduled ? 1 : 0;
                break;
            case Encoder::Clear::later:
                break;
            case Encoder::Clear::afterALiteral:
                literalOnly = true;
                break;
            }
        }
        // A literal is never freed, so the clear that follows the last definition can be done.
        if (options.clearWhenFull && encoder.definesLastCode())
            literalOnly = true;

        unsigned code = byteAt(pos);
        std::size_t length = 1;
        while (!literalOnly && pos + length < input.size()) {
            const unsigned longer = encoder.find(code, byteAt(pos + length));
            if (longer == kNoCode)
                break;
            code = longer;
            ++length;
        }
        // The code about to be defined stands for the previous text plus its first byte; it
        // may be sent already.
        if (!literalOnly && encoder.nextFree() < kLastCode) {
            const std::string before = encoder.text(previous);
            const std::string self = before + before[0];
            if (self.size() > length && input.substr(pos, self.size()) == self) {
                code = encoder.nextFree();
                length = self.size();
                ++result.selfReferences;
            }
        }
        encoder.send(code);
        encoder.define(previous, byteAt(pos));
        previous = code;
        pos += length;
    }
    result.data = encoder.finish();
    return result;
}

} // namespace vantle::test
