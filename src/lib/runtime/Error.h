// The one failure type of the system: every raised failure carries the text shown to the user
// or written to the diagnostic sink.
#pragma once

#include <stdexcept>
#include <string>

namespace vantle {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace vantle
