// What can go wrong while getting the usage, as kinds a person can act on: one table gives each
// kind its plain sentence, and a failure carries its kind along with the technical detail.
#pragma once

#include "lib/runtime/Error.h"

#include <exception>
#include <span>
#include <string>
#include <string_view>

namespace vantle {

enum class TfailureKind {
    unreachable,       // no connection, or it broke off
    timedOut,          // no answer within the time allowed
    tooLarge,          // an answer larger than any usage document
    insecure,          // the secure connection could not be made or checked
    serverFault,       // an HTTP status of 300 or more, or an answer that is not HTTP
    notUsageDocument,  // an answer that does not read as a usage document
    providerError,     // the provider's document carries an error text
    unsupportedDomain, // an account domain of no known provider
    cannotStore,       // the usage documents could not be written
    storedUnreadable,  // a stored usage document could not be read back
    noCurrentTraffic,  // the document has no figures for the time of day
    cancelled,         // the person stopped it
    unexpected,        // anything else
};

struct TfailureSentence {
    TfailureKind kind;
    std::string_view sentence; // what failed and what to do, one line
};

// Every kind once, in the order of the enumeration.
std::span<const TfailureSentence> failureTable();
std::string_view failureSentence(TfailureKind kind);

// A failure of a known kind; what() is the technical detail (libcurl's, the parser's or the
// provider's words), as the diagnostic sink gets it.
class TfetchFailure : public Error {
public:
    TfetchFailure(TfailureKind kind, const std::string& detail)
        : Error(detail)
        , kind_(kind) {}

    TfailureKind kind() const { return kind_; }

private:
    TfailureKind kind_;
};

// The kind of a caught failure; unexpected for any other exception and for none.
TfailureKind failureKind(const std::exception& failure);
TfailureKind failureKind(const std::exception_ptr& failure);

// What a person is shown: the kind's sentence, then the technical detail on the next line.
std::string failureMessage(const std::exception& failure);
std::string failureMessage(const std::exception_ptr& failure);

} // namespace vantle
