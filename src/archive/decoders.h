// The decoders of the supported compression methods. Each decodes the member TzipState was set
// up for into its target and returns a result code.
#pragma once

#include "archive/zipState.h"

namespace vantle {

TzipResult unstore(TzipState& state);  // method 0
TzipResult unshrink(TzipState& state); // method 1
TzipResult explode(TzipState& state);  // method 6
TzipResult inflate(TzipState& state);  // method 8

} // namespace vantle
