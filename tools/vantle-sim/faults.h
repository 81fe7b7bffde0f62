// The faults the stand-in service can answer with instead of the usage document.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace vantle::sim {

enum class TfaultKind {
    status500,
    status503,
    stall,        // answers only after StallSeconds, longer than the program's time-out
    truncated,    // the connection closes half-way through a body of announced length
    truncatedXml, // a complete answer whose document is cut off half-way
    notXml,       // an HTML error page
    empty,
    redirect, // to location, or to the same request on this server when location is empty
    error,    // a document with an error element
    trickle,  // the document, announced whole, one byte a second
    answer,   // a 200 answer holding the bytes of a file, read at each request
};

inline constexpr int StallSeconds = 90;

struct Tfault {
    TfaultKind kind = TfaultKind::error;
    std::string location; // redirect: where to; answer: the file
};

// Which request gets which fault: a numbered fault only its request, an unnumbered one every
// other request.
class TfaultPlan {
public:
    // Adds one --fault value, NAME or NAME@N. Raises Error for an unknown name, a request number
    // below 1, a redirect away from loopback, or a second fault for the same requests.
    void add(const std::string& text);
    // The fault of the request with that number, counting from 1.
    std::optional<Tfault> faultFor(std::uint64_t request) const;

    static const char* help();

private:
    std::optional<Tfault> always_;
    std::map<std::uint64_t, Tfault> numbered_;
};

} // namespace vantle::sim
