#include "core/mail/AccountPasswords.h"

#include "core/settings/IniValues.h"
#include "platform/ProfileFile.h"

#include <QCoro/QCoroSignal>
#include <QHash>
#include <QSet>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

using platform::Keyring;
using WeakAccounts = QList<std::weak_ptr<Account>>;

// The entries each settings file named during this run: the candidates for
// deletion once no account uses them. Kept per file, so two program folders
// in one process never delete each other's entries.
QHash<QString, QSet<QString>>& knownEntries()
{
    static QHash<QString, QSet<QString>> known;
    return known;
}

int& storesRunning()
{
    static int running = 0;
    return running;
}

bool& noticeGiven()
{
    static bool given = false;
    return given;
}

bool& signInNoticeGiven()
{
    static bool given = false;
    return given;
}

void giveNotice(const Account& account, const Keyring::Reply& reply)
{
    // A password stays behind in the file; a sign-in's tokens stay nowhere
    // but in memory, so the words differ.
    bool& given = account.UsesOAuth() ? signInNoticeGiven() : noticeGiven();
    if (given) return;
    given = true;
    if (AccountPasswords::hooks().showNotice)
        AccountPasswords::hooks().showNotice(account.UsesOAuth()
                                                 ? AccountPasswords::SignInNotice(reply.message)
                                                 : AccountPasswords::FallbackNotice(reply.message));
}

// Whether an account of the settings file at path names entry. The file
// speaks for the accounts a caller does not hold: an entry that two accounts
// shared (named by account and server alone) and one of them moves out of
// when a check reads it.
bool namedInFile(const QString& path, const QString& entry)
{
    if (path.isEmpty()) return false;
    const platform::ProfileFile file(path);
    const int count = ReadNumber(file.read(u"General"_s, u"NoOfAccounts"_s, u"1"_s));
    for (int i = 1; i <= count && file.hasSection(AccountSection(i)); ++i)
        if (file.read(AccountSection(i), u"KeyringEntry"_s, QString()).trimmed() == entry) return true;
    return false;
}

bool usedBy(const WeakAccounts& accounts, const QString& entry)
{
    for (const auto& weak : accounts)
        if (const auto a = weak.lock())
            if (a->m_KeyringEntry == entry || (a->HasPassword() && a->KeyringKey() == entry)) return true;
    return false;
}

void removeIfUnused(const QString& settingsPath, const QString& entry, const WeakAccounts& accounts)
{
    if (entry.isEmpty() || usedBy(accounts, entry) || namedInFile(settingsPath, entry)) return;
    knownEntries()[settingsPath].remove(entry);
    // Deleting is tidying: an entry that stays behind costs nothing but space.
    ++storesRunning();
    [](QString e) -> QCoro::Task<> {
        co_await Keyring::instance().remove(e);
        --storesRunning();
    }(entry);
}

} // namespace

QCoro::Task<> AccountPasswords::readEntry(std::weak_ptr<Account> weak, std::shared_ptr<PasswordRead> read,
                                          QString entry)
{
    const Keyring::Reply reply = co_await Keyring::instance().read(entry);
    read->reply = reply;
    read->done = true;
    if (const auto account = weak.lock()) {
        // The entry still being the account's, what it holds is the account's
        // password, unless the user typed another meanwhile.
        if (reply.ok() && account->m_KeyringEntry == entry) {
            account->m_entryPassword = reply.password;
            if (account->m_Password.isEmpty()) account->m_Password = reply.password;
            // An entry not under the account's key (one named by account and
            // server alone, which another account of that name and server
            // shared) moves there now that its password is known.
            if (entry != account->KeyringKey() && account->ownsSection() && !account->m_storing) {
                account->m_storing = true;
                storeAccount(account, {account});
            }
        }
    }
    Q_EMIT read->finished();
}

// The keyring holds the account's password under key now: the settings file
// gives up its copy, unless it meanwhile holds another password (a later
// save, whose own round follows).
void AccountPasswords::settleFile(Account& account, const QString& key, const QString& password)
{
    if (!account.ownsSection() || account.settingsFilePath().isEmpty()) return;
    platform::ProfileFile file(account.settingsFilePath());
    const QString stored = file.read(account.m_AccountID, u"Password"_s, QString());
    if (stored.isEmpty() || Account::Unscramble(stored) == password)
        file.write(account.m_AccountID, u"Password"_s, QString());
    file.write(account.m_AccountID, u"KeyringEntry"_s, key);
    // The entry's name carries the account's identity: a file that had none
    // keeps the one the entry was named after, or the next start would make
    // another and look for the entry under a name it does not have.
    file.write(account.m_AccountID, u"UniqueID"_s, account.m_UniqueID);
    file.save();
}

