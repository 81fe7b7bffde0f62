// Replacing a file's content so that a reader, a second writer, a crash or a full disk never
// leaves it half written.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantle::platform {

// What commit does beyond the rename: toDisk flushes the bytes and then the rename to disk, so
// they outlast a power loss; with none a reader still never sees a part.
enum class Flush { none, toDisk };

// A new file beside path under a name of this writer's own, renamed over path by commit once
// whole; dropped before that, it is removed and path stays as it was. Every failure raises
// std::system_error with the system's code, naming the step and the file.
class TreplacementFile {
public:
    // Creates the new file with the given mode, or 0666 less the umask.
    explicit TreplacementFile(std::string path, std::optional<unsigned> mode = std::nullopt);
    ~TreplacementFile();
    TreplacementFile(const TreplacementFile&) = delete;
    TreplacementFile& operator=(const TreplacementFile&) = delete;

    void write(std::string_view bytes);
    void commit(Flush flush);

private:
    void discard();

    std::string path_;
    std::string temporary_;
    int fd_ = -1;
};

// The bytes as path's new content, flushed to disk, with the given mode.
void replaceFileDurably(const std::string& path, std::string_view bytes, unsigned mode);

} // namespace vantle::platform
