// Archive recognition, the directory, member look-up and extraction to streams and files.
#include "archive/unzip.h"

#include "archive/decoders.h"
#include "archive/zipState.h"
#include "lib/runtime/Error.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <new>
#include <system_error>
#include <unistd.h>

namespace vantle {
namespace {

constexpr std::string_view kLocalSignature("PK\x03\x04", 4);
constexpr std::string_view kCentralSignature("PK\x01\x02", 4);
constexpr std::string_view kEndSignature("PK\x05\x06", 4);
constexpr std::string_view kDescriptorSignature("PK\x07\x08", 4);

constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralEntrySize = 46;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kSearchWindow = 4096;
constexpr std::size_t kMaxNameLength = 259;
constexpr std::size_t kRecognitionLimit = 262143;
constexpr std::uint32_t kUnknownSize = 2147483647;

std::uint16_t le16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                      static_cast<std::uint8_t>(bytes[at + 1]) << 8);
}

std::uint32_t le32(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(le16(bytes, at)) |
           static_cast<std::uint32_t>(le16(bytes, at + 2)) << 16;
}

// Names compare in one form: "/" as separator, letters A to Z in lower case.
std::string normalName(std::string_view name) {
    std::string normal(name);
    for (char& c : normal) {
        if (c == '\\')
            c = '/';
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return normal;
}

// The file extractToFile writes: unbuffered, so that a short write is seen where it happens.
class TfileTarget final : public TzipTarget {
public:
    explicit TfileTarget(const std::string& path)
        : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
        if (fd_ < 0)
            throw Error("Cannot create file \"" + path + "\". " +
                        std::generic_category().message(errno));
    }
    ~TfileTarget() override {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TfileTarget(const TfileTarget&) = delete;
    TfileTarget& operator=(const TfileTarget&) = delete;

    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

    void truncate() override {
        if (::ftruncate(fd_, 0) == 0)
            ::lseek(fd_, 0, SEEK_SET);
    }
    std::size_t write(const std::uint8_t* data, std::size_t size) override {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd_, data + done, size - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        return done;
    }
    void rewind() override { ::lseek(fd_, 0, SEEK_SET); }

private:
    int fd_;
};

// Clears a flag on every way out of the scope that set it.
class TflagGuard {
public:
    explicit TflagGuard(bool& flag)
        : flag_(flag) {
        flag_ = true;
    }
    ~TflagGuard() { flag_ = false; }
    TflagGuard(const TflagGuard&) = delete;
    TflagGuard& operator=(const TflagGuard&) = delete;

private:
    bool& flag_;
};

} // namespace

std::size_t TmemoryTarget::write(const std::uint8_t* bytes, std::size_t size) {
    data.append(reinterpret_cast<const char*>(bytes), size);
    return size;
}

Tunzip::Tunzip(std::string_view archive)
    : state_(std::make_unique<TzipState>())
    , source_(archive) {
    // The bytes never change under the reader, so the directory is read once here rather than
    // again for every member.
    if (!isArchive() || readDirectory(entries_) != TzipResult::ok || entries_.empty())
        throw Error("Corrupt archive");
    names_.reserve(entries_.size());
    for (const Tentry& entry : entries_)
        names_.push_back(entry.name);
}

Tunzip::~Tunzip() = default;

bool Tunzip::isArchive() const {
    if (source_.substr(0, 4) == kLocalSignature)
        return true;
    if (source_.size() < 5)
        return false;
    // Data may precede the archive: look for a local header in the first three quarters of
    // the first 256 KiB.
    std::size_t n = std::min(source_.size(), kRecognitionLimit);
    n -= n / 4;
    const std::size_t found = source_.substr(0, n).find(kLocalSignature);
    return found != std::string_view::npos && found > 0;
}

TzipResult Tunzip::readDirectory(std::vector<Tentry>& entries) const {
    entries.clear();
    const std::size_t size = source_.size();
    if (size == 0)
        return TzipResult::fileError;
    // Backwards through windows that overlap by a record's length, so that an end record
    // across a window boundary is still whole in one of them.
    const std::size_t windowSize = std::min(kSearchWindow, size);
    std::size_t start = size - windowSize;
    std::size_t end = 0;
    bool found = false;
    for (;;) {
        const std::string_view window = source_.substr(start, windowSize);
        for (std::size_t p = windowSize >= kEndRecordSize ? windowSize - kEndRecordSize + 1 : 0;
             p-- > 0;) {
            if (window.substr(p, 4) == kEndSignature) {
                end = start + p;
                found = true;
                break;
            }
        }
        if (found)
            break;
        if (start == 0)
            return TzipResult::fileError;
        start -= std::min(start, kSearchWindow - kEndRecordSize);
    }
    if (end < kCentralEntrySize)
        return TzipResult::internalError;

    const std::size_t offset = le32(source_, end + 16);
    const std::string_view directory =
        offset < end ? source_.substr(offset, end - offset + 4) : std::string_view();
    std::size_t at = 0;
    for (;;) {
        const std::string_view rest = directory.substr(at);
        if (rest.size() < kCentralEntrySize || rest.substr(0, 4) != kCentralSignature)
            break; // the end record's signature, or anything that is not an entry
        const std::size_t nameLength = le16(rest, 28);
        const std::size_t entryLength =
            kCentralEntrySize + nameLength + le16(rest, 30) + le16(rest, 32);
        if (entryLength > rest.size())
            break;
        std::string_view name = rest.substr(kCentralEntrySize, nameLength);
        name = name.substr(0, std::min(name.find('\0'), kMaxNameLength));
        entries.push_back(Tentry{normalName(name), le32(rest, 42)});
        at += entryLength;
    }
    return TzipResult::ok;
}

