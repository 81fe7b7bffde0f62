// The HTTP client unit: URI parsing and URL encoding.
#include "httpClient.h"

#include "lib/runtime/Strings.h"

namespace vantle {
namespace {

constexpr auto npos = std::string_view::npos;

// Returns the part of text before the first separator and leaves in text the part after it;
// without a separator, returns the whole text and leaves it empty.
std::string_view cutHead(std::string_view& text, char separator) {
    const std::size_t at = text.find(separator);
    const std::string_view head = text.substr(0, at);
    text = at == npos ? std::string_view() : text.substr(at + 1);
    return head;
}

// The query starts at the first "?", or at the first "=" when there is no "?"; the directory
// ends at the last "/" before it, so a "/" inside the query is not taken as a directory.
void splitPath(std::string_view text, std::string& directory, std::string& document,
               std::string& params) {
    std::size_t query = text.find('?');
    if (query == npos)
        query = text.find('=');
    const std::size_t slash = query == npos ? text.rfind('/') : text.rfind('/', query);
    const std::size_t cut = slash == npos ? 0 : slash + 1; // cut <= query: text[query] is no "/"
    directory = text.substr(0, cut);
    if (query != npos) {
        params = text.substr(query);
        text = text.substr(0, query);
    }
    document = text.substr(cut);
}

void splitAuthority(std::string_view authority, Turi& uri) {
    std::string_view userInfo;
    if (const std::size_t at = authority.find('@'); at != npos) {
        userInfo = authority.substr(0, at);
        authority.remove_prefix(at + 1);
    }
    uri.userName = cutHead(userInfo, ':');
    if (!uri.userName.empty())
        uri.password = userInfo;

    const std::size_t open = authority.find('[');
    const std::size_t close = authority.find(']');
    if (open != npos && close != npos && close > open) {
        uri.host = authority.substr(open + 1, close - open - 1);
        if (const std::size_t colon = authority.find(':', close); colon != npos)
            uri.port = authority.substr(colon + 1);
    } else {
        uri.host = cutHead(authority, ':');
        uri.port = authority;
    }
}

} // namespace

Turi::Turi(std::string_view text)
    : url(text) {
    std::string_view rest = text;

    // A "://" after a "/", "?" or "#" belongs to a path or query (as in "/go?to=http://x"), not
    // to a scheme.
    const std::size_t schemeEnd = rest.find("://");
    const bool absolute =
        schemeEnd != npos && rest.substr(0, schemeEnd).find_first_of("/?#") == npos;
    if (absolute) {
        protocol = runtime::asciiLowerCase(rest.substr(0, schemeEnd));
        rest.remove_prefix(schemeEnd + 3);
        // The authority also ends at a query or fragment, so "http://host?x" names the host
        // "host". The "/" is put back as the path's first character below.
        const std::size_t end = rest.find_first_of("/?#");
        splitAuthority(rest.substr(0, end), *this);
        rest = end == npos ? std::string_view() : rest.substr(rest[end] == '/' ? end + 1 : end);
    }

    // The fragment goes first: a "/", "?" or "=" after the "#" must not reach the path or the
    // query, which are sent.
    if (const std::size_t hash = rest.find('#'); hash != npos) {
        bookmark = rest.substr(hash + 1);
        rest = rest.substr(0, hash);
    }

    splitPath(rest, path, document, params);
    if (absolute)
        path.insert(0, 1, '/');
}

std::string urlEncode(std::string_view text) {
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char c : text) {
        if (c == '\0')
            break;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '*' || c == '-' || c == '.' ||
            c == '@' || c == '_') {
            encoded += c;
        } else if (c == ' ') {
            encoded += '+';
        } else {
            const auto byte = static_cast<unsigned char>(c);
            encoded += '%';
            encoded += hexDigits[byte >> 4];
            encoded += hexDigits[byte & 0x0F];
        }
    }
    return encoded;
}

} // namespace vantle
