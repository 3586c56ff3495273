#include "mail/Accounts.h"

#include "mail/AccountPasswords.h"
#include "platform/ProfileFile.h"
#include "settings/ModOrvella.h"

#include <QSet>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

QString AccountSection(int position)
{
    return position <= 1 ? u"Account"_s : u"Account "_s + QString::number(position);
}

namespace {

// Each account of the list its own identity, and so its own keyring entry:
// a section copied by hand brings another account's identity along, and the
// later of the two gets a new one.
void makeIdentitiesUnique(const AccountList& accounts)
{
    QSet<QString> seen;
    for (const auto& account : accounts) {
        while (account->m_UniqueID.isEmpty() || seen.contains(account->m_UniqueID))
            account->m_UniqueID = CAccount::NewUniqueID();
        seen.insert(account->m_UniqueID);
    }
}

} // namespace

AccountList LoadAccounts()
{
    AccountList accounts;
    auto first = std::make_shared<CAccount>();
    first->LoadSettings(AccountSection(1));
    accounts.append(first);
    const QString file = CAccount::settingsFile();
    const int count = ReadNumber(ReadIni(u"General"_s, u"NoOfAccounts"_s, u"1"_s, file));
    // A count beyond the sections the file holds (a hand-edited "NoOfAccounts"
    // in the millions) stops at the first missing section instead of making
    // empty accounts without end.
    const platform::ProfileFile sections(file);
    for (int i = 2; i <= count && sections.hasSection(AccountSection(i)); ++i) {
        auto account = std::make_shared<CAccount>();
        account->LoadSettings(AccountSection(i));
        accounts.append(account);
    }
    makeIdentitiesUnique(accounts);
    return accounts;
}

void SaveAccounts(const AccountList& accounts)
{
    const QString path = CAccount::settingsFile();
    if (path.isEmpty()) return;
    makeIdentitiesUnique(accounts);
    platform::ProfileFile file(path);
    file.write(u"General"_s, u"NoOfAccounts"_s, NumberText(accounts.size()));
    for (qsizetype i = 0; i < accounts.size(); ++i) {
        CAccount& account = *accounts[i];
        const QString section = AccountSection(int(i) + 1);
        const bool moved = account.m_AccountID != section || !account.ownsSection();
        if (moved) account.MoveToSection(section);
        account.Save(file);
        // The section may hold another account's counters; ours go with us.
        if (moved) account.WriteCounters(file);
    }
    // The sections past the count are read by nobody, yet each holds a copy
    // of an account that moved up or was removed: its password does not stay
    // behind there, and the keyring entry it names goes once unused.
    for (int i = int(accounts.size()) + 1; file.hasSection(AccountSection(i)); ++i) {
        const QString section = AccountSection(i);
        AccountPasswords::Remember(path, file.read(section, u"KeyringEntry"_s, QString()).trimmed());
        if (file.hasKey(section, u"Password"_s)) file.write(section, u"Password"_s, QString());
        file.removeKey(section, u"KeyringEntry"_s);
    }
    file.save();
    AccountPasswords::Store(accounts);
}

} // namespace orvella
