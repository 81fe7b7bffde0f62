// A configured cpp-httplib server answering on 127.0.0.1 for the scope.
#pragma once

#include <httplib.h>

#include <string>
#include <thread>

namespace vantle::test {

class RunningServer {
public:
    // Binds to a free port and serves on a thread of its own until the end of the scope; raises
    // when no port can be bound.
    explicit RunningServer(httplib::Server& server);
    ~RunningServer();
    RunningServer(const RunningServer&) = delete;
    RunningServer& operator=(const RunningServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:PORT" + path.
    std::string url(const std::string& path) const;

private:
    httplib::Server& server_;
    int port_;
    std::thread thread_;
};

} // namespace vantle::test
