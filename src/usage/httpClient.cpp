// The HTTP client unit: URI parsing, URL encoding, the HTTP date reader and the client itself,
// over libcurl's easy interface.
#include "httpClient.h"

#include "failures.h"

#include "lib/runtime/Error.h"
#include "lib/runtime/Strings.h"

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <exception>
#include <ostream>
#include <thread>

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

// ---- HTTP dates ----------------------------------------------------------------------------

namespace {

void trimStart(std::string& text) {
    std::size_t first = 0;
    while (first < text.size() && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    text.erase(0, first);
}

std::int32_t intOr(std::string_view text, std::int32_t fallback) {
    std::int32_t value = 0;
    return runtime::tryStrToInt(text, value) ? value : fallback;
}

// 1..12, or 0 when the text is no month abbreviation.
std::int32_t monthNumber(std::string_view text) {
    static constexpr std::string_view months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                  "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const std::string upper = runtime::asciiUpperCase(text);
    for (std::int32_t i = 0; i < 12; ++i)
        if (upper == months[i])
            return i + 1;
    return 0;
}

bool isDayName(std::string_view text) {
    static constexpr std::string_view days[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    const std::string upper = runtime::asciiUpperCase(text);
    for (const std::string_view day : days)
        if (upper == day)
            return true;
    return false;
}

std::string cutHead(std::string& text, char separator) {
    std::string_view rest = text;
    std::string head(cutHead(rest, separator));
    text = std::string(rest);
    return head;
}

} // namespace

TDateTime parseHttpDate(std::string_view value) {
    std::string text = runtime::Trim(value);
    if (text.empty())
        return 0.0;

    if (text.size() >= 3 && isDayName(std::string_view(text).substr(0, 3))) {
        if (text.size() > 3 && text[3] == ',' && (text.size() == 4 || text[4] != ' '))
            text.insert(4, 1, ' ');
        if (const std::size_t space = text.find(' '); space != npos)
            text.erase(0, space + 1);
        trimStart(text);
    }

    // RFC 850 writes 06-Nov-94; the other forms separate the date's fields by spaces.
    const std::size_t dash = text.find('-', 1);
    const char separator = dash != npos && dash < text.find(' ') ? '-' : ' ';
    const auto readField = [&text, separator] {
        std::string field = cutHead(text, separator);
        trimStart(text);
        return field;
    };

    std::int32_t day = 1;
    std::int32_t month = 0;
    if (monthNumber(std::string_view(text).substr(0, text.find(separator))) != 0) {
        month = monthNumber(readField());
        day = intOr(readField(), 1);
    } else {
        day = intOr(readField(), 1);
        month = monthNumber(readField());
    }

    // The C library's form puts the time before the year.
    std::string yearText = cutHead(text, ' ');
    std::int32_t year = intOr(yearText, 1900);
    if (year == 1900) {
        year = intOr(text, 1900);
        text = std::move(yearText);
    }
    if (year < 80)
        year += 2000;
    else if (year < 100)
        year += 1900;

    bool am = false;
    bool pm = false;
    if (const std::size_t at = text.find("AM"); at != npos) {
        text.resize(at);
        am = true;
    }
    if (const std::size_t at = text.find("PM"); at != npos) {
        text.resize(at);
        pm = true;
    }

    std::int32_t hour = 0;
    std::int32_t minute = 0;
    std::int32_t second = 0;
    if (text.find(':') != npos) {
        std::string time = cutHead(text, ' ');
        trimStart(text);
        hour = intOr(cutHead(time, ':'), 0);
        minute = intOr(cutHead(time, ':'), 0);
        second = intOr(time, 0);
        if (am) {
            if (hour == 12)
                hour = 0;
        } else if (pm && hour < 12) {
            hour += 12;
        }
    }

    TDateTime date = 0.0;
    TDateTime dateAndTime = 0.0;
    if (!runtime::tryEncodeDateTime({year, month, day, 0, 0, 0, 0}, date) ||
        !runtime::tryEncodeDateTime({year, month, day, hour, minute, second, 0}, dateAndTime))
        return 0.0;

    trimStart(text);
    std::int64_t offsetMinutes = 0;
    if (text.size() > 4 && (text[0] == '+' || text[0] == '-')) {
        offsetMinutes = intOr(text.substr(1, 2), 0) * 60 + intOr(text.substr(3, 2), 0);
        if (text[0] == '-')
            offsetMinutes = -offsetMinutes;
    }

    // Through Unix time, so the local offset is the one in force at that moment rather than
    // today's.
    const auto days =
        static_cast<std::int64_t>(date) - static_cast<std::int64_t>(runtime::UnixDateDelta);
    const std::int64_t seconds = (std::int64_t{hour} * 60 + minute - offsetMinutes) * 60 + second;
    const std::int64_t utc = days * 86400 + seconds;
    return runtime::unixToLocal(static_cast<std::time_t>(utc));
}

// ---- The client ------------------------------------------------------------------------------

namespace {

struct CurlDeleter {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

struct CurlListDeleter {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

// libcurl's texts end in a line break now and then; a message ends at its last word.
std::string messageText(std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return text;
}

// The kind a person is told about; the codes not named here are the client's own mistakes.
TfailureKind kindOf(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_PARTIAL_FILE:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PROXY:
        return TfailureKind::unreachable;
    case CURLE_OPERATION_TIMEDOUT:
        return TfailureKind::timedOut;
    case CURLE_FILESIZE_EXCEEDED:
        return TfailureKind::tooLarge;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_USE_SSL_FAILED:
        return TfailureKind::insecure;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP_RETURNED_ERROR:
    case CURLE_TOO_MANY_REDIRECTS:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
        return TfailureKind::serverFault;
    default:
        return TfailureKind::unexpected;
    }
}

void check(CURLcode code) {
    if (code != CURLE_OK)
        throw TfetchFailure(kindOf(code), messageText(curl_easy_strerror(code)));
}

template <typename Value> void setOption(CURL* handle, CURLoption option, Value value) {
    check(curl_easy_setopt(handle, option, value));
}

void append(CurlList& list, const char* line) {
    curl_slist* const grown = curl_slist_append(list.get(), line);
    if (grown == nullptr)
        check(CURLE_OUT_OF_MEMORY);
    (void)list.release(); // now owned by grown
    list.reset(grown);
}

// Header lines of one response, all together; real ones take a few hundred bytes.
constexpr std::size_t MaxHeaderBytes = 64 * 1024;

// What the callbacks of one try share with it.
struct Transfer {
    CURL* handle;
    std::ostream& target;
    std::string rawHeaders{}; // of the latest response only
    std::exception_ptr failure{};
    bool secure = false;    // a request of this try went over https
    bool downgrade = false; // a redirect from https to http was refused
    // The send and receive time-out: the longest stretch without a byte either way.
    std::chrono::milliseconds stallLimit{0};
    std::chrono::steady_clock::time_point lastProgress = std::chrono::steady_clock::now();
    curl_off_t received = 0;
    curl_off_t sent = 0;
    bool timedOut = false;
    // The end of the whole request, whatever the server trickles; none when not set.
    std::optional<std::chrono::steady_clock::time_point> deadline{};
    bool pastDeadline = false;
    const std::atomic<bool>* cancel = nullptr;
    bool cancelled = false;
    std::size_t bodyLimit = 0; // 0: no limit
    std::size_t bodyBytes = 0;
    std::string tooLarge{}; // what went over its limit
};

// libcurl calls this about once a second while a transfer waits, more often while it moves.
int watchProgress(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
    auto& transfer = *static_cast<Transfer*>(context);
    const auto now = std::chrono::steady_clock::now();
    if (transfer.cancel != nullptr && transfer.cancel->load()) {
        transfer.cancelled = true;
        return 1;
    }
    if (transfer.deadline && now >= *transfer.deadline) {
        transfer.pastDeadline = true;
        return 1;
    }
    if (transfer.stallLimit.count() == 0)
        return 0;
    if (received != transfer.received || sent != transfer.sent) {
        transfer.received = received;
        transfer.sent = sent;
        transfer.lastProgress = now;
    } else if (now - transfer.lastProgress >= transfer.stallLimit) {
        transfer.timedOut = true;
        return 1;
    }
    return 0;
}

std::size_t receiveBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    const std::size_t length = size * count;
    // Refused before it is kept: an answer over the limit never reaches the target.
    if (transfer.bodyLimit != 0 && length > transfer.bodyLimit - transfer.bodyBytes) {
        transfer.tooLarge =
            "The answer is larger than " + std::to_string(transfer.bodyLimit) + " bytes";
        return 0;
    }
    transfer.bodyBytes += length;
    try {
        transfer.target.write(data, static_cast<std::streamsize>(length));
        return transfer.target ? length : 0;
    } catch (...) {
        transfer.failure = std::current_exception();
        return 0;
    }
}

// libcurl hands over the header lines of every response, redirects and interim (1xx) ones
// included; each begins with its status line, so a status line starts the text afresh.
std::size_t receiveHeader(char* data, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    const std::string_view line(data, size * count);
    try {
        transfer.lastProgress = std::chrono::steady_clock::now();
        if (line.starts_with("HTTP/"))
            transfer.rawHeaders.clear();
        if (line.size() > MaxHeaderBytes - transfer.rawHeaders.size()) {
            transfer.tooLarge =
                "The answer's headers are larger than " + std::to_string(MaxHeaderBytes) + " bytes";
            return 0;
        }
        transfer.rawHeaders += line;
        return line.size();
    } catch (...) {
        transfer.failure = std::current_exception();
        return 0;
    }
}

// Runs before each request of a try, the first and every redirect: once a request went over
// https, a redirect to http would send what the server put in its location in clear.
int beforeRequest(void* context, char*, char*, int, int) {
    auto& transfer = *static_cast<Transfer*>(context);
    char* url = nullptr;
    if (curl_easy_getinfo(transfer.handle, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK ||
        url == nullptr)
        return CURL_PREREQFUNC_ABORT;
    if (runtime::asciiLowerCase(std::string_view(url).substr(0, 8)) == "https://") {
        transfer.secure = true;
    } else if (transfer.secure) {
        transfer.downgrade = true;
        return CURL_PREREQFUNC_ABORT;
    }
    return CURL_PREREQFUNC_OK;
}

// Names the object as the URI has it, with the port rule of the client: a missing or
// non-numeric port is the scheme's own. The user information is never sent, so a host that
// would read as one again ("a@b") is refused.
std::string requestUrl(const Turi& uri) {
    if (uri.host.find('@') != std::string::npos)
        check(CURLE_URL_MALFORMAT);
    const bool secure = uri.protocol == "https";
    std::int32_t port = 0;
    if (uri.port.empty() || !runtime::tryStrToInt(uri.port, port))
        port = secure ? 443 : 80;
    std::string url = secure ? "https://" : "http://";
    if (uri.host.find(':') != std::string::npos)
        url += '[' + uri.host + ']';
    else
        url += uri.host;
    url += ':' + std::to_string(port);
    url += uri.path + uri.document + uri.params;
    return url;
}

} // namespace

struct ThttpClient::Session {
    CurlHandle handle;
    char errorText[CURL_ERROR_SIZE] = {};
};

CurlGlobal::CurlGlobal() {
    check(curl_global_init(CURL_GLOBAL_DEFAULT));
}

CurlGlobal::~CurlGlobal() {
    curl_global_cleanup();
}

ThttpClient::ThttpClient()
    : agent_(defaultAgent) {}

ThttpClient::~ThttpClient() = default;

void ThttpClient::setAgent(std::string_view text) {
    if (text == agent_)
        return;
    agent_ = text;
    internetHandle_.reset();
}

void ThttpClient::get(std::string_view url, std::ostream& target) {
    request(methodGet, url, target, {});
}

void ThttpClient::request(std::int32_t method, std::string_view url, std::ostream& target,
                          std::string_view body) {
    if (!internetHandle_) {
        auto session = std::make_unique<Session>();
        session->handle.reset(curl_easy_init());
        if (!session->handle)
            check(CURLE_FAILED_INIT);
        internetHandle_ = std::move(session);
    }
    const Turi uri(url);
    std::optional<std::chrono::steady_clock::time_point> end;
    if (deadline != 0)
        end = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadline);
    for (std::int32_t tried = 1;; ++tried) {
        try {
            attempt(method, uri, target, body, end);
            return;
        } catch (const TfetchFailure& failure) {
            // Neither a cancel nor the end of the time allowed is worth another try.
            if (tried >= attempts || failure.kind() == TfailureKind::cancelled ||
                failure.kind() == TfailureKind::timedOut)
                throw;
        } catch (const Error&) {
            if (tried >= attempts)
                throw;
        }
        if (retryDelay > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(retryDelay));
    }
}

void ThttpClient::attempt(std::int32_t method, const Turi& uri, std::ostream& target,
                          std::string_view body,
                          std::optional<std::chrono::steady_clock::time_point> end) {
    CURL* const handle = internetHandle_->handle.get();
    // The options of a try point into this frame; none may outlive it.
    struct ResetOptions {
        CURL* handle;
        ~ResetOptions() { curl_easy_reset(handle); }
    } resetOptions{handle};

    Transfer transfer{.handle = handle, .target = target};
    char* const errorText = internetHandle_->errorText;
    errorText[0] = '\0';
    setOption(handle, CURLOPT_ERRORBUFFER, errorText);

    const std::string url = requestUrl(uri);
    setOption(handle, CURLOPT_URL, url.c_str());
    setOption(handle, CURLOPT_PATH_AS_IS, 1L);
    setOption(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    setOption(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    setOption(handle, CURLOPT_NOSIGNAL, 1L);
    if (!agent_.empty())
        setOption(handle, CURLOPT_USERAGENT, agent_.c_str());
    if (!referrer.empty())
        setOption(handle, CURLOPT_REFERER, referrer.c_str());

    setOption(handle, CURLOPT_FOLLOWLOCATION, 1L);
    setOption(handle, CURLOPT_MAXREDIRS, 10L);
    setOption(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    setOption(handle, CURLOPT_PREREQFUNCTION, &beforeRequest);
    setOption(handle, CURLOPT_PREREQDATA, &transfer);

    if (!proxyUserName.empty()) {
        setOption(handle, CURLOPT_PROXYUSERNAME, proxyUserName.c_str());
        setOption(handle, CURLOPT_PROXYPASSWORD, proxyPassword.c_str());
    }
    if (!caFile.empty())
        setOption(handle, CURLOPT_CAINFO, caFile.c_str());

    if (timeout != 0) {
        // libcurl's own low-speed limit averages over several seconds, so a stall after a burst
        // would go unnoticed for longer than the time-out; the progress callback counts from
        // the last byte instead.
        setOption(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout));
        transfer.stallLimit = std::chrono::milliseconds(timeout);
    }
    if (end) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            *end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            throw TfetchFailure(TfailureKind::timedOut, "No time was left for the request after " +
                                                            std::to_string(deadline) +
                                                            " milliseconds");
        setOption(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
        transfer.deadline = end;
    }
    if (maxBodySize != 0) {
        // An announced length is refused before the body comes; the write callback counts the
        // rest.
        setOption(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBodySize));
        transfer.bodyLimit = maxBodySize;
    }
    transfer.cancel = cancel;
    setOption(handle, CURLOPT_NOPROGRESS, 0L);
    setOption(handle, CURLOPT_XFERINFOFUNCTION, &watchProgress);
    setOption(handle, CURLOPT_XFERINFODATA, &transfer);

    // No header beyond what HTTP/1.0 needs: libcurl's own Accept, Expect and form content
    // type go, unless the method asks for the latter.
    CurlList requestHeaders;
    append(requestHeaders, "Accept:");
    switch (method) {
    case methodGet:
        setOption(handle, CURLOPT_HTTPGET, 1L);
        break;
    case methodPost:
    case methodPostForm:
        setOption(handle, CURLOPT_POST, 1L);
        setOption(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        setOption(handle, CURLOPT_POSTFIELDS, body.empty() ? "" : body.data());
        append(requestHeaders, method == methodPostForm
                                   ? "Content-Type: application/x-www-form-urlencoded"
                                   : "Content-Type:");
        append(requestHeaders, "Expect:");
        break;
    case methodHead:
        setOption(handle, CURLOPT_NOBODY, 1L);
        break;
    default:
        setOption(handle, CURLOPT_CUSTOMREQUEST, "");
        break;
    }
    setOption(handle, CURLOPT_HTTPHEADER, requestHeaders.get());

    setOption(handle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    setOption(handle, CURLOPT_HEADERFUNCTION, &receiveHeader);
    setOption(handle, CURLOPT_HEADERDATA, &transfer);
    setOption(handle, CURLOPT_WRITEFUNCTION, &receiveBody);
    setOption(handle, CURLOPT_WRITEDATA, &transfer);

    transfer.lastProgress = std::chrono::steady_clock::now();
    const CURLcode result = curl_easy_perform(handle);
    if (!transfer.rawHeaders.empty())
        parseHeaders(transfer.rawHeaders);
    if (transfer.failure)
        std::rethrow_exception(transfer.failure);
    if (transfer.cancelled)
        throw TfetchFailure(TfailureKind::cancelled, "The transfer was cancelled");
    if (transfer.downgrade)
        throw TfetchFailure(TfailureKind::insecure, "Redirect from https to http refused");
    if (!transfer.tooLarge.empty())
        throw TfetchFailure(TfailureKind::tooLarge, transfer.tooLarge);
    if (transfer.pastDeadline)
        throw TfetchFailure(TfailureKind::timedOut, "Operation timed out after " +
                                                        std::to_string(deadline) +
                                                        " milliseconds in all");
    if (transfer.timedOut)
        throw TfetchFailure(TfailureKind::timedOut, curl_easy_strerror(CURLE_OPERATION_TIMEDOUT));
    if (result == CURLE_FILESIZE_EXCEEDED)
        throw TfetchFailure(TfailureKind::tooLarge,
                            "The answer is larger than " + std::to_string(maxBodySize) + " bytes");
    if (result != CURLE_OK)
        throw TfetchFailure(
            kindOf(result),
            messageText(errorText[0] != '\0' ? errorText : curl_easy_strerror(result)));
    if (statusCode >= 300)
        throw TfetchFailure(TfailureKind::serverFault,
                            statusText.empty() ? std::to_string(statusCode)
                                               : std::to_string(statusCode) + ' ' + statusText);
}

void ThttpClient::parseHeaders(std::string_view raw) {
    headers.clear();
    statusText.clear();
    statusCode = 0;
    lastModified = 0;

    bool statusLine = true;
    while (!raw.empty()) {
        const std::size_t end = raw.find_first_of("\r\n");
        const std::string_view line = raw.substr(0, end);
        raw = end == npos ? std::string_view()
                          : raw.substr(end + (raw.substr(end, 2) == "\r\n" ? 2 : 1));
        if (statusLine) {
            statusLine = false;
            // "HTTP/1.1 404 Not Found"; the reason phrase may be missing.
            if (const std::size_t space = line.find(' '); space != npos) {
                const std::string status = runtime::Trim(line.substr(space + 1));
                std::string_view reason = status;
                statusCode = intOr(cutHead(reason, ' '), 0);
                statusText = runtime::Trim(reason);
            }
            continue;
        }
        if (const std::size_t colon = line.find(':'); colon != npos)
            headers.emplace_back(runtime::asciiLowerCase(line.substr(0, colon)),
                                 runtime::Trim(line.substr(colon + 1)));
    }

    if (const std::string value = header("last-modified"); !value.empty())
        lastModified = parseHttpDate(value);
}

std::string ThttpClient::header(std::string_view name) const {
    const std::string wanted = runtime::asciiLowerCase(name);
    for (const auto& [key, value] : headers)
        if (key == wanted)
            return value;
    return {};
}

} // namespace vantle
