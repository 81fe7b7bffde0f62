#include "accountSetup.h"

#include "failures.h"
#include "iinet.h"

#include "config/configuration.h"
#include "lib/runtime/Error.h"

namespace vantle {

void checkAccountInput(const TaccountInput& input) {
    if (input.username.empty())
        throw Error("You must provide your username.");
    if (input.domain.empty())
        throw Error("You must provide your domain.");
    if (input.password.empty())
        throw Error("You must provide your password.");
}

void verifyAccount(const Tconfiguration& configuration, const TaccountInput& input,
                   const std::atomic<bool>* cancel) {
    const std::unique_ptr<Tconfiguration> trial = configuration.clone();
    trial->username = input.username;
    trial->domain = input.domain;
    trial->password = input.password;
    Tiinet usage(*trial);
    usage.readAnswer(usage.download(cancel));
    if (!usage.error.empty())
        throw TfetchFailure(TfailureKind::providerError, "The provider answered: " + usage.error);
}

void applyAccount(Tconfiguration& configuration, const TaccountInput& input) {
    // Another account (a new user, or the same name at the other provider) starts afresh:
    // nothing of the old account's usage may show as theirs.
    if (configuration.username != input.username || configuration.domain != input.domain)
        configuration.resetAccountData();
    configuration.username = input.username;
    configuration.domain = input.domain;
    configuration.password = input.password;
}

} // namespace vantle
