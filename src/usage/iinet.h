// The usage model of one provider account, read from the provider's volume-usage document.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantle {

class Tconfiguration;

// The stored documents in the configuration's data folder.
inline constexpr std::string_view CurrentDocumentName = "iinet-current.xml";
inline constexpr std::string_view LastGoodDocumentName = "iinet-lastgood.xml";

// One traffic type. A megabyte is 1,000,000 bytes; a type has a quota when quotaMB > 0.
struct Ttraffic {
    std::string name;           // display name
    std::string classification; // as written in the document; the key of the look-ups
    std::int64_t usedBytes = 0;
    std::int64_t usedMB = 0;  // usedBytes / 1e6, ties to even
    std::int64_t quotaMB = 0; // -1 without a quota allocation
    double usedPercent = 0.0; // -1.0 without a quota allocation
    bool shaped = false;
    std::int32_t speed = 0;
};
using TtrafficsArray = std::vector<Ttraffic>;

class Tiinet {
public:
    // Keeps the reference and resets; reads nothing.
    explicit Tiinet(Tconfiguration& configuration);

    Tconfiguration& configuration;
    std::string product;
    std::string plan;
    std::int32_t offpeakStart = -1; // minutes after local midnight
    std::int32_t offpeakEnd = -1;
    bool isOffpeak = false; // as the local clock stood when the document was loaded
    std::int32_t anniversary = -1;
    std::int32_t daysSoFar = -1;
    std::int32_t daysRemaining = -1;
    TtrafficsArray traffic;
    std::string error; // the current document's error text; empty when it had none

    void reset();
    // Reads the stored documents of the data folder; with no current document it fetches one.
    // Raises Error naming the file when a document cannot be read or parsed, and "The provider
    // answered: " + its error text when the current one carries an error and no last good one
    // exists.
    void load();
    // Downloads the account's usage document from its provider, stores it as the current
    // document (and as the last good one when it carries no error element) and loads the model
    // from the stored documents. An answer that is not a whole XML document is refused before
    // anything is stored. Raises Error with the failure's text.
    void fetch();
    // The same from the given files; the last good one is read only when the current one
    // carries an error.
    void load(const std::string& currentFile, const std::string& lastGoodFile);

    // The text of the root element's child "error"; empty when there is none.
    static std::string readError(const pugi::xml_document& document);

    std::vector<std::string> trafficTypes() const;
    bool hasTraffic(std::string_view classification) const;
    // A copy of the first record of that classification; raises
    // "Failed to find current traffic data" when there is none.
    Ttraffic findTraffic(std::string_view classification) const;
    std::string currentClassification() const;
    Ttraffic currentTraffic() const;

private:
    void readTrafficTypes(const pugi::xml_node& root);
};

} // namespace vantle
