#pragma once

#include "platform/accounts/FoundAccount.h"

namespace orvella::platform {

// POP accounts of Evolution: the enabled "*.source" files under
// configHome/evolution/sources whose mail account uses the "pop" backend,
// in file name order.
QList<FoundAccount> readEvolutionAccounts(const QString& configHome);

} // namespace orvella::platform
