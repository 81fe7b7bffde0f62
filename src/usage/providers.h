// The two providers' account domains and usage endpoints, and the user agent of the requests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantle {

class Tconfiguration;

inline constexpr std::string_view IinetDomain = "iinet.net.au";
inline constexpr std::string_view WestnetDomain = "westnet.com.au";
inline constexpr std::string_view IinetToolboxHost = "toolbox.iinet.net.au";
inline constexpr std::string_view WestnetToolboxHost = "toolbox.westnet.com.au";
// The maker's web domain, named in the user agent; a reserved name until the project has a home.
inline constexpr std::string_view MakerWebDomain = "www.vantle.example";
inline constexpr std::string_view UsagePathAndQuery =
    "/cgi-bin/new/volume_usage_xml.cgi?action=login&username=%USERNAME%&password=%PASSWORD%";

// The account domains the program serves, in the order the user is offered them.
std::vector<std::string> accountDomains();

// The endpoint template of the configuration's account domain: the settings file's override
// when there is one, else the built-in one. Raises "Unsupported domain: " + domain for any other
// domain (compared exactly, letter case included), before any network use.
std::string endpointTemplate(const Tconfiguration& configuration);

// The maker's web domain, "/vantle v" and the program's version text.
std::string userAgent(const Tconfiguration& configuration);

} // namespace vantle
