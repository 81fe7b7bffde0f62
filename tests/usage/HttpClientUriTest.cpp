// Tests of the HTTP client's URI handling: splitting URLs into their pieces and URL encoding.
#include "usage/httpClient.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

using namespace vantle;

namespace {

struct UriCase {
    const char* url;
    const char* protocol;
    const char* userName;
    const char* password;
    const char* host;
    const char* port;
    const char* path;
    const char* document;
    const char* params;
    const char* bookmark;
};

// Columns: url, protocol, userName, password, host, port, path, document, params, bookmark.
const UriCase kUris[] = {
    {"https://host:8080/cgi-bin/x.cgi?a=1#top", "https", "", "", "host", "8080", "/cgi-bin/",
     "x.cgi", "?a=1", "top"},
    {"https://host/cgi-bin/new/volume_usage_xml.cgi"
     "?action=login&username=%USERNAME%&password=%PASSWORD%",
     "https", "", "", "host", "", "/cgi-bin/new/", "volume_usage_xml.cgi",
     "?action=login&username=%USERNAME%&password=%PASSWORD%", ""},
    {"http://host", "http", "", "", "host", "", "/", "", "", ""},
    {"http://host/", "http", "", "", "host", "", "/", "", "", ""},
    {"HTTPS://Host.Example/A.cgi", "https", "", "", "Host.Example", "", "/", "A.cgi", "", ""},
    {"http://host:/x", "http", "", "", "host", "", "/", "x", "", ""},
    // IPv6 literals lose their brackets; the port follows the "]".
    {"http://[::1]:8080/x", "http", "", "", "::1", "8080", "/", "x", "", ""},
    {"http://[fe80::1%25eth0]/", "http", "", "", "fe80::1%25eth0", "", "/", "", "", ""},
    {"http://]x[:80/", "http", "", "", "]x[", "80", "/", "", "", ""},
    // User information.
    {"ftp://john:pa:ss@host:21/pub/", "ftp", "john", "pa:ss", "host", "21", "/pub/", "", "", ""},
    {"http://john@host/", "http", "john", "", "host", "", "/", "", "", ""},
    {"http://:secret@host/", "http", "", "", "host", "", "/", "", "", ""},
    {"http://u:p@[::1]:81/", "http", "u", "p", "::1", "81", "/", "", "", ""},
    // The query starts at the first "?", or at the first "=" without a "?".
    {"http://host/a?x=/y", "http", "", "", "host", "", "/", "a", "?x=/y", ""},
    {"http://host/a/b=c", "http", "", "", "host", "", "/a/", "b", "=c", ""},
    {"http://host/a=b/c", "http", "", "", "host", "", "/", "a", "=b/c", ""},
    {"http://host/a=b?c=/d", "http", "", "", "host", "", "/", "a=b", "?c=/d", ""},
    {"http://host/a/?x", "http", "", "", "host", "", "/a/", "", "?x", ""},
    // Fragments are never part of the path, document or query.
    {"http://host/a?x=1#frag", "http", "", "", "host", "", "/", "a", "?x=1", "frag"},
    {"http://host/a#x/y?z=1", "http", "", "", "host", "", "/", "a", "", "x/y?z=1"},
    {"http://host/a/b#k=v", "http", "", "", "host", "", "/a/", "b", "", "k=v"},
    {"http://host/a#", "http", "", "", "host", "", "/", "a", "", ""},
    // The authority ends at a query or fragment too.
    {"http://host?x=1", "http", "", "", "host", "", "/", "", "?x=1", ""},
    {"http://host:81#top", "http", "", "", "host", "81", "/", "", "", "top"},
    // Relative forms get no "/" added.
    {"dir/file.cgi?x=1", "", "", "", "", "", "dir/", "file.cgi", "?x=1", ""},
    {"/a/b/c.html", "", "", "", "", "", "/a/b/", "c.html", "", ""},
    {"file.html#top", "", "", "", "", "", "", "file.html", "", "top"},
    {"/go?to=http://other/x", "", "", "", "", "", "/", "go", "?to=http://other/x", ""},
    // Hostile or degenerate texts.
    {"", "", "", "", "", "", "", "", "", ""},
    {"http", "", "", "", "", "", "", "http", "", ""},
    {"http://", "http", "", "", "", "", "/", "", "", ""},
    {"://", "", "", "", "", "", "/", "", "", ""},
    {"?", "", "", "", "", "", "", "", "?", ""},
    {"#", "", "", "", "", "", "", "", "", ""},
    {"=", "", "", "", "", "", "", "", "=", ""},
    {"http://@", "http", "", "", "", "", "/", "", "", ""},
    {"http://[", "http", "", "", "[", "", "/", "", "", ""},
    {"http://[]:", "http", "", "", "", "", "/", "", "", ""},
};

TEST(HttpClientUriTest, SplitsUrlsIntoTheirPieces) {
    for (const UriCase& c : kUris) {
        SCOPED_TRACE(c.url);
        const Turi uri(c.url);
        EXPECT_EQ(uri.url, c.url);
        EXPECT_EQ(uri.protocol, c.protocol);
        EXPECT_EQ(uri.userName, c.userName);
        EXPECT_EQ(uri.password, c.password);
        EXPECT_EQ(uri.host, c.host);
        EXPECT_EQ(uri.port, c.port);
        EXPECT_EQ(uri.path, c.path);
        EXPECT_EQ(uri.document, c.document);
        EXPECT_EQ(uri.params, c.params);
        EXPECT_EQ(uri.bookmark, c.bookmark);
    }
}

// Every text up to five characters over the bytes that steer the parser: none may crash or
// read out of bounds (run under the sanitizers), and the pieces keep their shapes.
TEST(HttpClientUriTest, KeepsItsShapesForEveryShortText) {
    constexpr std::string_view alphabet = ":/?#=@[]a";
    std::string text;
    const auto check = [&] {
        const Turi uri(text);
        ASSERT_EQ(uri.url, text);
        const std::string objectName = uri.path + uri.document + uri.params;
        ASSERT_EQ(objectName.find('#'), std::string::npos) << text;
        ASSERT_EQ(uri.document.find_first_of("/?"), std::string::npos) << text;
        if (uri.params.empty()) {
            ASSERT_EQ(uri.document.find('='), std::string::npos) << text;
        } else {
            ASSERT_TRUE(uri.params.front() == '?' || uri.params.front() == '=') << text;
        }
        if (!uri.path.empty()) {
            ASSERT_EQ(uri.path.back(), '/') << text;
        }
        if (!uri.protocol.empty()) {
            ASSERT_EQ(uri.path.front(), '/') << text;
        }
        ASSERT_EQ((uri.host + uri.port).find_first_of("/?#"), std::string::npos) << text;
        // Nothing after the authority is lost: the text ends with document, query and fragment.
        const std::string tail = uri.document + uri.params +
                                 (text.find('#') == std::string::npos ? "" : "#" + uri.bookmark);
        ASSERT_TRUE(text.ends_with(tail)) << text;
    };
    const auto walk = [&](const auto& self, std::size_t length) -> void {
        check();
        if (length == 5 || testing::Test::HasFatalFailure())
            return;
        for (const char c : alphabet) {
            text.push_back(c);
            self(self, length + 1);
            text.pop_back();
        }
    };
    walk(walk, 0);
}

TEST(HttpClientUriTest, SplitsVeryLongUrls) {
    std::string directories;
    for (int i = 0; i < 100000; ++i)
        directories += "d/";
    const std::string query = "?q=" + std::string(100000, 'x');
    const Turi uri("http://host/" + directories + "file" + query + "#end");
    EXPECT_EQ(uri.host, "host");
    EXPECT_EQ(uri.path, "/" + directories);
    EXPECT_EQ(uri.document, "file");
    EXPECT_EQ(uri.params, query);
    EXPECT_EQ(uri.bookmark, "end");

    const Turi hostOnly("http://" + std::string(200000, 'h') + ":" + std::string(10, '9'));
    EXPECT_EQ(hostOnly.host.size(), 200000u);
    EXPECT_EQ(hostOnly.port, std::string(10, '9'));
}

struct EncodeCase {
    std::string text;
    const char* encoded;
};

const EncodeCase kEncodings[] = {
    {"john smith", "john+smith"},
    {"a1", "a%31"},
    {"", ""},
    {"AZaz*-.@_", "AZaz*-.@_"},
    {"0123456789", "%30%31%32%33%34%35%36%37%38%39"},
    {"/+%&=?#:~!", "%2F%2B%25%26%3D%3F%23%3A%7E%21"},
    {"  ", "++"},
    {"\t\r\n\x01\x7F", "%09%0D%0A%01%7F"},
    {"\xE9", "%E9"},
    {"caf\xC3\xA9", "caf%C3%A9"},
    {"\x80\xFF", "%80%FF"},
    {std::string("ab\0cd", 5), "ab"},
    {std::string("\0x", 2), ""},
};

TEST(UrlEncodeTest, EncodesByTheTable) {
    for (const EncodeCase& c : kEncodings) {
        SCOPED_TRACE(c.encoded);
        EXPECT_EQ(urlEncode(c.text), c.encoded);
    }
}

// Inverse of the encoding, to prove no byte is lost or mangled.
std::string decode(std::string_view encoded) {
    const auto hex = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
    std::string text;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '+') {
            text += ' ';
        } else if (encoded[i] == '%' && i + 2 < encoded.size()) {
            text += static_cast<char>(hex(encoded[i + 1]) * 16 + hex(encoded[i + 2]));
            i += 2;
        } else {
            text += encoded[i];
        }
    }
    return text;
}

TEST(UrlEncodeTest, EncodesEveryByteReversibly) {
    std::string bytes;
    for (int b = 1; b < 256; ++b)
        bytes += static_cast<char>(b);
    const std::string encoded = urlEncode(bytes);
    EXPECT_EQ(encoded.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                        "0123456789*-.@_+%"),
              std::string::npos);
    EXPECT_EQ(decode(encoded), bytes);
}

TEST(UrlEncodeTest, EncodesVeryLongText) {
    const std::string encoded = urlEncode(std::string(1000000, '/'));
    ASSERT_EQ(encoded.size(), 3000000u);
    EXPECT_EQ(encoded.substr(encoded.size() - 6), "%2F%2F");
}

} // namespace
