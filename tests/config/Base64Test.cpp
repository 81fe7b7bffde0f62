#include "config/Base64.h"

#include "lib/runtime/Error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTLE_HAS_ASAN 1
#endif
#endif
#ifndef VANTLE_HAS_ASAN
#define VANTLE_HAS_ASAN 0
#endif

using namespace vantle;
using testing::StrEq;
using testing::ThrowsMessage;
using namespace std::string_view_literals;

namespace {

std::string allBytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    return bytes;
}

} // namespace

TEST(Base64, EncodesAndDecodesTheRfc4648Vectors) {
    // RFC 4648 section 10, except that the system encodes the empty string as "=".
    struct Case {
        std::string_view bytes;
        const char* text;
    };
    const Case cases[] = {
        {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},      {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xFB\xFF", "+/8="}, {"\0\0\0"sv, "AAAA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Base64Encode(c.bytes, 0), c.text);
        EXPECT_EQ(Base64Decode(c.text), c.bytes);
    }
}

TEST(Base64, TheEmptyStringIsOnePaddingMark) {
    EXPECT_EQ(Base64Encode("", 0), "=");
    EXPECT_EQ(Base64Decode("="), "");
}

TEST(Base64, EveryByteValueRoundTrips) {
    const std::string bytes = allBytes();
    for (std::size_t length = 0; length <= bytes.size(); ++length) {
        SCOPED_TRACE(length);
        const std::string part = bytes.substr(bytes.size() - length);
        const std::string text = Base64Encode(part, 0);
        EXPECT_EQ(text.size(), length == 0 ? 1 : (length + 2) / 3 * 4);
        EXPECT_EQ(Base64Decode(text), part);
    }
}

TEST(Base64, LineLengthZeroWritesOneLine) {
    const std::string text = Base64Encode(std::string(300, 'x'), 0);
    EXPECT_EQ(text.size(), 400u);
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
}

TEST(Base64, APositiveLineLengthBreaksLinesWithCrLf) {
    EXPECT_EQ(Base64Encode("foobar", 4), "Zm9v\r\nYmFy");
    EXPECT_EQ(Base64Encode("foobarx", 4), "Zm9v\r\nYmFy\r\neA==");
    EXPECT_EQ(Base64Encode("foobar", 8), "Zm9vYmFy");
    EXPECT_EQ(Base64Decode(Base64Encode(allBytes(), 76)), allBytes());
}

TEST(Base64, LineBreaksAndOtherBytesOutsideTheAlphabetAreSkipped) {
    EXPECT_EQ(Base64Decode("Zm9v\r\nYmFy\r\n"), "foobar");
    EXPECT_EQ(Base64Decode("Zm9v\nYmFy\n"), "foobar");
    EXPECT_EQ(Base64Decode(" Z m\t9\x80v-\xFF"), "foo");
}

TEST(Base64, ATextWithoutAlphabetCharactersIsEmpty) {
    EXPECT_EQ(Base64Decode(""), "");
    EXPECT_EQ(Base64Decode("\r\n"), "");
    EXPECT_EQ(Base64Decode(" -*\x80"), "");
}

TEST(Base64, GroupingStopsBeforeALoneLastCharacter) {
    EXPECT_EQ(Base64Decode("Z"), "");
    EXPECT_EQ(Base64Decode("Zm9vY"), "foo"); // five characters: the fifth is ignored
    EXPECT_EQ(Base64Decode("Zm9v="), "foo");
    EXPECT_EQ(Base64Decode("Zm9vY\r\n"), "foo"); // the ignorable tail is dropped first
}

TEST(Base64, ATextEndingInsideAGroupFails) {
    const auto prematureEnd = ThrowsMessage<Error>(StrEq("Premature end of base64 data"));
    for (const char* text :
         {"Zm", "Zm9", "Zg=", "==", "Zm9vYm", "Zm9vYmF", "Zm9v\nY", "Zm9v Ym\n"}) {
        SCOPED_TRACE(text);
        EXPECT_THAT([text] { Base64Decode(text); }, prematureEnd);
    }
}

TEST(Base64, PaddingInAGroupsFirstOrSecondPlaceFails) {
    const auto prematurePadding = ThrowsMessage<Error>(StrEq("Premature padding of base64 data"));
    for (const char* text : {"Z===", "Z=9v", "=m9v", "====", "Zm9v=AAA", "Zm9vY=Fy"}) {
        SCOPED_TRACE(text);
        EXPECT_THAT([text] { Base64Decode(text); }, prematurePadding);
    }
}

TEST(Base64, DecodingEndsAtAPaddingMark) {
    EXPECT_EQ(Base64Decode("Zg==Zm9v"), "f");
    EXPECT_EQ(Base64Decode("Zm8=Zm9v"), "fo");
    EXPECT_EQ(Base64Decode("Zm9vYg==!!!!"), "foob");
    EXPECT_EQ(Base64Decode("Zg=x"), "f"); // the fourth place is not looked at after a third "="
}

TEST(Base64, AnOutputBufferThatCannotBeHadFails) {
#if defined(__SANITIZE_ADDRESS__) || VANTLE_HAS_ASAN
    GTEST_SKIP() << "AddressSanitizer aborts on an impossible allocation instead of failing it";
#endif
    // The longest byte string a string_view can name; its buffer (4 per 3 bytes, plus 4096)
    // is beyond the address space, so the encoder fails on the length alone, before it reads
    // any byte: the view points at one real byte only.
    const std::size_t length = std::string_view().max_size() / 3 * 3;
    const std::size_t buffer = length / 3 * 4 + 4096;
    const char byte = 0;
    const std::string_view huge(&byte, length);
    EXPECT_THAT([huge] { Base64Encode(huge, 0); },
                ThrowsMessage<Error>(
                    StrEq("Unable to allocate " + std::to_string(buffer) + " bytes of memory")));
}
