// Setting up an account: the checks of what the user entered, the verification with a real
// download, and taking the verified account over. The configuration dialog and vantlectl share
// these steps.
#pragma once

#include <atomic>
#include <string>

namespace vantle {

class Tconfiguration;

struct TaccountInput {
    std::string username;
    std::string domain;
    std::string password;
};

// Raises the first failing check's message: "You must provide your username.", then domain,
// then password.
void checkAccountInput(const TaccountInput& input);

// Downloads the usage document with the entered account on a copy of the configuration, which
// is left unchanged, and reads it as a poll would; raises the failure (TfetchFailure), or
// providerError with "The provider answered: " + its error text when the answer carries one.
// Nothing is stored, so a verification that fails or is cancelled leaves no trace; cancel, when
// set, ends the download early.
void verifyAccount(const Tconfiguration& configuration, const TaccountInput& input,
                   const std::atomic<bool>* cancel = nullptr);

// Takes a verified account over: another user name or domain first forgets the old account's
// data.
void applyAccount(Tconfiguration& configuration, const TaccountInput& input);

} // namespace vantle
