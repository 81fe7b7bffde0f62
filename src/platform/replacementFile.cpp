#include "replacementFile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace vantle::platform {
namespace {

[[noreturn]] void fail(const char* step, const std::string& path, int code) {
    throw std::system_error(code, std::generic_category(), std::string(step) + " " + path);
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

TreplacementFile::TreplacementFile(std::string path, std::optional<unsigned> mode)
    : path_(std::move(path)) {
    // The process and a counter make the name this writer's own; O_EXCL makes sure of it.
    static std::atomic<std::uint32_t> serial{0};
    for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
        temporary_ = path_ + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                     static_cast<mode_t>(mode.value_or(0666) & 0666));
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ < 0)
        fail("cannot create a temporary file beside", path_, errno);
    if (mode && ::fchmod(fd_, static_cast<mode_t>(*mode)) != 0) {
        const int code = errno;
        const std::string name = temporary_;
        discard();
        fail("cannot set the mode of", name, code);
    }
}

TreplacementFile::~TreplacementFile() {
    discard();
}

void TreplacementFile::discard() {
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
    if (!temporary_.empty())
        ::unlink(std::exchange(temporary_, {}).c_str());
}

void TreplacementFile::write(std::string_view bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail("cannot write", temporary_, errno);
        done += static_cast<std::size_t>(n);
    }
}

void TreplacementFile::commit(Flush flush) {
    const bool toDisk = flush == Flush::toDisk;
    if (toDisk && ::fsync(fd_) != 0)
        fail("cannot flush", temporary_, errno);
    if (::close(std::exchange(fd_, -1)) != 0)
        fail("cannot write", temporary_, errno);
    if (::rename(temporary_.c_str(), path_.c_str()) != 0)
        fail("cannot replace", path_, errno);
    temporary_.clear();
    if (!toDisk)
        return;
    // The rename itself lasts only once the folder's entry is on disk.
    const int dir = ::open(folderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

void replaceFileDurably(const std::string& path, std::string_view bytes, unsigned mode) {
    TreplacementFile file(path, mode);
    file.write(bytes);
    file.commit(Flush::toDisk);
}

} // namespace vantle::platform
