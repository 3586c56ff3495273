#pragma once

#include "core/mail/Account.h"

#include <QList>
#include <memory>

namespace orvella {

// The program's accounts in order; position 1 (index 0) is section "Account".
using AccountList = QList<std::shared_ptr<Account>>;

// Reads section "Account", then "Account 2" up to "Account n" where n is
// General/NoOfAccounts (default 1).
AccountList LoadAccounts();

// Writes NoOfAccounts and every account's keys, renumbering the sections so
// they follow the list (an account that moved takes its identifier file and
// counters along). The file is replaced once. Sections past the new count
// are left in the file, unread, without their passwords. Then the passwords
// go to the keyring (AccountPasswords::Store).
void SaveAccounts(const AccountList& accounts);

// The section name of position (1-based): "Account", "Account 2", ...
QString AccountSection(int position);

} // namespace orvella
