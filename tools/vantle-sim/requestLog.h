// The request log: one line per request, with the password masked, so tests can see what a
// client asked for.
#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace vantle::sim {

// The request target with the value of every "password" query parameter replaced by "***".
std::string maskPassword(const std::string& target);

class TrequestLog {
public:
    // Standard error when path is empty, else the file, appended to; raises Error when the file
    // cannot be opened.
    explicit TrequestLog(const std::string& path);

    // "yyyy-mm-dd hh:nn:ss METHOD TARGET STATUS", written and flushed at once.
    void write(const std::string& method, const std::string& target, const std::string& status);

private:
    struct CloseFile {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    std::mutex lock_;
    std::unique_ptr<std::FILE, CloseFile> file_;
    std::FILE* out_ = stderr;
};

} // namespace vantle::sim