void AccountPasswords::forgetEntry(Account& account)
{
    account.m_KeyringEntry.clear();
    account.m_entryPassword.reset();
    if (!account.ownsSection() || account.settingsFilePath().isEmpty()) return;
    platform::ProfileFile file(account.settingsFilePath());
    file.removeKey(account.m_AccountID, u"KeyringEntry"_s);
    file.save();
}

// One pass of bringing the keyring in line with the account.
QCoro::Task<> AccountPasswords::storeRound(std::weak_ptr<Account> weak, WeakAccounts all)
{
    auto account = weak.lock();
    if (!account || !account->ownsSection()) co_return;
    const QString path = account->settingsFilePath();
    const QString key = account->KeyringKey();

    if (account->PasswordPending()) {
        if (account->m_KeyringEntry == key) co_return;
        // The name or the server changed: the entry moves to the new key,
        // which needs the password first. Until then the file names the old
        // entry, which still holds it.
        account.reset();
        const QString why =
            co_await AccountPasswords::Await(weak.lock(), AccountPasswords::UnlockWait, {}, true);
        account = weak.lock();
        if (!account || !why.isEmpty() || account->PasswordPending()) co_return;
    }

    const QString password = account->m_Password;
    if (password.isEmpty()) {
        // No password any more: the entry is no longer the account's.
        const QString old = account->m_KeyringEntry;
        if (!old.isEmpty()) {
            forgetEntry(*account);
            removeIfUnused(path, old, all);
        }
        co_return;
    }
    if (account->PasswordInKeyring() && account->m_KeyringEntry == key) co_return;

    // The key is this account's alone: no other account's secret is written over.
    account.reset();
    Keyring::Reply reply = co_await Keyring::instance().write(key, password);
    if (reply.ok()) {
        // The file gives up its copy, and the entry the account leaves goes,
        // only once the keyring gives the password back under the new key.
        const Keyring::Reply check = co_await Keyring::instance().read(key);
        if (!check.ok())
            reply = check;
        else if (check.password != password)
            reply = {Keyring::Status::Failed, QString(), u"it gave back another password than it took"_s};
    }
    account = weak.lock();
    if (!reply.ok()) {
        // The file kept the scrambled password; nothing is lost.
        if (account) giveNotice(*account, reply);
        co_return;
    }
    knownEntries()[path].insert(key);
    if (!account) {
        // Removed while the keyring worked: nobody will name the entry.
        removeIfUnused(path, key, all);
        co_return;
    }
    const QString old = account->m_KeyringEntry;
    account->m_KeyringEntry = key;
    account->m_entryPassword = password;
    settleFile(*account, key, password);
    if (old != key) removeIfUnused(path, old, all);
}

QCoro::Task<> AccountPasswords::storeAccount(std::weak_ptr<Account> weak, WeakAccounts all)
{
    ++storesRunning();
    for (;;) {
        if (const auto account = weak.lock()) account->m_storeAgain = false;
        co_await storeRound(weak, all);
        const auto account = weak.lock();
        if (!account) break;
        if (!account->m_storeAgain) {
            account->m_storing = false;
            break;
        }
    }
    --storesRunning();
}

AccountPasswords::Hooks& AccountPasswords::hooks()
{
    static Hooks h;
    return h;
}

void AccountPasswords::Remember(const QString& settingsPath, const QString& entry)
{
    if (!entry.isEmpty()) knownEntries()[settingsPath].insert(entry);
}

std::shared_ptr<PasswordRead> AccountPasswords::Prepare(const std::shared_ptr<Account>& account, bool again)
{
    if (!account || !account->PasswordPending()) return nullptr;
    // A failed answer stands until asked again: each try of a locked
    // keyring may put its unlock prompt before the user.
    const auto& last = account->m_passwordRead;
    if (last && (!last->done || !again)) return last;
    auto read = std::make_shared<PasswordRead>();
    account->m_passwordRead = read;
    readEntry(account, read, account->m_KeyringEntry);
    return read;
}

