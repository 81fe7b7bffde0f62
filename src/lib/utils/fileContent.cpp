// The size is compared first, so a changed file of another length costs one stat; an equal
// length is read in blocks and compared as it comes.
#include "fileContent.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace vantle {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

} // namespace

bool fileHolds(const std::string& path, std::string_view bytes) {
    std::error_code ec;
    // A link is replaced by the file it stands for, never followed.
    if (!fs::is_regular_file(fs::symlink_status(path, ec)) || ec)
        return false;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size != bytes.size())
        return false;
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return false;
    std::array<char, 65536> block;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t read = std::fread(block.data(), 1, block.size(), file.get());
        if (read == 0 || read > bytes.size() - at ||
            std::memcmp(block.data(), bytes.data() + at, read) != 0)
            return false;
        at += read;
    }
    // Grown since the size was read: not the same.
    return std::fgetc(file.get()) == EOF;
}

} // namespace vantle
