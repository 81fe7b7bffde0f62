// The HTTP client unit. It starts with the URI handling the client builds on: splitting a URL
// into the pieces a request needs, and encoding text to stand in a URL query.
#pragma once

#include <string>
#include <string_view>

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

} // namespace vantle
