// Status documents written by hand, in the layout the poll writes, for readers of the document.
#pragma once

#include "outputs/generate_json.h"

#include <string>
#include <vector>

namespace vantle::test {

struct TstatusType {
    std::string name;
    std::string classification;
    std::string used = "1 MB";
    std::string unused = "2 MB";
    std::string quota = "3 MB";
};

// A status document as the poll writes it, with the values given.
inline std::string statusText(const std::vector<TstatusType>& types, const std::string& error = "",
                              const std::string& freezone = "") {
    std::string d = "{";
    auto member = [&d](const char* key, const std::string& value, const char* after = ",") {
        d.append("\"").append(key).append("\":\"").append(jsonEscape(value)).append("\"");
        d += after;
    };
    member("error", error);
    member("current", "Peak");
    member("reset", "15th Mar (in 12 days)");
    d += "\"reset_percent\":\"60\",";
    member("updated", "Updated 5 minutes ago");
    member("offpeak", "2am to 8am");
    member("freezone", freezone);
    d += "\"traffic\":[";
    for (std::size_t i = 0; i < types.size(); ++i) {
        const TstatusType& t = types[i];
        d += i ? ",{" : "{";
        member("name", t.name);
        member("img", "file:///nowhere/" + t.classification + ".png");
        member("used", t.used);
        member("unused", t.unused);
        member("quota", t.quota, "}");
    }
    return d + "]}";
}

} // namespace vantle::test
