#include "programFile.h"

#include <cerrno>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace vantle::platform {

std::string programPath() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            throw std::system_error(errno, std::generic_category(), "/proc/self/exe");
        if (static_cast<std::size_t>(n) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace vantle::platform
