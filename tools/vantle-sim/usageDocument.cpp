// Builds the volume-usage documents with pugixml, so every text is escaped as XML needs.
#include "usageDocument.h"

#include "accounts.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace vantle::sim {
namespace {

using runtime::DateTimeFields;

int daysInMonth(int year, int month) {
    const DateTimeFields first{year, month, 1};
    const DateTimeFields next =
        month == 12 ? DateTimeFields{year + 1, 1, 1} : DateTimeFields{year, month + 1, 1};
    return static_cast<int>(runtime::encodeDateTime(next) - runtime::encodeDateTime(first));
}

// The anniversary day of that month, moved to its last day when the month is shorter.
TDateTime resetDay(int year, int month, std::int32_t anniversary) {
    if (month == 0) {
        year -= 1;
        month = 12;
    } else if (month == 13) {
        year += 1;
        month = 1;
    }
    return runtime::encodeDateTime({year, month, std::min(anniversary, daysInMonth(year, month))});
}

pugi::xml_node appendText(pugi::xml_node parent, const char* name, const std::string& text) {
    pugi::xml_node node = parent.append_child(name);
    node.text().set(text.c_str());
    return node;
}

void addDeclaration(pugi::xml_document& doc) {
    pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
}

std::string serialized(const pugi::xml_document& doc) {
    std::ostringstream out;
    doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

std::int64_t grown(std::int64_t used, std::int64_t rate, double elapsedSeconds) {
    return used + static_cast<std::int64_t>(std::floor(static_cast<double>(rate) * elapsedSeconds));
}

void appendType(pugi::xml_node types, const char* classification, std::int64_t used,
                const std::int64_t* quotaMB, std::int32_t speed) {
    pugi::xml_node type = types.append_child("type");
    type.append_attribute("classification") = classification;
    type.append_attribute("used") = std::to_string(used).c_str();
    appendText(type, "name", classification);
    if (quotaMB == nullptr)
        return;
    appendText(type, "quota_allocation", std::to_string(*quotaMB));
    const bool shaped = used >= *quotaMB * 1'000'000;
    pugi::xml_node isShaped = appendText(type, "is_shaped", shaped ? "true" : "false");
    isShaped.append_attribute("speed") = std::to_string(speed).c_str();
}

} // namespace

TquotaPeriod quotaPeriod(std::int32_t anniversary, const DateTimeFields& today) {
    const TDateTime day = runtime::encodeDateTime({today.year, today.month, today.day});
    TDateTime start = resetDay(today.year, today.month, anniversary);
    int startMonth = today.month;
    if (start > day) {
        startMonth -= 1;
        start = resetDay(today.year, startMonth, anniversary);
    }
    const TDateTime end = resetDay(today.year, startMonth + 1, anniversary);
    return {static_cast<std::int32_t>(day - start), static_cast<std::int32_t>(end - day)};
}

std::string usageDocument(const Taccount& account, double elapsedSeconds,
                          const DateTimeFields& today) {
    pugi::xml_document doc;
    addDeclaration(doc);
    pugi::xml_node root = doc.append_child("ii_feed");

    pugi::xml_node info = root.append_child("account_info");
    appendText(info, "plan", account.plan);
    appendText(info, "product", account.product);

    pugi::xml_node usage = root.append_child("volume_usage");
    appendText(usage, "offpeak_start", account.offpeakStart);
    appendText(usage, "offpeak_end", account.offpeakEnd);
    const TquotaPeriod period = quotaPeriod(account.anniversary, today);
    pugi::xml_node reset = usage.append_child("quota_reset");
    appendText(reset, "anniversary", std::to_string(account.anniversary));
    appendText(reset, "days_so_far", std::to_string(period.daysSoFar));
    appendText(reset, "days_remaining", std::to_string(period.daysRemaining));

    pugi::xml_node types = usage.append_child("expected_traffic_types");
    appendType(types, "peak", grown(account.peakUsed, account.rate, elapsedSeconds),
               &account.peakQuotaMB, account.speed);
    appendType(types, "offpeak", grown(account.offpeakUsed, account.rate, elapsedSeconds),
               &account.offpeakQuotaMB, account.speed);
    appendType(types, "freezone", grown(account.freezoneUsed, account.rate, elapsedSeconds),
               nullptr, account.speed);
    return serialized(doc);
}

std::string errorDocument(const std::string& message) {
    pugi::xml_document doc;
    addDeclaration(doc);
    appendText(doc.append_child("ii_feed"), "error", message);
    return serialized(doc);
}

} // namespace vantle::sim
