// The stand-in usage service: the endpoint's answers, its faults and the request log, on top of
// a cpp-httplib server.
#pragma once

#include "accounts.h"
#include "faults.h"
#include "requestLog.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace vantle::sim {

inline constexpr const char* EndpointPath = "/cgi-bin/new/volume_usage_xml.cgi";

class TsimService {
public:
    TsimService(TaccountBook accounts, TfaultPlan faults, bool fixedUsage, TrequestLog& log);

    // Routes the endpoint and logs every request of server. baseUrl (scheme, host and port) is
    // where a redirect to this server points.
    void install(httplib::Server& server, const std::string& baseUrl);
    // Releases stalled requests at once, so the server can stop.
    void shutdown();

private:
    void answer(const httplib::Request& request, httplib::Response& response);
    void answerFault(const Tfault& fault, const httplib::Request& request,
                     httplib::Response& response);
    void answerUsage(const httplib::Request& request, httplib::Response& response) const;
    // False when the service shut down before the stall was over.
    bool stall();
    // The same for a pause of that length.
    bool pause(std::chrono::milliseconds duration);
    // Sends the response's body one byte a second, its whole length announced.
    void trickle(httplib::Response& response);

    TaccountBook accounts_;
    TfaultPlan faults_;
    bool fixedUsage_;
    TrequestLog& log_;
    std::string baseUrl_;
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::atomic<std::uint64_t> requests_{0};

    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
};

} // namespace vantle::sim
