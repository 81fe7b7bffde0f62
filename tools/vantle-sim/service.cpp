// The endpoint's answers and faults; every request is logged once, the endpoint's before the
// answer goes out so a client that has its answer finds the line already written.
#include "service.h"

#include "usageDocument.h"

#include "lib/utils/FileUtils.h"

#include <memory>

namespace vantle::sim {
namespace {

// Set once the request this thread is serving has been logged, so that no later hook of the
// server logs it again.
thread_local bool requestLogged = false;

const char* xmlType = "text/xml";

std::string errorPage(int status, const std::string& title, const std::string& message) {
    return "<!doctype html>\n<html lang=\"en\">\n<head><title>" + std::to_string(status) + " " +
           title + "</title></head>\n<body>\n<h1>" + title + "</h1>\n<p>" + message +
           "</p>\n</body>\n</html>\n";
}

// Announces the whole body but sends only its first half; returning false makes the server
// drop the connection.
void cutOffHalfWay(httplib::Response& response) {
    auto body = std::make_shared<std::string>(std::move(response.body));
    response.body.clear();
    response.set_content_provider(body->size(), xmlType,
                                  [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                      if (offset == 0)
                                          sink.write(body->data(), body->size() / 2);
                                      return false;
                                  });
}

} // namespace

TsimService::TsimService(TaccountBook accounts, TfaultPlan faults, bool fixedUsage,
                         TrequestLog& log)
    : accounts_(std::move(accounts))
    , faults_(std::move(faults))
    , fixedUsage_(fixedUsage)
    , log_(log) {}

void TsimService::install(httplib::Server& server, const std::string& baseUrl) {
    baseUrl_ = baseUrl;
    server.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
        requestLogged = false;
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.Get(R"(/cgi-bin/new/volume_usage_xml\.cgi)",
               [this](const httplib::Request& request, httplib::Response& response) {
                   answer(request, response);
               });
    // Other answers of 400 and more are logged before they go out too; the logger, which runs
    // after the answer is sent, catches what is left.
    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [this](const httplib::Request& request, httplib::Response& response) {
            if (!requestLogged)
                log_.write(request.method, request.target, std::to_string(response.status));
            requestLogged = true;
            return httplib::Server::HandlerResponse::Unhandled;
        }));
    server.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        if (!requestLogged)
            log_.write(request.method, request.target, std::to_string(response.status));
        requestLogged = false;
    });
}

void TsimService::shutdown() {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
}

void TsimService::answer(const httplib::Request& request, httplib::Response& response) {
    const std::uint64_t number = ++requests_;
    response.status = 200;
    if (const std::optional<Tfault> fault = faults_.faultFor(number))
        answerFault(*fault, request, response);
    else
        answerUsage(request, response);
    if (!requestLogged)
        log_.write(request.method, request.target, std::to_string(response.status));
    requestLogged = true;
}

void TsimService::answerFault(const Tfault& fault, const httplib::Request& request,
                              httplib::Response& response) {
    switch (fault.kind) {
    case TfaultKind::status500:
        response.status = 500;
        response.set_content(
            errorPage(500, "Internal Server Error", "The server could not complete your request."),
            "text/html");
        break;
    case TfaultKind::status503:
        response.status = 503;
        response.set_header("Retry-After", "120");
        response.set_content(errorPage(503, "Service Unavailable",
                                       "The service is down for maintenance. Please try again "
                                       "later."),
                             "text/html");
        break;
    case TfaultKind::stall:
        // Logged on arrival: a test must see the request while it is still held.
        log_.write(request.method, request.target, "stalled");
        requestLogged = true;
        if (stall())
            answerUsage(request, response);
        else
            response.status = 503;
        break;
    case TfaultKind::truncated:
        answerUsage(request, response);
        cutOffHalfWay(response);
        break;
    case TfaultKind::truncatedXml:
        answerUsage(request, response);
        response.body.resize(response.body.size() / 2);
        break;
    case TfaultKind::notXml:
        response.set_content(errorPage(503, "Service Unavailable",
                                       "Account tools are unavailable while we upgrade them."),
                             "text/html");
        break;
    case TfaultKind::empty:
        response.set_content("", xmlType);
        break;
    case TfaultKind::redirect:
        response.set_redirect(fault.location.empty() ? baseUrl_ + request.target : fault.location);
        break;
    case TfaultKind::error:
        response.set_content(errorDocument(ServiceUnavailable), xmlType);
        break;
    case TfaultKind::trickle:
        answerUsage(request, response);
        trickle(response);
        break;
    case TfaultKind::answer:
        try {
            response.set_content(ReadFileText(fault.location), xmlType);
        } catch (const std::exception& e) {
            response.status = 500;
            response.set_content(e.what(), "text/plain");
        }
        break;
    }
}

void TsimService::answerUsage(const httplib::Request& request, httplib::Response& response) const {
    if (request.get_param_value("action") != "login") {
        response.status = 400;
        response.set_content("The action must be \"login\".\n", "text/plain");
        return;
    }
    const Taccount* account = accounts_.find(request.get_param_value("username"));
    if (account == nullptr || account->password != request.get_param_value("password")) {
        response.set_content(errorDocument(AuthenticationFailed), xmlType);
        return;
    }
    const double elapsed =
        fixedUsage_
            ? 0.0
            : std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    response.set_content(usageDocument(*account, elapsed, runtime::decodeDateTime(runtime::now())),
                         xmlType);
}

bool TsimService::stall() {
    return pause(std::chrono::seconds(StallSeconds));
}

bool TsimService::pause(std::chrono::milliseconds duration) {
    std::unique_lock<std::mutex> guard(lock_);
    return !wake_.wait_for(guard, duration, [this] { return stopping_; });
}

void TsimService::trickle(httplib::Response& response) {
    auto body = std::make_shared<std::string>(std::move(response.body));
    response.body.clear();
    response.headers.erase("Content-Type"); // the provider names it again
    response.set_content_provider(
        body->size(), xmlType,
        [this, body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            // One byte now, the next a second later; a client that hung up ends it.
            if (offset > 0 && !pause(std::chrono::seconds(1)))
                return false;
            return sink.is_writable() && sink.write(body->data() + offset, 1);
        });
}

} // namespace vantle::sim
