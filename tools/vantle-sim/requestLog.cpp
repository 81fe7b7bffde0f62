// The request log and the masking of passwords in it.
#include "requestLog.h"

#include "lib/runtime/DateTime.h"
#include "lib/runtime/Error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vantle::sim {

std::string maskPassword(const std::string& target) {
    const std::size_t query = target.find('?');
    if (query == std::string::npos)
        return target;
    std::string masked = target.substr(0, query + 1);
    std::size_t start = query + 1;
    while (true) {
        const std::size_t end = std::min(target.find('&', start), target.size());
        const std::string parameter = target.substr(start, end - start);
        masked += parameter.rfind("password=", 0) == 0 ? "password=***" : parameter;
        if (end == target.size())
            break;
        masked += '&';
        start = end + 1;
    }
    return masked;
}

TrequestLog::TrequestLog(const std::string& path) {
    if (path.empty())
        return;
    file_.reset(std::fopen(path.c_str(), "a"));
    if (!file_)
        throw Error("cannot open the log file " + path + ": " + std::strerror(errno));
    out_ = file_.get();
}

void TrequestLog::write(const std::string& method, const std::string& target,
                        const std::string& status) {
    const std::string line = runtime::formatDateTime("yyyy-mm-dd hh:nn:ss", runtime::now()) + " " +
                             method + " " + maskPassword(target) + " " + status + "\n";
    const std::lock_guard<std::mutex> guard(lock_);
    std::fputs(line.c_str(), out_);
    std::fflush(out_);
}

} // namespace vantle::sim
