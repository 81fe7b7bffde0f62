// The last failed attempt to get the usage, kept in the data folder ("lastfailure") until an
// attempt succeeds, so that the status window and the command line can say why the figures are
// not fresh.
#pragma once

#include "lib/runtime/DateTime.h"
#include "usage/failures.h"

#include <exception>
#include <optional>
#include <string>

namespace vantle {

class Tconfiguration;

inline constexpr const char* LastFailureName = "lastfailure";

struct TlastFailure {
    TDateTime time = 0;
    TfailureKind kind = TfailureKind::unexpected;
    std::string sentence; // the plain sentence of the kind, or a fuller one of the program's
    std::string detail;   // the technical detail, one line
};

// The record of a caught failure at the given time.
TlastFailure failureRecord(const std::exception_ptr& failure, TDateTime time);

// Replaces the record; raises the file system's failure.
void writeLastFailure(const Tconfiguration& configuration, const TlastFailure& failure);
// Removes it; a missing file is no failure.
void clearLastFailure(const Tconfiguration& configuration);
// Nothing when there is none or it cannot be read.
std::optional<TlastFailure> readLastFailure(const Tconfiguration& configuration);

} // namespace vantle
