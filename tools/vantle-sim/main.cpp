// vantle-sim: serves the volume-usage endpoint on 127.0.0.1 until SIGINT or SIGTERM.
#include "accounts.h"
#include "certificate.h"
#include "options.h"
#include "requestLog.h"
#include "service.h"

#include "lib/runtime/Error.h"

#include <httplib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>

using namespace vantle;
using namespace vantle::sim;

namespace {

constexpr int FailureStatus = 1;
constexpr int UsageStatus = 2;

// Gives up on connections that hold the server beyond this after a stop request.
constexpr auto StopGrace = std::chrono::seconds(3);

int fail(int status, const std::string& message) {
    std::fprintf(stderr, "vantle-sim: %s\n", message.c_str());
    if (status == UsageStatus)
        std::fprintf(stderr, "Try \"vantle-sim --help\".\n");
    return status;
}

// A private folder for the made certificate, removed with it at exit.
class TemporaryFolder {
public:
    TemporaryFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vantle-sim-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            throw Error("cannot make a temporary folder in " + pattern);
        path_ = pattern;
    }
    ~TemporaryFolder() { remove(); }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::string& path() const { return path_; }
    void remove() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

private:
    std::string path_;
};

struct Listener {
    std::unique_ptr<httplib::Server> server;
    std::string certificatePath; // the one clients must trust; empty for HTTP
};

Listener makeListener(const Toptions& options, std::optional<TemporaryFolder>& folder) {
    Listener l;
    if (!options.https) {
        l.server = std::make_unique<httplib::Server>();
        return l;
    }
    if (!options.certFile.empty()) {
        l.server =
            std::make_unique<httplib::SSLServer>(options.certFile.c_str(), options.keyFile.c_str());
        l.certificatePath = std::filesystem::absolute(options.certFile);
        return l;
    }
    const TselfSignedCertificate certificate;
    if (options.certOut.empty()) {
        folder.emplace();
        l.certificatePath = folder->path() + "/vantle-sim.pem";
    } else {
        l.certificatePath = std::filesystem::absolute(options.certOut);
    }
    certificate.writePem(l.certificatePath);
    // The server takes its own references to the certificate and the key.
    l.server = std::make_unique<httplib::SSLServer>(certificate.certificate(), certificate.key());
    return l;
}

} // namespace

int main(int argc, char** argv) {
    Toptions options;
    std::optional<TaccountBook> accounts;
    std::optional<TrequestLog> log;
    try {
        options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::fputs(helpText().c_str(), stdout);
            return 0;
        }
        accounts = options.accountsFile.empty() ? TaccountBook()
                                                : TaccountBook::fromFile(options.accountsFile);
        log.emplace(options.logFile);
    } catch (const Error& e) {
        return fail(UsageStatus, e.what());
    }

    // Signals are taken by sigwait below, so every thread the server starts must block them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::optional<TemporaryFolder> folder;
    Listener listener;
    try {
        listener = makeListener(options, folder);
    } catch (const Error& e) {
        return fail(FailureStatus, e.what());
    }
    httplib::Server& server = *listener.server;
    if (!server.is_valid())
        return fail(UsageStatus, "cannot serve HTTPS with the certificate " + options.certFile +
                                     " and the key " + options.keyFile);
    server.set_keep_alive_timeout(1);
    // cpp-httplib also sets SO_REUSEPORT, which would let two instances share a given port.
    server.set_socket_options([](socket_t sock) {
        const int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });

    const char* host = "127.0.0.1";
    const int port = options.port == 0
                         ? server.bind_to_any_port(host)
                         : (server.bind_to_port(host, options.port) ? options.port : -1);
    if (port <= 0)
        return fail(FailureStatus, "cannot listen on 127.0.0.1:" + std::to_string(options.port));

    const std::string baseUrl =
        std::string(options.https ? "https" : "http") + "://127.0.0.1:" + std::to_string(port);
    TsimService service(std::move(*accounts), std::move(options.faults), options.fixedUsage, *log);
    service.install(server, baseUrl);

    std::printf("vantle-sim listening on %s%s?action=login&username=%%USERNAME%%"
                "&password=%%PASSWORD%%\n",
                baseUrl.c_str(), EndpointPath);
    if (!listener.certificatePath.empty())
        std::printf("%s\n", listener.certificatePath.c_str());
    std::fflush(stdout);

    std::promise<bool> listened;
    std::future<bool> finished = listened.get_future();
    std::thread serving([&] {
        listened.set_value(server.listen_after_bind());
        // Wakes the signal wait below, should the server end by itself.
        kill(getpid(), SIGTERM);
    });

    int signal = 0;
    sigwait(&stopSignals, &signal);
    if (finished.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        serving.join();
        return fail(FailureStatus, "the server stopped by itself");
    }
    service.shutdown();
    // Repeated, because a stop that comes before the server is running does nothing.
    const auto deadline = std::chrono::steady_clock::now() + StopGrace;
    while (finished.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        if (std::chrono::steady_clock::now() > deadline) {
            if (folder)
                folder->remove();
            std::fflush(nullptr);
            std::_Exit(0);
        }
        server.stop();
    }
    serving.join();
    return 0;
}
