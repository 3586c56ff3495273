#pragma once

#include "platform/accounts/FoundAccount.h"

namespace orvella::platform {

// POP accounts of Thunderbird, found under home (the profiles folders of the
// Debian package, the older Icedove name, the Snap and the Flatpak). Profiles
// are taken in the order Thunderbird itself would open them (the install's
// default, the profile marked default, then the rest); inside a profile,
// the default account first, then the order of the account manager.
QList<FoundAccount> readThunderbirdAccounts(const QString& home);

// The POP accounts of one profile's prefs.js text (exposed for tests).
QList<FoundAccount> thunderbirdAccountsFromPrefs(const QString& prefsText);

} // namespace orvella::platform
