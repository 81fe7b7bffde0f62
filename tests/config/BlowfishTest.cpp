#include "config/blowfish.h"

#include "config/Base64.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

using namespace vantle;
using namespace std::string_view_literals;

namespace {

// The key the settings file enciphers the password with.
constexpr std::string_view kSettingsKey = "{3C1E77B2-5D04-4B6E-9F13-A2C8E04D7B59}";

std::string fromHex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    }
    return bytes;
}

BlowfishBlock blockFromHex(std::string_view hex) {
    const std::string bytes = fromHex(hex);
    BlowfishBlock block{};
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<std::uint8_t>(bytes.at(i));
    }
    return block;
}

std::string toHex(std::string_view bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (const char c : bytes) {
        hex += digits[static_cast<std::uint8_t>(c) >> 4];
        hex += digits[static_cast<std::uint8_t>(c) & 15];
    }
    return hex;
}

std::string toHex(const BlowfishBlock& block) {
    return toHex(std::string_view(reinterpret_cast<const char*>(block.data()), block.size()));
}

} // namespace

TEST(Blowfish, PublishedEcbTestVectorsHold) {
    // The 34 ECB vectors (8-byte keys) published by Eric Young with the algorithm's reference
    // code (schneier.com/code/vectors.txt), as key, clear text and cipher text.
    struct Case {
        const char* key;
        const char* clear;
        const char* cipher;
    };
    const Case cases[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
        {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
        {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
        {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
        {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
        {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
        {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
        {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
        {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
        {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
        {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
        {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
        {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
        {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
        {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
        {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
        {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
        {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
        {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
        {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
        {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
        {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
        {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
        {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
        {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
        {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
        {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
        {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
        {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
    };
    static_assert(std::size(cases) == 34);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + c.clear);
        const std::string key = fromHex(c.key);
        EXPECT_EQ(toHex(BlowfishEncipherBlock(blockFromHex(c.clear), key)), c.cipher);
        EXPECT_EQ(toHex(BlowfishDecipherBlock(blockFromHex(c.cipher), key)), c.clear);
    }
}

TEST(Blowfish, KnownAnswersUnderTheSettingsKeyAndAShortKey) {
    // Computed with OpenSSL's BF_set_key and BF_ecb_encrypt (an independent implementation) on
    // the same padded input; they pin the stored form of the settings file.
    struct Case {
        std::string_view text;
        std::string_view key;
        std::size_t minimumLength;
        const char* stored;
    };
    const Case cases[] = {
        {"", kSettingsKey, 64,
         "7GFmUHsVY4LsYWZQexVjguxhZlB7FWOC7GFmUHsVY4LsYWZQexVjguxhZlB7FWOC7GFmUHsVY4LsYWZQexVjgoHV3"
         "Nc4Q1M2"},
        {"hunter2", kSettingsKey, 64,
         "LrpiSAhOGCDsYWZQexVjguxhZlB7FWOC7GFmUHsVY4LsYWZQexVjguxhZlB7FWOC7GFmUHsVY4LsYWZQexVjgoHV3"
         "Nc4Q1M2"},
        {"correct horse battery staple", kSettingsKey, 64,
         "nWsp+XuGdVk+HPNuqzmgEY29P6KWYepUDmNXC6Ka4x/sYWZQexVjguxhZlB7FWOC7GFmUHsVY4LsYWZQexVjgoHV3"
         "Nc4Q1M2"},
        {"Hello, world!", "abc", 0, "6x1fvFiWUZd85TREIoO/sQ=="}, // the key wraps 24 times
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string cipher = EncipherText(c.text, c.key, c.minimumLength);
        EXPECT_EQ(Base64Encode(cipher, 0), c.stored);
        EXPECT_EQ(DecipherText(Base64Decode(c.stored), c.key), c.text);
    }
}

TEST(Blowfish, TheKeyIsUsedCyclically) {
    const std::string bytes = "sixteen bytes..!";
    EXPECT_EQ(BlowfishEncryptString(bytes, "abc"), BlowfishEncryptString(bytes, "abcabc"));
    EXPECT_NE(BlowfishEncryptString(bytes, "abc"), BlowfishEncryptString(bytes, "abd"));
}

TEST(Blowfish, AnEmptyKeyContributesNoKeyBytes) {
    // With no key bytes the P-array keeps its constants, which is what a key of zero bytes
    // XORs into it too.
    const std::string bytes = "password";
    const std::string cipher = BlowfishEncryptString(bytes, "");
    EXPECT_EQ(cipher.size(), 16u);
    EXPECT_EQ(cipher, BlowfishEncryptString(bytes, "\0"sv));
    EXPECT_EQ(cipher, BlowfishEncryptString(bytes, "\0\0\0\0\0\0\0\0"sv));
    EXPECT_NE(cipher, BlowfishEncryptString(bytes, "\1"sv));
    EXPECT_EQ(BlowfishDecryptString(cipher, ""), bytes);
    EXPECT_EQ(DecipherText(EncipherText("pw", "", 64), ""), "pw");
}

TEST(Blowfish, EncryptingPadsWithOneToEightBytesOfTheirCount) {
    EXPECT_EQ(BlowfishEncryptString("", kSettingsKey), "");
    EXPECT_EQ(BlowfishDecryptString("", kSettingsKey), "");
    for (std::size_t length = 1; length <= 24; ++length) {
        SCOPED_TRACE(length);
        // Content that ends in would-be padding bytes must survive too.
        std::string bytes(length, '\x01');
        bytes.front() = 'x';
        const std::string cipher = BlowfishEncryptString(bytes, kSettingsKey);
        const std::size_t padding = 8 - length % 8;
        ASSERT_EQ(cipher.size(), length + padding);
        const std::string lastBlock = cipher.substr(cipher.size() - 8);
        BlowfishBlock block{};
        std::copy(lastBlock.begin(), lastBlock.end(), block.begin());
        const BlowfishBlock clear = BlowfishDecipherBlock(block, kSettingsKey);
        for (std::size_t i = 8 - padding; i < 8; ++i) {
            EXPECT_EQ(clear[i], padding);
        }
        EXPECT_EQ(BlowfishDecryptString(cipher, kSettingsKey), bytes);
    }
}

TEST(Blowfish, DecryptingRemovesOnlyWellFormedPadding) {
    // Each clear text is enciphered block by block without padding, so the decrypted clear text
    // is exactly what the padding rule sees.
    const auto encipherRaw = [](std::string_view clear) {
        std::string cipher;
        for (std::size_t at = 0; at < clear.size(); at += 8) {
            BlowfishBlock block{};
            std::copy(clear.begin() + at, clear.begin() + at + 8, block.begin());
            const BlowfishBlock out = BlowfishEncipherBlock(block, kSettingsKey);
            cipher.append(out.begin(), out.end());
        }
        return cipher;
    };
    struct Case {
        std::string_view clear;
        std::string_view kept;
    };
    const Case cases[] = {
        {"abcdefg\x09"sv, "abcdefg\x09"sv},                   // 9: nothing removed
        {"abcdefg\xFF"sv, "abcdefg\xFF"sv},                   // above 8
        {"abcdefg\0"sv, "abcdefg\0"sv},                       // 0
        {"abcdefg\x01"sv, "abcdefg"sv},                       // 1 needs no company
        {"abcdef\x02\x02"sv, "abcdef"sv},                     // well formed
        {"abcdefx\x02"sv, "abcdefx\x02"sv},                   // the byte before differs
        {"abcd\x03\x04\x04\x04"sv, "abcd\x03\x04\x04\x04"sv}, // one of three differs
        {"\x08\x08\x08\x08\x08\x08\x08\x08"sv, ""sv},         // a whole padding block
        {"abcdefgh\x08\x08\x08\x08\x08\x08\x08\x08"sv, "abcdefgh"sv},
        {"\x07\x08\x08\x08\x08\x08\x08\x08"sv, "\x07\x08\x08\x08\x08\x08\x08\x08"sv},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toHex(c.clear));
        EXPECT_EQ(BlowfishDecryptString(encipherRaw(c.clear), kSettingsKey), c.kept);
    }
}

TEST(Blowfish, DecryptingLeavesATrailingPartialBlockAsItIs) {
    const std::string whole = BlowfishEncryptString("1234567", kSettingsKey); // one block
    ASSERT_EQ(whole.size(), 8u);
    // The partial tail is not deciphered, but the padding rule reads its last bytes.
    EXPECT_EQ(BlowfishDecryptString(whole + "\x05\x02\x02", kSettingsKey), "1234567\x01\x05"sv);
    EXPECT_EQ(BlowfishDecryptString(whole + "xyz", kSettingsKey), "1234567\x01xyz"sv);
    // Shorter than a block: nothing is deciphered; padding longer than the text stays.
    EXPECT_EQ(BlowfishDecryptString("\x03\x03"sv, kSettingsKey), "\x03\x03"sv);
    EXPECT_EQ(BlowfishDecryptString("ab\x01"sv, kSettingsKey), "ab");
}

TEST(PasswordCipher, EncipherTextZeroFillsToTheMinimumLength) {
    struct Case {
        std::size_t length;
        std::size_t cipherLength;
    };
    const Case cases[] = {{0, 72},  {1, 72},  {63, 72}, {64, 72},  {65, 72},
                          {70, 72}, {71, 72}, {72, 80}, {100, 104}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string text(c.length, 'p');
        const std::string cipher = EncipherText(text, kSettingsKey, 64);
        EXPECT_EQ(cipher.size(), c.cipherLength);
        EXPECT_EQ(DecipherText(cipher, kSettingsKey), text);
    }
    EXPECT_EQ(EncipherText("", kSettingsKey, 0), "");
    EXPECT_EQ(EncipherText("abc", kSettingsKey, 0).size(), 8u);
}

TEST(PasswordCipher, TheEmptyPasswordIsStoredAsNinetySixCharacters) {
    const std::string cipher = EncipherText("", kSettingsKey, 64);
    ASSERT_EQ(cipher.size(), 72u);
    const std::string stored = Base64Encode(cipher, 0);
    EXPECT_EQ(stored.size(), 96u);
    EXPECT_EQ(DecipherText(Base64Decode(stored), kSettingsKey), "");
    EXPECT_EQ(DecipherText("", kSettingsKey), "");
}

TEST(PasswordCipher, PasswordsRoundTripThroughTheStoredForm) {
    const std::string passwords[] = {
        "a",
        "hunter2",
        "pass word with spaces",
        "\xE9t\xE9 \xA3\xFF\x80",           // ANSI bytes above 0x7F
        "\x01\x02\x03\x04\x05\x06\x07\x08", // bytes that look like padding
        std::string(63, 'x'),
        std::string(64, 'y'),
        std::string(200, 'z'),
    };
    for (const std::string& password : passwords) {
        SCOPED_TRACE(toHex(password));
        const std::string stored = Base64Encode(EncipherText(password, kSettingsKey, 64), 0);
        if (password.size() < 64) {
            EXPECT_EQ(stored.size(), 96u);
        }
        EXPECT_EQ(stored.find_first_of("\r\n"), std::string::npos);
        EXPECT_EQ(DecipherText(Base64Decode(stored), kSettingsKey), password);
    }
}

TEST(PasswordCipher, DecipherTextCutsBeforeTheFirstZeroByte) {
    EXPECT_EQ(DecipherText(EncipherText("ab\0cd"sv, kSettingsKey, 64), kSettingsKey), "ab");
    EXPECT_EQ(DecipherText(EncipherText("\0secret"sv, kSettingsKey, 64), kSettingsKey), "");
}

TEST(PasswordCipher, AWrongKeyOrLengthGivesSomeTextAndNoFailure) {
    const std::string cipher = EncipherText("hunter2", kSettingsKey, 64);
    std::string plain;
    EXPECT_NO_THROW(plain = DecipherText(cipher, "another key"));
    EXPECT_NE(plain, "hunter2");
    EXPECT_EQ(plain.find('\0'), std::string::npos);
    EXPECT_NO_THROW(DecipherText(cipher.substr(0, 13), kSettingsKey));
    EXPECT_NO_THROW(DecipherText("x", kSettingsKey));
}
