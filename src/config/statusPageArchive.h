// The status page archive the program carries: "status.html" deflated and "warning.png" stored,
// generated from resources/ at build time.
#pragma once

#include <string_view>

namespace vantle {

// The archive's bytes, valid for the whole run.
std::string_view statusPageArchive();

} // namespace vantle
