// The password cipher: Blowfish as published (64-bit blocks, 16 rounds, pi-digit
// constants) in electronic code book mode, with the system's padding rules.
//
// Every call copies the initial constants into a work area of its own and runs the full key
// schedule, so any thread may call any operation. The key is the key text's bytes, all of them,
// used cyclically; an empty key contributes no key bytes: the P-array XOR is skipped and the
// schedule runs on the bare constants (the published algorithm leaves that case undefined).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantle {

// One 8-byte block: the left half then the right, each most significant byte first.
using BlowfishBlock = std::array<std::uint8_t, 8>;

// The bare block cipher under key; these exist for the published test vectors.
BlowfishBlock BlowfishEncipherBlock(const BlowfishBlock& block, std::string_view key);
BlowfishBlock BlowfishDecipherBlock(const BlowfishBlock& block, std::string_view key);

// Zero bytes are appended to text up to minimumLength, then BlowfishEncryptString.
std::string EncipherText(std::string_view text, std::string_view key, std::size_t minimumLength);
// BlowfishDecryptString, cut before the first zero byte. Never fails.
std::string DecipherText(std::string_view cipher, std::string_view key);

// Empty gives empty; otherwise appends n = 8 - (length mod 8) bytes of value n and enciphers
// every block.
std::string BlowfishEncryptString(std::string_view bytes, std::string_view key);
// Empty gives empty; otherwise deciphers every whole block (a trailing part shorter than a block
// stays as it is) and removes the padding when it is well formed. Never fails.
std::string BlowfishDecryptString(std::string_view bytes, std::string_view key);

} // namespace vantle
