#include "RunningServer.h"

#include <chrono>
#include <stdexcept>

namespace vantle::test {

RunningServer::RunningServer(httplib::Server& server)
    : server_(server)
    , port_(server.bind_to_any_port("127.0.0.1")) {
    if (port_ <= 0)
        throw std::runtime_error("cannot bind the test server");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

RunningServer::~RunningServer() {
    server_.stop();
    thread_.join();
}

std::string RunningServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

} // namespace vantle::test
