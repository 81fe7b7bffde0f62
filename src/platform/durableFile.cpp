#include "durableFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace vantle::platform {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd)
        : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

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

void replaceFileDurably(const std::string& path, std::string_view bytes, unsigned mode) {
    const std::string folder = folderOf(path);
    std::string temporary = path + ".XXXXXX";
    Descriptor file(::mkstemp(temporary.data())); // created with mode 0600
    if (file.get() < 0)
        fail("cannot create a temporary file beside", path, errno);
    struct Cleanup {
        const std::string* name;
        ~Cleanup() {
            if (name != nullptr)
                ::unlink(name->c_str());
        }
    } cleanup{&temporary};

    if (::fchmod(file.get(), static_cast<mode_t>(mode)) != 0)
        fail("cannot set the mode of", temporary, errno);
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(file.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail("cannot write", temporary, errno);
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(file.get()) != 0)
        fail("cannot flush", temporary, errno);
    if (::close(file.release()) != 0)
        fail("cannot write", temporary, errno);
    if (::rename(temporary.c_str(), path.c_str()) != 0)
        fail("cannot replace", path, errno);
    cleanup.name = nullptr;

    // The rename itself lasts only once the folder's entry is on disk.
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
}

} // namespace vantle::platform
