// Reading and checking the command line.
#include "options.h"

#include "accounts.h"
#include "lib/runtime/Error.h"
#include "lib/runtime/Strings.h"

namespace vantle::sim {
namespace {

class ArgumentReader {
public:
    explicit ArgumentReader(const std::vector<std::string>& arguments)
        : arguments_(arguments) {}

    bool done() const { return next_ >= arguments_.size(); }
    const std::string& take() { return arguments_[next_++]; }
    const std::string& value(const std::string& option) {
        if (done())
            throw Error(option + " needs a value");
        return take();
    }

private:
    const std::vector<std::string>& arguments_;
    std::size_t next_ = 0;
};

int portNumber(const std::string& text) {
    std::int32_t port = 0;
    if (!runtime::tryStrToInt(text, port) || port < 0 || port > 65535 ||
        text.find_first_of(" +-") != std::string::npos)
        throw Error("--port needs a number from 0 to 65535, not \"" + text + "\"");
    return port;
}

void check(const Toptions& o) {
    if (!o.https && (!o.certFile.empty() || !o.keyFile.empty() || !o.certOut.empty()))
        throw Error("--cert, --key and --cert-out need --https");
    if (o.certFile.empty() != o.keyFile.empty())
        throw Error("--cert and --key go together");
    if (!o.certFile.empty() && !o.certOut.empty())
        throw Error("--cert-out is for the certificate made without --cert");
}

} // namespace

Toptions parseOptions(const std::vector<std::string>& arguments) {
    Toptions o;
    ArgumentReader reader(arguments);
    while (!reader.done()) {
        const std::string& option = reader.take();
        if (option == "--help" || option == "-h") {
            o.help = true;
        } else if (option == "--port") {
            o.port = portNumber(reader.value(option));
        } else if (option == "--https") {
            o.https = true;
        } else if (option == "--cert") {
            o.certFile = reader.value(option);
        } else if (option == "--key") {
            o.keyFile = reader.value(option);
        } else if (option == "--cert-out") {
            o.certOut = reader.value(option);
        } else if (option == "--fault") {
            o.faults.add(reader.value(option));
        } else if (option == "--accounts") {
            o.accountsFile = reader.value(option);
        } else if (option == "--static") {
            o.fixedUsage = true;
        } else if (option == "--log") {
            o.logFile = reader.value(option);
        } else {
            throw Error("unknown argument \"" + option + "\"");
        }
    }
    check(o);
    return o;
}

std::string helpText() {
    std::string text =
        R"(Usage: vantle-sim [--port N] [--https [--cert FILE --key FILE | --cert-out FILE]]
                  [--fault NAME]... [--accounts FILE] [--static] [--log FILE] [--help]

A local stand-in for the providers' volume-usage service, on 127.0.0.1 only. The first line
on standard output is "vantle-sim listening on URL", URL being the endpoint template for the
program's settings; with --https the second line is the path of the certificate to trust.
It runs until SIGINT or SIGTERM and then exits with status 0; bad arguments exit with 2.

  --port N          the port to listen on; 0 (the default) takes any free port
  --https           serve HTTPS; without --cert and --key it makes a self-signed
                    certificate for IP 127.0.0.1 and DNS localhost
  --cert FILE, --key FILE   the PEM certificate and key to serve HTTPS with
  --cert-out FILE   where to write the made certificate (default: a temporary folder,
                    removed at exit)
  --fault NAME      answer with a fault (see below); may be given once per request number
  --accounts FILE   the accounts to know instead of the built-in ones (see below)
  --static          used bytes stay as at start instead of growing every second
  --log FILE        append the request log to FILE instead of standard error

Service: GET /cgi-bin/new/volume_usage_xml.cgi?action=login&username=U&password=P answers
with the account's volume-usage document; the quota period is counted from today's date. A
wrong password or an unknown user gets a 200 document whose error element says
"Authentication failed"; an action other than "login" gets 400. Each request is logged as one
line: "yyyy-mm-dd hh:nn:ss METHOD TARGET STATUS", the password shown as "***"; a stalled
request is logged when it arrives, with the status "stalled".

)";
    text += TfaultPlan::help();
    text += "\n";
    text += TaccountBook::formatHelp();
    return text;
}

} // namespace vantle::sim
