// Input, bit reading, window copies and flushing, which every decoder shares.
#include "archive/zipState.h"

#include <algorithm>
#include <cstring>

namespace vantle {

void TzipState::beginMember(std::string_view archive, std::size_t dataStart, bool known) {
    source = archive;
    sizesKnown = known;
    dataNext = std::min(dataStart, source.size());
    dataEnd = source.size();
    if (known && compressedSize >= 0 &&
        static_cast<std::uint64_t>(compressedSize) < dataEnd - dataNext)
        dataEnd = dataNext + static_cast<std::size_t>(compressedSize);
    bits = TbitReader{};
    bits.next = bits.end = input;
    crc = 0xFFFFFFFF;
    windowPos = 0;
}

bool TzipState::fillInput(TbitReader& reader) {
    const std::size_t n = std::min(kInputSize, dataEnd - dataNext);
    if (n == 0)
        return false;
    std::memcpy(input, source.data() + dataNext, n);
    dataNext += n;
    reader.next = input;
    reader.end = input + n;
    return true;
}

TbitReader TzipState::refillNearBufferEnd(TbitReader reader, unsigned n) {
    while (reader.count <= 56 && reader.padding == 0) {
        if (reader.next == reader.end && !fillInput(reader))
            break;
        reader.buffer |= std::uint64_t{*reader.next++} << reader.count;
        reader.count += 8;
    }
    while (reader.count < n) {
        reader.count += 8;
        if (++reader.padding > kLookaheadSlack)
            reader.endOfInput = true;
    }
    return reader;
}

std::size_t TzipState::takeBytes(std::uint8_t* to, std::size_t n) {
    std::size_t taken = 0;
    while (taken < n && bits.count >= 8 * bits.padding + 8) {
        to[taken++] = static_cast<std::uint8_t>(bits.buffer);
        bits.drop(8);
    }
    if (taken == n)
        return taken;
    if (bits.padding == 0) {
        // Whatever sits above the pending bits is a copy of the input buffer's next bytes.
        bits.buffer = 0;
        while (taken < n) {
            if (bits.next == bits.end && !fillInput(bits))
                break;
            const std::size_t run =
                std::min(n - taken, static_cast<std::size_t>(bits.end - bits.next));
            std::memcpy(to + taken, bits.next, run);
            bits.next += run;
            taken += run;
        }
    }
    if (taken < n)
        bits.endOfInput = true;
    return taken;
}

std::size_t TzipState::readData(std::uint8_t* to, std::size_t n) {
    const std::size_t run = std::min(n, dataEnd - dataNext);
    if (run > 0)
        std::memcpy(to, source.data() + dataNext, run);
    dataNext += run;
    return run;
}

bool TzipState::flush(const std::uint8_t* data, std::size_t n) {
    crc = updateCrc32(crc, data, n);
    return target->write(data, n) == n;
}

bool copyAcrossWindow(TzipState& state, std::uint8_t* window, unsigned& pos, unsigned distance,
                      unsigned length) {
    while (length > 0) {
        const unsigned from = (pos - distance) & (kWindowSize - 1);
        const unsigned run = std::min(length, kWindowSize - std::max(from, pos));
        if (distance >= run) {
            std::memmove(window + pos, window + from, run);
        } else {
            for (unsigned i = 0; i < run; ++i)
                window[pos + i] = window[from + i];
        }
        pos += run;
        length -= run;
        if (pos == kWindowSize) {
            pos = 0;
            if (!state.flushWindow(kWindowSize))
                return false;
        }
    }
    return true;
}

} // namespace vantle
