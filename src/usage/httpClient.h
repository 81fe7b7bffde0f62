// The HTTP client unit. It starts with the URI handling the client builds on: splitting a URL
// into the pieces a request needs, and encoding text to stand in a URL query.
#pragma once

#include "lib/runtime/DateTime.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantle {

// A URL split into its pieces. Parsing never fails: whatever the text, every field is set, the
// ones the text does not have left empty. A request names its object by path + document +
// params; the user information and the bookmark are never sent.
class Turi {
public:
    explicit Turi(std::string_view text);

    std::string url;      // the text as given
    std::string path;     // directory part; "/" first and last in an absolute URL
    std::string params;   // query, beginning with its "?" (or "=" when the URL has no "?")
    std::string protocol; // scheme, in lower case
    std::string document; // file name after the last "/" of the path
    std::string port;     // as written; empty when absent
    std::string password; // user information after its first ":"; empty without a user name
    std::string host;     // an IPv6 literal without its brackets
    std::string userName; // user information before its first ":"
    std::string bookmark; // fragment after "#"
};

// Form-style encoding of a query value: letters and "*-.@_" stay, a space becomes "+", every
// other byte (digits included) becomes "%" and two upper-case hexadecimal digits. Encoding
// stops at a zero byte.
std::string urlEncode(std::string_view text);

// libcurl's process-wide set-up and clean-up. A program holds one in main, before it starts any
// thread, for as long as it makes requests.
class CurlGlobal {
public:
    CurlGlobal(); // raises Error when libcurl cannot start
    ~CurlGlobal();
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;
};

// A blocking HTTP and HTTPS client, one thread at a time. A request is HTTP/1.0, follows up to
// 10 redirects (never from https to http), uses the proxy of the standard environment variables
// and checks the server's certificate and host name. Every failure raises TfetchFailure with its
// kind and text: libcurl's for a transfer that failed, the status code and reason phrase for a
// status of 300 or more, the limit for an answer over one.
class ThttpClient {
public:
    static constexpr std::string_view defaultAgent = "zintra/http";

    // Request methods; any other code sends an empty verb.
    static constexpr std::int32_t methodGet = 0;
    static constexpr std::int32_t methodPost = 1;     // the body as it is, no content type
    static constexpr std::int32_t methodPostForm = 2; // with the form content type
    static constexpr std::int32_t methodHead = 3;

    ThttpClient();
    ~ThttpClient();
    ThttpClient(const ThttpClient&) = delete;
    ThttpClient& operator=(const ThttpClient&) = delete;

    // Milliseconds allowed for the connect and for each stretch without progress while sending
    // or receiving; 0 leaves libcurl's own limits.
    std::uint32_t timeout = 60000;
    // Milliseconds one request may take in all, every try and redirect included, however the
    // server trickles; 0 sets no end.
    std::uint32_t deadline = 120000;
    // The most bytes a response body may have; a larger one fails before its excess is kept.
    // 0 sets no limit.
    std::size_t maxBodySize = 1024 * 1024;
    // When set, a request ends as cancelled within about a second of it turning true.
    const std::atomic<bool>* cancel = nullptr;
    std::string referrer;
    std::int32_t attempts = 1;     // tries of one request in all
    std::int32_t retryDelay = 100; // milliseconds before a further try
    // The last response: the reason phrase, the status, the header pairs (names in lower case)
    // and Last-Modified as local time (0 when absent or unreadable).
    std::string statusText;
    std::int32_t statusCode = 0;
    std::vector<std::pair<std::string, std::string>> headers;
    TDateTime lastModified = 0;
    std::string proxyPassword;
    std::string proxyUserName; // when not empty, both proxy credentials are sent
    std::string caFile;        // certificates to trust; empty trusts the system's store

    const std::string& agent() const { return agent_; }
    // A different agent closes the session, so the next request opens one with it.
    void setAgent(std::string_view text);

    void get(std::string_view url, std::ostream& target);
    // Appends the response body to target at its current position, also when the status then
    // fails the request; a failed try keeps what it appended. An exception of the stream itself
    // passes through as it is, without a further try.
    void request(std::int32_t method, std::string_view url, std::ostream& target,
                 std::string_view body);
    // The value of the first response header of that name, in any case; empty when none.
    std::string header(std::string_view name) const;
    // Reads a header block as received (status line first) into the fields above.
    void parseHeaders(std::string_view raw);

private:
    struct Session;

    void attempt(std::int32_t method, const Turi& uri, std::ostream& target, std::string_view body,
                 std::optional<std::chrono::steady_clock::time_point> end);

    std::string agent_;
    std::unique_ptr<Session> internetHandle_; // opened by the first request
};

// An HTTP date (RFC 1123, RFC 850 or the C library's form, or with a numeric zone offset) as
// local time; 0 for an empty or unreadable text. Two-digit years below 80 are 20xx.
TDateTime parseHttpDate(std::string_view text);

} // namespace vantle
