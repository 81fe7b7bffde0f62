// The ZIP archive reader: recognises an archive held in memory, lists its members and writes
// them to files or streams, decoding stored, shrunk, imploded and deflated data itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vantle {

// Result codes of a member extraction and of the decoders; errorText gives their texts.
enum class TzipResult : int {
    ok = 0,
    crcError = -1,
    writeError = -2,
    readError = -3,
    zipFileError = -4,
    userAbort = -5,
    notSupported = -6,
    encrypted = -7,
    inUse = -8,
    internalError = -9,
    noMoreItems = -10,
    fileError = -11,
    notAZipFile = -12,
    headerTooLarge = -13,
    zipFileOpenError = -14,
    seriousError = -100,
    missingParameter = -500,
    // The prefix-code table builder's own codes.
    incompleteCode = 1,
    badCodeLengths = 2,
    noMemory = 3,
};

// Where a member's bytes go.
class TzipTarget {
public:
    virtual ~TzipTarget() = default;
    // Empties the target; called before a member is written.
    virtual void truncate() = 0;
    // Appends the bytes; returns how many were taken (fewer is a write failure).
    virtual std::size_t write(const std::uint8_t* data, std::size_t size) = 0;
    // Called once a member was written in full: the next read starts at the first byte.
    virtual void rewind() = 0;
};

// A target in memory; a string has no read position, so rewinding leaves it as it is.
class TmemoryTarget final : public TzipTarget {
public:
    std::string data;

    void truncate() override { data.clear(); }
    std::size_t write(const std::uint8_t* bytes, std::size_t size) override;
    void rewind() override {}
};

struct TzipState;

// Reads the archive the caller keeps alive and unchanged for the object's whole life; data
// before the archive is allowed, its offsets then count from the first byte given. Only the
// public operations raise, always vantle::Error.
class Tunzip {
public:
    // Raises "Corrupt archive" when the bytes are not an archive or its directory cannot be
    // read or holds no entry.
    explicit Tunzip(std::string_view archive);
    // A temporary string would be gone before the reader is used.
    explicit Tunzip(std::string&&) = delete;
    ~Tunzip();
    Tunzip(const Tunzip&) = delete;
    Tunzip& operator=(const Tunzip&) = delete;

    // One entry per directory entry, in directory order: the stored name cut at a zero byte and
    // at 259 bytes, "\" turned into "/", letters A to Z in lower case. Duplicates stay.
    const std::vector<std::string>& names() const { return names_; }

    // Writes the first member of that name (letter case ignored, "\" or "/" as separator) into
    // the target, which is emptied first and rewound after success. Raises the name + " not
    // found in archive", or "Archive error: " + errorText of the failure (a table builder's
    // code as "Zip File Error"); the target keeps what was written.
    void extractToStream(const std::string& member, TzipTarget& target);
    // Creates or truncates the file and extracts into it; the file stays when extraction fails.
    // Raises "Cannot create file "PATH". " + the system's reason when it cannot be created.
    void extractToFile(const std::string& member, const std::string& path);
    // extractToFile for every entry of names(), in order, to memberPath(folder, entry); no
    // folders are made. The first failure ends it.
    void extractAll(const std::string& folder);

    // Where extractAll puts a member: folder with a "/" added when missing (an empty folder is
    // the current one), then the name. Raises "Archive error: unsafe member name " + name for
    // a name with a ".." part, which would leave the folder.
    static std::string memberPath(const std::string& folder, const std::string& member);
    static std::string errorText(int code);

private:
    struct Tentry {
        std::string name;
        std::uint32_t localHeader = 0;
    };

    bool isArchive() const;
    TzipResult readDirectory(std::vector<Tentry>& entries) const;
    TzipResult extractMember(const std::string& wanted, TzipTarget& target);
    TzipResult extractAt(std::uint32_t offset, TzipTarget& target);

    std::unique_ptr<TzipState> state_;
    bool inUse_ = false;
    std::vector<std::string> names_;
    std::vector<Tentry> entries_;
    std::string_view source_;
};

} // namespace vantle
