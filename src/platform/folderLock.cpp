#include "folderLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vantle::platform {

TfolderLock::TfolderLock(const std::string& folder) {
    // The folder itself carries the lock: no file in it that a reset or a user could delete,
    // and a read-only folder can still be locked.
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
        problem_ = std::string(std::strerror(errno)) + ": " + folder;
        return;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        state_ = Tstate::held;
        return;
    }
    const int code = errno;
    if (code == EWOULDBLOCK) {
        state_ = Tstate::taken;
    } else {
        problem_ = std::string(std::strerror(code)) + ": " + folder;
    }
    ::close(fd_);
    fd_ = -1;
}

TfolderLock::~TfolderLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace vantle::platform
