#pragma once

#include "platform/accounts/FoundAccount.h"

namespace orvella::platform {

// POP servers polled by fetchmail, from home/.fetchmailrc, in file order.
QList<FoundAccount> readFetchmailAccounts(const QString& home);

// The POP entries of a .fetchmailrc text (exposed for tests).
QList<FoundAccount> fetchmailAccountsFromText(const QString& text);

} // namespace orvella::platform