TzipResult Tunzip::extractMember(const std::string& wanted, TzipTarget& target) {
    for (const Tentry& entry : entries_) {
        if (entry.name == wanted) {
            target.truncate();
            return extractAt(entry.localHeader, target);
        }
    }
    return TzipResult::noMoreItems;
}

TzipResult Tunzip::extractAt(std::uint32_t offset, TzipTarget& target) {
    if (inUse_)
        return TzipResult::inUse;
    const TflagGuard busy(inUse_);
    TzipState& s = *state_;
    struct WindowRelease {
        TzipState& s;
        ~WindowRelease() { s.window.reset(); }
    } const release{s};
    try {
        s.window = std::make_unique<std::uint8_t[]>(kWindowSize);
    } catch (const std::bad_alloc&) {
        return TzipResult::noMemory;
    }

    if (offset > source_.size())
        return TzipResult::readError;
    const std::string_view header = source_.substr(offset, kLocalHeaderSize);
    if (header.size() < kLocalHeaderSize || header.substr(0, 4) != kLocalSignature)
        return TzipResult::zipFileError;
    const std::uint16_t flags = le16(header, 6);
    const std::uint16_t method = le16(header, 8);
    const bool descriptor = (flags & 8) != 0;
    std::uint32_t expectedCrc = le32(header, 14);
    s.compressedSize = descriptor ? kUnknownSize : le32(header, 18);
    s.uncompressedSize = descriptor ? kUnknownSize : le32(header, 22);
    if (method != 0 && method != 1 && method != 6 && method != 8)
        return TzipResult::notSupported;
    if ((flags & 1) != 0)
        return TzipResult::encrypted;
    s.flags = flags;
    s.target = &target;
    s.beginMember(source_,
                  std::size_t{offset} + kLocalHeaderSize + le16(header, 26) + le16(header, 28),
                  !descriptor);

    TzipResult result = TzipResult::ok;
    switch (method) {
    case 0:
        result = unstore(s);
        break;
    case 1:
        result = unshrink(s);
        break;
    case 6:
        result = explode(s);
        break;
    default:
        result = inflate(s);
        break;
    }
    // Whatever the padding after the data decoded to, the data ended too early.
    if (result != TzipResult::writeError && result != TzipResult::notSupported && s.bits.overran())
        result = TzipResult::readError;
    if (result == TzipResult::ok && descriptor) {
        // The sizes and CRC follow the data, after a signature most writers put first.
        s.bits.alignToByte();
        std::uint8_t bytes[4];
        if (s.takeBytes(bytes, 4) < 4)
            return TzipResult::readError;
        if (std::string_view(reinterpret_cast<const char*>(bytes), 4) == kDescriptorSignature &&
            s.takeBytes(bytes, 4) < 4)
            return TzipResult::readError;
        expectedCrc = le32(std::string_view(reinterpret_cast<const char*>(bytes), 4), 0);
    }
    if (result == TzipResult::ok && ~s.crc != expectedCrc)
        result = TzipResult::crcError;
    return result;
}

void Tunzip::extractToStream(const std::string& member, TzipTarget& target) {
    const std::string wanted = normalName(member);
    if (std::find(names_.begin(), names_.end(), wanted) == names_.end())
        throw Error(member + " not found in archive");
    const TzipResult result = extractMember(wanted, target);
    if (result != TzipResult::ok) {
        const int code = static_cast<int>(result);
        throw Error("Archive error: " +
                    errorText(code > 0 ? static_cast<int>(TzipResult::zipFileError) : code));
    }
    target.rewind();
}

void Tunzip::extractToFile(const std::string& member, const std::string& path) {
    TfileTarget file(path);
    extractToStream(member, file);
    if (!file.close())
        throw Error("Archive error: " + errorText(static_cast<int>(TzipResult::writeError)));
}

void Tunzip::extractAll(const std::string& folder) {
    for (const std::string& name : names_)
        extractToFile(name, memberPath(folder, name));
}

std::string Tunzip::memberPath(const std::string& folder, const std::string& member) {
    const std::string name = normalName(member);
    for (std::size_t begin = 0; begin <= name.size();) {
        const std::size_t end = std::min(name.find('/', begin), name.size());
        if (name.compare(begin, end - begin, "..") == 0)
            throw Error("Archive error: unsafe member name " + member);
        begin = end + 1;
    }
    if (folder.empty() || folder.back() == '/')
        return folder + member;
    return folder + "/" + member;
}

std::string Tunzip::errorText(int code) {
    switch (static_cast<TzipResult>(code)) {
    case TzipResult::ok:
        return "No Error";
    case TzipResult::crcError:
        return "CRC Error";
    case TzipResult::writeError:
        return "Write Error";
    case TzipResult::readError:
        return "Read Error";
    case TzipResult::zipFileError:
        return "Zip File Error";
    case TzipResult::userAbort:
        return "User Abort";
    case TzipResult::notSupported:
        return "Not Supported";
    case TzipResult::encrypted:
        return "Zip is Encrypted";
    case TzipResult::inUse:
        return "In Use";
    case TzipResult::internalError:
        return "Internal Error";
    case TzipResult::noMoreItems:
        return "No More Items";
    case TzipResult::fileError:
        return "File Error";
    case TzipResult::notAZipFile:
        return "Not a Zip File";
    case TzipResult::headerTooLarge:
        return "Header Too Large";
    case TzipResult::zipFileOpenError:
        return "Zip File Open Error";
    case TzipResult::seriousError:
        return "Serious Error";
    case TzipResult::missingParameter:
        return "Missing Parameter";
    default:
        return "Unknown Error (" + std::to_string(code) + ")";
    }
}

} // namespace vantle
