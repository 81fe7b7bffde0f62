#include "providers.h"

#include "failures.h"

#include "config/configuration.h"
#include "lib/runtime/Error.h"

namespace vantle {

std::vector<std::string> accountDomains() {
    return {std::string(IinetDomain), std::string(WestnetDomain)};
}

std::string endpointTemplate(const Tconfiguration& configuration) {
    const std::string& domain = configuration.domain;
    std::string_view host;
    if (domain == IinetDomain)
        host = IinetToolboxHost;
    else if (domain == WestnetDomain)
        host = WestnetToolboxHost;
    else
        throw TfetchFailure(TfailureKind::unsupportedDomain, "Unsupported domain: " + domain);
    const auto replaced = configuration.providers.find(domain);
    if (replaced != configuration.providers.end() && !replaced->second.empty())
        return replaced->second;
    return "https://" + std::string(host) + std::string(UsagePathAndQuery);
}

std::string userAgent(const Tconfiguration& configuration) {
    return std::string(MakerWebDomain) + "/vantle v" + configuration.versionText();
}

} // namespace vantle
