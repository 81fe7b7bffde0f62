// Base64 as the settings file stores the password.
#include "Base64.h"

#include "lib/runtime/Error.h"

#include <array>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>

namespace vantle {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kSpareBytes = 4096;

// The decoder's classification of every byte value: 0..63 for the alphabet, then these two.
constexpr std::uint8_t kPad = 64;
constexpr std::uint8_t kIgnorable = 65;

constexpr std::array<std::uint8_t, 256> makeDecodeTable() {
    std::array<std::uint8_t, 256> table{};
    for (std::uint8_t& entry : table) {
        entry = kIgnorable;
    }
    for (std::uint8_t value = 0; value < 64; ++value) {
        table[static_cast<unsigned char>(kAlphabet[value])] = value;
    }
    table[static_cast<unsigned char>('=')] = kPad;
    return table;
}

constexpr std::array<std::uint8_t, 256> kDecodeTable = makeDecodeTable();

std::uint8_t classOf(char c) {
    return kDecodeTable[static_cast<unsigned char>(c)];
}

// The output buffer: four characters per group plus kSpareBytes, as the encoder reserves it.
// A size past what std::string can hold fails here, before the allocator is asked.
std::string reserveOutput(std::size_t groups) {
    const std::size_t limit = std::numeric_limits<std::size_t>::max();
    const std::size_t size = groups > (limit - kSpareBytes) / 4 ? limit : groups * 4 + kSpareBytes;
    const auto fail = [size] {
        return Error("Unable to allocate " + std::to_string(size) + " bytes of memory");
    };
    std::string out;
    if (size > out.max_size()) {
        throw fail();
    }
    try {
        out.reserve(size);
    } catch (const std::bad_alloc&) {
        throw fail();
    } catch (const std::length_error&) {
        throw fail();
    }
    return out;
}

std::string breakLines(const std::string& text, std::size_t lineLength) {
    std::string out;
    out.reserve(text.size() + text.size() / lineLength * 2);
    for (std::size_t at = 0; at < text.size(); at += lineLength) {
        if (at > 0) {
            out += "\r\n";
        }
        out.append(text, at, lineLength);
    }
    return out;
}

} // namespace

std::string Base64Encode(std::string_view bytes, int lineLength) {
    if (bytes.empty()) {
        return "=";
    }
    // Zero-filled to whole groups of three; `added` of the last group's bytes are fill.
    const std::size_t groups = bytes.size() / 3 + (bytes.size() % 3 != 0 ? 1 : 0);
    const std::size_t added = groups * 3 - bytes.size();
    std::string out = reserveOutput(groups);

    const auto byteAt = [bytes](std::size_t i) -> std::uint32_t {
        return i < bytes.size() ? static_cast<std::uint8_t>(bytes[i]) : 0;
    };
    for (std::size_t g = 0; g < groups; ++g) {
        const std::uint32_t word =
            (byteAt(3 * g) << 16) | (byteAt(3 * g + 1) << 8) | byteAt(3 * g + 2);
        out += kAlphabet[(word >> 18) & 63];
        out += kAlphabet[(word >> 12) & 63];
        out += kAlphabet[(word >> 6) & 63];
        out += kAlphabet[word & 63];
    }
    out.replace(out.size() - added, added, added, '=');

    if (lineLength > 0) {
        return breakLines(out, static_cast<std::size_t>(lineLength));
    }
    return out;
}

std::string Base64Decode(std::string_view text) {
    // i: the length up to the last alphabet or "=" character; the ignorable tail is dropped.
    std::size_t i = text.size();
    while (i > 0 && classOf(text[i - 1]) == kIgnorable) {
        --i;
    }

    std::string out;
    std::size_t pos = 0;
    // A group starts only while at least two characters remain; one lone last one is ignored.
    while (i - pos >= 2) {
        std::uint8_t group[4];
        for (std::uint8_t& slot : group) {
            while (pos < i && classOf(text[pos]) == kIgnorable) {
                ++pos;
            }
            if (pos >= i) {
                throw Error("Premature end of base64 data");
            }
            slot = classOf(text[pos++]);
        }
        const auto [a, b, c, d] = group;
        if (a == kPad || b == kPad) {
            throw Error("Premature padding of base64 data");
        }
        out += static_cast<char>((a << 2) | (b >> 4));
        if (c == kPad) {
            break;
        }
        out += static_cast<char>(((b & 15) << 4) | (c >> 2));
        if (d == kPad) {
            break;
        }
        out += static_cast<char>(((c & 3) << 6) | d);
    }
    return out;
}

} // namespace vantle
