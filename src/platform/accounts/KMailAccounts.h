#pragma once

#include "platform/accounts/FoundAccount.h"

namespace orvella::platform {

// POP accounts of KMail: the Akonadi POP3 resources' files
// configHome/akonadi_pop3_resource_<n>rc, in resource number order.
QList<FoundAccount> readKMailAccounts(const QString& configHome);

} // namespace orvella::platform
