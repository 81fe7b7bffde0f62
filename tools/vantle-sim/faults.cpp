// Reading the --fault values and choosing a request's fault.
#include "faults.h"

#include "lib/runtime/Error.h"
#include "lib/runtime/Strings.h"
#include "usage/httpClient.h"

#include <algorithm>

namespace vantle::sim {
namespace {

struct Name {
    const char* text;
    TfaultKind kind;
};

constexpr Name names[] = {
    {"500", TfaultKind::status500},
    {"503", TfaultKind::status503},
    {"stall", TfaultKind::stall},
    {"truncated", TfaultKind::truncated},
    {"truncated-xml", TfaultKind::truncatedXml},
    {"not-xml", TfaultKind::notXml},
    {"empty", TfaultKind::empty},
    {"redirect", TfaultKind::redirect},
    {"error", TfaultKind::error},
    {"trickle", TfaultKind::trickle},
};

// Only loopback: the stand-in must never send a client out to the network.
std::string redirectTarget(const std::string& url) {
    const bool clean = std::none_of(url.begin(), url.end(), [](char c) {
        return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F;
    });
    const Turi uri(url);
    const bool loopback = uri.host == "127.0.0.1" || uri.host == "localhost" || uri.host == "::1";
    if (!clean || (uri.protocol != "http" && uri.protocol != "https") || !loopback ||
        !uri.userName.empty())
        throw Error("the redirect target must be an http or https URL on 127.0.0.1, localhost "
                    "or [::1], not \"" +
                    url + "\"");
    return url;
}

Tfault parseFault(const std::string& text) {
    Tfault fault;
    std::string name = text;
    if (name.rfind("redirect=", 0) == 0) {
        fault.location = redirectTarget(name.substr(9));
        name = "redirect";
    } else if (name.rfind("answer=", 0) == 0 && name.size() > 7) {
        fault.kind = TfaultKind::answer;
        fault.location = name.substr(7);
        return fault;
    }
    for (const Name& n : names) {
        if (name == n.text) {
            fault.kind = n.kind;
            return fault;
        }
    }
    throw Error("unknown fault \"" + text + "\"");
}

} // namespace

void TfaultPlan::add(const std::string& text) {
    std::string name = text;
    std::optional<std::uint64_t> request;
    // Only digits after the last "@" make a request number; anything else belongs to the name.
    const std::size_t at = text.rfind('@');
    if (at != std::string::npos && at + 1 < text.size() &&
        text.find_first_not_of("0123456789", at + 1) == std::string::npos) {
        std::int64_t n = 0;
        if (!runtime::tryStrToInt64(text.substr(at + 1), n) || n < 1)
            throw Error("the request number of fault \"" + text + "\" must be 1 or more");
        request = static_cast<std::uint64_t>(n);
        name = text.substr(0, at);
    }
    const Tfault fault = parseFault(name);
    if (!request) {
        if (always_)
            throw Error("only one fault may apply to every request (\"" + text + "\")");
        always_ = fault;
    } else if (!numbered_.emplace(*request, fault).second) {
        throw Error("request " + std::to_string(*request) + " has two faults (\"" + text + "\")");
    }
}

std::optional<Tfault> TfaultPlan::faultFor(std::uint64_t request) const {
    if (const auto found = numbered_.find(request); found != numbered_.end())
        return found->second;
    return always_;
}

const char* TfaultPlan::help() {
    return R"(Faults (--fault NAME for every request, NAME@N for the Nth request only, from 1):
  500, 503        that status with a short HTML page
  stall           answers only after 90 seconds, longer than a 60-second client time-out
  truncated       announces the whole document's length, sends half of it and hangs up
  truncated-xml   a complete 200 answer holding the first half of the document
  not-xml         a 200 answer holding an HTML error page
  empty           a 200 answer with an empty body
  redirect        302 to the same request on this server (a loop when it applies to every
                  request); redirect=URL: 302 to URL, which must be on loopback
  error           a document whose error element says "Service temporarily unavailable"
  trickle         the document with its whole length announced, sent one byte a second
  answer=FILE     a 200 answer (text/xml) holding the bytes of FILE as they are at the request
  Faults ignore the credentials; the numbered one wins over the one for every request.
)";
}

} // namespace vantle::sim
