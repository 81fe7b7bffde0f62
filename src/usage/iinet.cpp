#include "iinet.h"

#include "failures.h"
#include "httpClient.h"
#include "providers.h"

#include "config/configuration.h"
#include "config/xmlTree.h"
#include "lib/runtime/DateTime.h"
#include "lib/runtime/DebugOutput.h"
#include "lib/runtime/Error.h"
#include "lib/runtime/Numbers.h"
#include "lib/runtime/Strings.h"
#include "lib/utils/FileUtils.h"
#include "platform/replacementFile.h"

#include <filesystem>
#include <sstream>
#include <system_error>

namespace vantle {
namespace {

// The flags of every read of a usage document: white space is text.
constexpr unsigned ParseFlags = pugi::parse_default | pugi::parse_ws_pcdata;

// Characters 1-2 are the hours and 4-5 the minutes; anything unreadable gives 0.
std::int32_t minutesOfDay(const std::string& text) {
    std::int32_t hours = 0;
    std::int32_t minutes = 0;
    const std::string_view view(text);
    if (!runtime::tryStrToInt(view.substr(0, 2), hours) ||
        !runtime::tryStrToInt(view.substr(std::min<std::size_t>(3, view.size()), 2), minutes))
        return 0;
    return hours * 60 + minutes;
}

std::int32_t integerOr0(const pugi::xml_node& node) {
    std::int32_t value = 0;
    return runtime::tryStrToInt(xmlText(node), value) ? value : 0;
}

std::string displayName(const std::string& name) {
    if (name == "peak")
        return "Peak";
    if (name == "offpeak")
        return "Off Peak";
    if (name == "freezone")
        return "Freezone";
    std::string shown = name;
    if (!shown.empty() && shown[0] >= 'a' && shown[0] <= 'z')
        shown[0] = static_cast<char>(shown[0] - 'a' + 'A');
    return shown;
}

// Why the text does not read as an XML document of sane nesting; empty when it does.
std::string parseProblem(const std::string& text, pugi::xml_document& document) {
    const pugi::xml_parse_result result =
        document.load_buffer(text.data(), text.size(), ParseFlags);
    if (!result)
        return result.description() + std::string(" at offset ") + std::to_string(result.offset);
    if (!document.document_element())
        return "it has no root element";
    if (xmlDepth(document) > MaxXmlDepth)
        return "it nests deeper than " + std::to_string(MaxXmlDepth) + " levels";
    return {};
}

void parseDocument(const std::string& path, pugi::xml_document& document) {
    std::string text;
    try {
        text = ReadFileText(path);
    } catch (const std::exception& e) {
        throw TfetchFailure(TfailureKind::storedUnreadable, e.what());
    }
    if (const std::string problem = parseProblem(text, document); !problem.empty())
        throw TfetchFailure(TfailureKind::storedUnreadable,
                            "Cannot read the usage document \"" + path + "\": " + problem);
}

TfetchFailure notUsageDocument(const std::string& why) {
    return TfetchFailure(TfailureKind::notUsageDocument,
                         "The provider's answer is not a usage document: " + why);
}

// The stored documents are the only usage data that outlives a cycle: replace them in one step,
// so a crash never leaves one half written.
void storeDocument(const std::string& document, const std::string& path) {
    try {
        platform::replaceFileDurably(path, document, 0600);
    } catch (const std::system_error& e) {
        throw TfetchFailure(TfailureKind::cannotStore,
                            std::string("Cannot store the usage document: ") + e.what());
    }
}

Error typeError(const Ttraffic& record, const std::string& what) {
    return Error("Cannot read traffic type \"" + record.classification + "\": " + what);
}

void readType(const pugi::xml_node& type, Ttraffic& record) {
    record.name = displayName(xmlText(type.child("name")));
    record.classification = type.attribute("classification").value();
    const std::string used = type.attribute("used").value();
    if (!runtime::tryStrToInt64(used, record.usedBytes))
        throw typeError(record, "its used value \"" + used + "\" is not an integer");
    record.usedMB = runtime::roundHalfEven(static_cast<double>(record.usedBytes) / 1e6);

    const pugi::xml_node quota = type.child("quota_allocation");
    if (!quota) {
        record.quotaMB = -1;
        record.usedPercent = -1.0;
        record.shaped = false;
        record.speed = 0;
        return;
    }
    const std::string quotaText = xmlText(quota);
    if (!runtime::tryStrToInt64(quotaText, record.quotaMB))
        throw typeError(record, "its quota allocation \"" + quotaText + "\" is not an integer");
    std::int64_t quotaBytes = 0;
    if (__builtin_mul_overflow(record.quotaMB, std::int64_t{1'000'000}, &quotaBytes))
        throw typeError(record, "its quota allocation " + quotaText + " is out of range");
    // A zero quota counts as no quota for every consumer; keep the percentage finite.
    record.usedPercent = quotaBytes == 0 ? 0.0
                                         : static_cast<double>(record.usedBytes) /
                                               static_cast<double>(quotaBytes) * 100;
    const pugi::xml_node shaped = type.child("is_shaped");
    record.shaped = xmlText(shaped) != "false";
    if (!shaped)
        throw typeError(record, "it has a quota allocation but no is_shaped element");
    const std::string speed = shaped.attribute("speed").value();
    if (!runtime::tryStrToInt(speed, record.speed))
        throw typeError(record, "its speed \"" + speed + "\" is not an integer");
}

} // namespace

Tiinet::Tiinet(Tconfiguration& config)
    : configuration(config) {
    reset();
}

void Tiinet::reset() {
    product.clear();
    plan.clear();
    offpeakStart = -1;
    offpeakEnd = -1;
    anniversary = -1;
    daysSoFar = -1;
    daysRemaining = -1;
    traffic.clear();
}

void Tiinet::load() {
    const std::string current = configuration.dataFolder + std::string(CurrentDocumentName);
    std::error_code ec;
    if (!std::filesystem::exists(current, ec)) {
        fetch();
        return;
    }
    load(current, configuration.dataFolder + std::string(LastGoodDocumentName));
}

std::string Tiinet::download(const std::atomic<bool>* cancel) {
    const std::string url =
        runtime::replaceAll(runtime::replaceAll(endpointTemplate(configuration), "%USERNAME%",
                                                urlEncode(configuration.username)),
                            "%PASSWORD%", urlEncode(configuration.password));
    std::ostringstream body;
    ThttpClient client;
    client.setAgent(userAgent(configuration));
    client.cancel = cancel;
    client.get(url, body);
    return std::move(body).str();
}

void Tiinet::readAnswer(const std::string& answer) {
    reset();
    error.clear();
    pugi::xml_document document;
    if (const std::string problem = parseProblem(answer, document); !problem.empty())
        throw notUsageDocument(problem);
    const pugi::xml_node root = document.document_element();
    // A maintenance page in XHTML is well-formed XML too: only the providers' root will do.
    if (root.name() != UsageRootName)
        throw notUsageDocument("its root element is <" + std::string(root.name()) + ">, not <" +
                               std::string(UsageRootName) + ">");
    error = readError(document);
    if (!error.empty())
        return;
    readModel(root);
    if (traffic.empty())
        throw notUsageDocument("it lists no traffic type");
}

void Tiinet::fetch() {
    reset();
    const std::string answer = download();
    readAnswer(answer);
    const std::string current = configuration.dataFolder + std::string(CurrentDocumentName);
    const std::string lastGood = configuration.dataFolder + std::string(LastGoodDocumentName);
    if (error.empty()) {
        // The model already holds what the stored documents will say.
        storeDocument(answer, lastGood);
        storeDocument(answer, current);
        return;
    }
    storeDocument(answer, current);
    load(current, lastGood);
}

void Tiinet::load(const std::string& currentFile, const std::string& lastGoodFile) {
    reset();
    std::error_code ec;
    if (!std::filesystem::exists(currentFile, ec))
        return;
    pugi::xml_document document;
    parseDocument(currentFile, document);
    error = readError(document);
    if (!error.empty()) {
        // Without an earlier document there is nothing to show but the provider's answer.
        if (!std::filesystem::exists(lastGoodFile, ec))
            throw TfetchFailure(TfailureKind::providerError, "The provider answered: " + error);
        parseDocument(lastGoodFile, document);
    }
    readModel(document.document_element());
}

void Tiinet::readModel(const pugi::xml_node& root) {
    plan = xmlText(root.first_element_by_path("account_info/plan"));
    product = xmlText(root.first_element_by_path("account_info/product"));
    offpeakStart = minutesOfDay(xmlText(root.first_element_by_path("volume_usage/offpeak_start")));
    offpeakEnd = minutesOfDay(xmlText(root.first_element_by_path("volume_usage/offpeak_end")));

    const runtime::DateTimeFields clock = runtime::decodeDateTime(runtime::now());
    const std::int32_t minute = clock.hour * 60 + clock.minute;
    isOffpeak = offpeakStart <= minute && minute <= offpeakEnd;

    anniversary = integerOr0(root.first_element_by_path("volume_usage/quota_reset/anniversary"));
    daysSoFar = integerOr0(root.first_element_by_path("volume_usage/quota_reset/days_so_far"));
    daysRemaining =
        integerOr0(root.first_element_by_path("volume_usage/quota_reset/days_remaining"));

    try {
        readTrafficTypes(root);
    } catch (const std::exception& e) {
        // The types read so far stay; the outputs show what could be read.
        runtime::outputDebugString(e.what());
    }
}

void Tiinet::readTrafficTypes(const pugi::xml_node& root) {
    const pugi::xml_node container =
        root.first_element_by_path("volume_usage/expected_traffic_types");
    if (!container)
        return;
    std::vector<pugi::xml_node> types = xmlDescendants(container, "type", MaxTrafficTypes + 1);
    if (types.size() > MaxTrafficTypes) {
        types.resize(MaxTrafficTypes);
        // Each type costs a picture and a column of the status window.
        runtime::outputDebugString("The usage document lists more than " +
                                   std::to_string(MaxTrafficTypes) +
                                   " traffic types; the rest are left out");
    }
    for (const pugi::xml_node& type : types) {
        traffic.emplace_back();
        readType(type, traffic.back());
    }
}

std::string Tiinet::readError(const pugi::xml_document& document) {
    const pugi::xml_node found = document.document_element().child("error");
    return found ? xmlText(found) : std::string();
}

std::vector<std::string> Tiinet::trafficTypes() const {
    std::vector<std::string> types;
    types.reserve(traffic.size());
    for (const Ttraffic& record : traffic)
        types.push_back(record.classification);
    return types;
}

bool Tiinet::hasTraffic(std::string_view classification) const {
    for (const Ttraffic& record : traffic)
        if (record.classification == classification)
            return true;
    return false;
}

Ttraffic Tiinet::findTraffic(std::string_view classification) const {
    for (const Ttraffic& record : traffic)
        if (record.classification == classification)
            return record;
    throw TfetchFailure(TfailureKind::noCurrentTraffic, "Failed to find current traffic data");
}

std::string Tiinet::currentClassification() const {
    return isOffpeak ? "offpeak" : "peak";
}

Ttraffic Tiinet::currentTraffic() const {
    return findTraffic(currentClassification());
}

} // namespace vantle
