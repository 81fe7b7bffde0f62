#include "usage/lastFailure.h"

#include "config/configuration.h"
#include "lib/runtime/Numbers.h"
#include "lib/runtime/Strings.h"
#include "lib/utils/FileUtils.h"

#include <charconv>
#include <filesystem>
#include <sstream>

namespace vantle {
namespace {

// Each field on a line of its own: its texts lose their line breaks.
std::string oneLine(std::string_view text) {
    std::string line = runtime::replaceAll(text, "\r", " ");
    return runtime::replaceAll(line, "\n", " ");
}

std::string fileOf(const Tconfiguration& configuration) {
    return configuration.dataFolder + LastFailureName;
}

} // namespace

TlastFailure failureRecord(const std::exception_ptr& failure, TDateTime time) {
    TlastFailure record;
    record.time = time;
    record.kind = failureKind(failure);
    record.sentence = failureSentence(record.kind);
    try {
        if (failure)
            std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        record.detail = e.what();
    } catch (...) {
        record.detail = "Unknown failure";
    }
    return record;
}

void writeLastFailure(const Tconfiguration& configuration, const TlastFailure& failure) {
    std::ostringstream out;
    out.precision(17);
    out << "time=" << failure.time << "\nkind=" << static_cast<int>(failure.kind)
        << "\nsentence=" << oneLine(failure.sentence) << "\ndetail=" << oneLine(failure.detail)
        << "\n";
    WriteFileText(out.str(), fileOf(configuration));
}

void clearLastFailure(const Tconfiguration& configuration) {
    std::error_code ec;
    std::filesystem::remove(fileOf(configuration), ec);
}

std::optional<TlastFailure> readLastFailure(const Tconfiguration& configuration) {
    std::string text;
    try {
        std::error_code ec;
        if (!std::filesystem::exists(fileOf(configuration), ec) ||
            std::filesystem::file_size(fileOf(configuration), ec) > 64 * 1024)
            return std::nullopt;
        text = ReadFileText(fileOf(configuration));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    TlastFailure failure;
    bool timed = false;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = line.substr(0, equals);
        std::string value = line.substr(equals + 1);
        if (key == "time") {
            std::istringstream number(value);
            timed = static_cast<bool>(number >> failure.time);
        } else if (key == "kind") {
            int kind = 0;
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), kind);
            if (error == std::errc() && kind >= 0 &&
                static_cast<std::size_t>(kind) < failureTable().size())
                failure.kind = static_cast<TfailureKind>(kind);
        } else if (key == "sentence") {
            failure.sentence = std::move(value);
        } else if (key == "detail") {
            failure.detail = std::move(value);
        }
    }
    if (!timed)
        return std::nullopt;
    if (failure.sentence.empty())
        failure.sentence = failureSentence(failure.kind);
    return failure;
}

} // namespace vantle
