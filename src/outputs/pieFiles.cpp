#include "outputs/pieFiles.h"

#include "lib/runtime/DebugOutput.h"
#include "lib/utils/FileUtils.h"

#include <algorithm>
#include <exception>
#include <filesystem>

namespace vantle {
namespace {

constexpr std::size_t MaxNameLength = 64;
constexpr std::string_view Extension = ".png";
constexpr std::string_view IndexPrefix = "type.";
// The stems of the status page's own files in the same folder.
constexpr std::string_view PageFiles[] = {"status", "warning"};

bool isPlainName(std::string_view stem) {
    return !stem.empty() && stem.size() <= MaxNameLength &&
           std::all_of(stem.begin(), stem.end(),
                       [](char c) {
                           return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                                  c == '-';
                       }) &&
           std::find(std::begin(PageFiles), std::end(PageFiles), stem) == std::end(PageFiles);
}

bool isIndexName(std::string_view stem) {
    if (!stem.starts_with(IndexPrefix))
        return false;
    const std::string_view digits = stem.substr(IndexPrefix.size());
    return !digits.empty() && digits.size() <= 20 &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::string pieFileName(std::string_view classification, std::size_t index) {
    if (isPlainName(classification))
        return std::string(classification) + std::string(Extension);
    return std::string(IndexPrefix) + std::to_string(index + 1) + std::string(Extension);
}

bool isPieFileName(std::string_view name) {
    if (!name.ends_with(Extension))
        return false;
    const std::string_view stem = name.substr(0, name.size() - Extension.size());
    return isPlainName(stem) || isIndexName(stem);
}

void removeOtherPies(const std::string& htmlFolder, const std::set<std::string>& keep) {
    try {
        for (const auto& entry : std::filesystem::directory_iterator(htmlFolder)) {
            const std::string name = entry.path().filename().string();
            std::error_code ec;
            if (isPieFileName(name) && !keep.contains(name) && entry.is_regular_file(ec))
                DeleteFile(entry.path().string());
        }
    } catch (const std::exception& e) {
        // The pictures left over cost room, nothing else; the next cycle tries again.
        runtime::outputDebugString(std::string("Cannot remove old pictures: ") + e.what());
    }
}

} // namespace vantle
