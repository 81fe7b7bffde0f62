// The usage model of one provider account, read from the provider's volume-usage document.
#pragma once

#include <pugixml.hpp>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantle {

class Tconfiguration;

// The stored documents in the configuration's data folder.
inline constexpr std::string_view CurrentDocumentName = "iinet-current.xml";
inline constexpr std::string_view LastGoodDocumentName = "iinet-lastgood.xml";
// The root element of the providers' usage documents.
inline constexpr std::string_view UsageRootName = "ii_feed";
// The traffic types read from a document; real ones list three.
inline constexpr std::size_t MaxTrafficTypes = 16;

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
    // Raises TfetchFailure: storedUnreadable naming the file when a document cannot be read,
    // parsed or nests deeper than MaxXmlDepth, and providerError with "The provider answered: "
    // + its error text when the current one carries an error and no last good one exists.
    void load();
    // Downloads the account's answer, reads it (readAnswer) and stores it: as the current
    // document, and as the last good one when it carries no error element. With an error
    // element, the model comes from the last good document and keeps the answer's error text.
    // Nothing is stored when a step before fails. Raises TfetchFailure.
    void fetch();
    // The same from the given files; the last good one is read only when the current one
    // carries an error.
    void load(const std::string& currentFile, const std::string& lastGoodFile);

    // The provider's answer for the configuration's account, bounded in size and time; cancel,
    // when set, ends the transfer early as cancelled. Stores nothing.
    std::string download(const std::atomic<bool>* cancel = nullptr);
    // Reads an answer into the model, parsed once with the flags of load: an answer that is
    // not XML, nests deeper than MaxXmlDepth, has another root than UsageRootName, or carries
    // no error element and no traffic type raises notUsageDocument. With an error element only
    // error is set. Stores nothing.
    void readAnswer(const std::string& answer);

    // The text of the root element's child "error", white space included; empty when there is
    // none.
    static std::string readError(const pugi::xml_document& document);

    std::vector<std::string> trafficTypes() const;
    bool hasTraffic(std::string_view classification) const;
    // A copy of the first record of that classification; raises
    // "Failed to find current traffic data" (noCurrentTraffic) when there is none.
    Ttraffic findTraffic(std::string_view classification) const;
    std::string currentClassification() const;
    Ttraffic currentTraffic() const;

private:
    void readModel(const pugi::xml_node& root);
    void readTrafficTypes(const pugi::xml_node& root);
};

} // namespace vantle
