#include "failures.h"

#include <array>

namespace vantle {
namespace {

constexpr std::array<TfailureSentence, 13> table{{
    {TfailureKind::unreachable,
     "vantle could not reach the provider. Check the internet connection and try again."},
    {TfailureKind::timedOut, "The provider did not answer in time. Try again later."},
    {TfailureKind::tooLarge,
     "The provider's answer was far too large to be a usage document. Try again later."},
    {TfailureKind::insecure, "vantle could not make a secure connection to the provider. Check "
                             "the computer's date and time, then try again."},
    {TfailureKind::serverFault, "The provider's server could not give the usage. Try again later."},
    {TfailureKind::notUsageDocument,
     "The provider's answer was not a usage document; its service may be down for maintenance. "
     "Try again later."},
    {TfailureKind::providerError,
     "The provider did not give the usage. Check the user name, account domain and password, or "
     "try again later."},
    {TfailureKind::unsupportedDomain,
     "vantle does not know this account domain. Choose iinet.net.au or westnet.com.au."},
    {TfailureKind::cannotStore, "vantle could not save the usage. Check that the disk has free "
                                "space and that your data folder can be written."},
    {TfailureKind::storedUnreadable,
     "vantle could not read the usage it saved earlier. Try again; the next update replaces it."},
    {TfailureKind::noCurrentTraffic, "The provider's usage document has no figures for this time "
                                     "of day. Try again later."},
    {TfailureKind::cancelled, "The verification was cancelled; nothing was saved."},
    {TfailureKind::unexpected, "Something went wrong while getting the usage. Try again; if it "
                               "keeps failing, report the detail below."},
}};

constexpr bool inEnumerationOrder() {
    for (std::size_t i = 0; i < table.size(); ++i)
        if (static_cast<std::size_t>(table[i].kind) != i)
            return false;
    return true;
}
static_assert(inEnumerationOrder() && table.back().kind == TfailureKind::unexpected);

} // namespace

std::span<const TfailureSentence> failureTable() {
    return table;
}

std::string_view failureSentence(TfailureKind kind) {
    const auto index = static_cast<std::size_t>(kind);
    return index < table.size() ? table[index].sentence : table.back().sentence;
}

TfailureKind failureKind(const std::exception& failure) {
    const auto* known = dynamic_cast<const TfetchFailure*>(&failure);
    return known != nullptr ? known->kind() : TfailureKind::unexpected;
}

TfailureKind failureKind(const std::exception_ptr& failure) {
    if (!failure)
        return TfailureKind::unexpected;
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return failureKind(e);
    } catch (...) {
        return TfailureKind::unexpected;
    }
}

std::string failureMessage(const std::exception& failure) {
    return std::string(failureSentence(failureKind(failure))) + "\n" + failure.what();
}

std::string failureMessage(const std::exception_ptr& failure) {
    if (!failure)
        return std::string(failureSentence(TfailureKind::unexpected));
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return failureMessage(e);
    } catch (...) {
        return std::string(failureSentence(TfailureKind::unexpected)) + "\nUnknown failure";
    }
}

} // namespace vantle
