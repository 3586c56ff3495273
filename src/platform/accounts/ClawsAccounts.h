#pragma once

#include "platform/accounts/FoundAccount.h"

namespace orvella::platform {

// POP accounts of Claws Mail, from home/.claws-mail/accountrc or else
// configHome/claws-mail/accountrc: the default account first, then the file's order.
QList<FoundAccount> readClawsAccounts(const QString& home, const QString& configHome);

} // namespace orvella::platform
