// The CRC-32 of ZIP members: reflected polynomial EDB88320, over exactly the bytes handed to
// the target.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantle {

// The register advanced over the bytes, without the initial and final inversion.
std::uint32_t updateCrc32(std::uint32_t crc, const std::uint8_t* data, std::size_t n);

} // namespace vantle