QCoro::Task<QString> AccountPasswords::Await(std::shared_ptr<Account> account, std::chrono::milliseconds wait,
                                             std::function<bool()> cancelled, bool again)
{
    using namespace std::chrono;
    if (!account || !account->PasswordPending()) co_return QString();
    const std::shared_ptr<PasswordRead> read = Prepare(account, again);
    const auto until = steady_clock::now() + wait;
    // In slices, so a caller that gives up (the program ending) is heard soon.
    while (read && !read->done && steady_clock::now() < until && !(cancelled && cancelled())) {
        const auto left = duration_cast<milliseconds>(until - steady_clock::now());
        co_await qCoro(read.get(), &PasswordRead::finished,
                       std::clamp(left, milliseconds(1), milliseconds(200)));
    }
    if (!account->PasswordPending()) co_return QString();
    if (!read || !read->done)
        co_return ReadFailure(
            {Keyring::Status::Locked, QString(), u"no answer while it waited to be unlocked"_s});
    co_return ReadFailure(read->reply);
}

void AccountPasswords::Store(const AccountList& accounts)
{
    WeakAccounts all;
    for (const auto& a : accounts)
        all.append(a);
    QSet<QString> paths;
    for (const auto& a : accounts) {
        paths.insert(a->settingsFilePath());
        startStore(a, all);
    }
    // Entries of removed accounts. An entry one of the list is about to
    // write counts as used.
    for (const QString& path : std::as_const(paths))
        for (const QString& entry : knownEntries().value(path))
            removeIfUnused(path, entry, all);
}

void AccountPasswords::startStore(const std::shared_ptr<Account>& account, const WeakAccounts& all)
{
    // A round under way runs again once done, with what the account holds then.
    if (account->m_storing) {
        account->m_storeAgain = true;
        return;
    }
    account->m_storing = true;
    storeAccount(account, all);
}

void AccountPasswords::StoreOne(const std::shared_ptr<Account>& account)
{
    // Alone in its list: an entry it leaves goes only when the file names it
    // nowhere else, and no other account's entry is looked at.
    if (account) startStore(account, {account});
}

bool AccountPasswords::MoveFromFile(const AccountList& accounts)
{
    bool any = false;
    for (const auto& account : accounts)
        if (!account->UsesOAuth() && !account->m_Password.isEmpty() && !account->PasswordInKeyring()) {
            StoreOne(account);
            any = true;
        }
    return any;
}

bool AccountPasswords::Busy()
{
    return storesRunning() > 0;
}

QString AccountPasswords::ReadFailure(const platform::Keyring::Reply& reply)
{
    using S = Keyring::Status;
    const QString detail = reply.message.isEmpty() ? QString() : u" ("_s + reply.message + u")"_s;
    switch (reply.status) {
    case S::Ok:
        return QString();
    case S::NotFound:
        return u"The desktop's keyring holds no password for this account. Please fill in your password in "
               u"the options screen."_s;
    case S::Locked:
        return u"The password of this account is kept in the desktop's keyring, which stayed locked"_s +
               detail +
               u". Unlock the keyring when it asks for its password; the account is checked again at the "
               u"next "
               u"check."_s;
    case S::Unavailable:
        return u"The password of this account is kept in the desktop's keyring, which cannot be reached"_s +
               detail +
               u". Start the keyring (GNOME Keyring, KWallet or KeePassXC), or fill in your password in the "
               u"options screen again."_s;
    case S::Failed:
        break;
    }
    return u"The desktop's keyring could not give the password of this account"_s + detail + u"."_s;
}

QString AccountPasswords::FallbackNotice(const QString& reason)
{
    const QString because = reason.isEmpty() ? QString() : u" ("_s + reason + u")"_s;
    return u"The passwords of your mail accounts are kept in the settings file \"Zentra.INI\", because the "
           u"desktop's keyring did not take them"_s +
           because +
           u". In that file they are scrambled, not encrypted: anyone who can read the file can work them "
           u"out.\r\n\r\nTo keep them in the keyring, start a keyring that offers the Secret Service (GNOME "
           u"Keyring, KWallet or KeePassXC), then press OK in the 'Options' screen."_s;
}

QString AccountPasswords::SignInNotice(const QString& reason)
{
    const QString because = reason.isEmpty() ? QString() : u" ("_s + reason + u")"_s;
    return u"The sign-in of your Microsoft or Google mail account cannot be kept, because the desktop's "
           u"keyring did not take it"_s +
           because +
           u". A sign-in is never written to a file, so after Orvella ends the account is not checked until "
           u"you sign in again.\r\n\r\nStart a keyring that offers the Secret Service (GNOME Keyring, "
           u"KWallet or KeePassXC), then sign in again in the 'Options' screen."_s;
}

void AccountPasswords::ResetNotice()
{
    noticeGiven() = false;
    signInNoticeGiven() = false;
}

} // namespace orvella
