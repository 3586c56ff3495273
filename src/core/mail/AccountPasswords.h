#pragma once

#include "core/mail/Accounts.h"
#include "platform/Keyring.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

namespace orvella {

// One reading of an account's password from the keyring, shared by all who
// wait for it: the check that needs it, and a save that moves the entry.
class PasswordRead : public QObject
{
    Q_OBJECT
public:
    bool done = false;
    platform::Keyring::Reply reply;

Q_SIGNALS:
    void finished();
};

// The accounts' passwords in the desktop's keyring.
//
// On saving, each password goes into the account's own keyring entry,
// "name@server:port #identity", of the service "Orvella", and the settings
// file's "Password" is left empty while its "KeyringEntry" names the entry.
// A scrambled password found in the file moves there on the next save, and an
// entry under any other name (one named "name@server", which two accounts of
// one name and server shared) the first time it is read or saved. The file
// gives up a password, and an old entry goes, only after the keyring gives
// the password back under the new key, so neither a crash nor a refusing
// keyring loses one; when no keyring can be reached, the passwords stay
// scrambled in the file, and the user is told once why.
//
// Nothing here waits on the window's thread. A password waiting in the
// keyring is read when a check is about to need it, and only the check of
// that account waits for it.
class AccountPasswords
{
public:
    // The error number a check reports when the keyring gives no password;
    // the POP client's own numbers stay below it.
    static constexpr int KeyringError = 20;
    // How long a check waits for a keyring that asks the user to unlock it:
    // time to type the keyring's password, while the minute's clock and
    // reminders wait for the check.
    static constexpr std::chrono::milliseconds UnlockWait{std::chrono::seconds(60)};

    struct Hooks
    {
        // Shown once a run on the Error page: why the passwords stay in the file.
        std::function<void(const QString& text)> showNotice;
    };
    static Hooks& hooks();

    // Starts reading the account's password when it waits in the keyring:
    // the reading under way, else the last one's answer unless again asks
    // for a new try. Null when there is nothing to read.
    static std::shared_ptr<PasswordRead> Prepare(const std::shared_ptr<Account>& account, bool again = false);
    // Waits, at most wait and while cancelled (asked now and then) says no,
    // until m_Password holds the account's password (read as Prepare reads).
    // Empty when it does; otherwise why not, in words for the Error page.
    static QCoro::Task<QString> Await(std::shared_ptr<Account> account, std::chrono::milliseconds wait,
                                      std::function<bool()> cancelled = {}, bool again = false);

    // After the accounts were written: moves their passwords into the keyring
    // (and an entry whose name or server changed to its new key), and
    // deletes the entries that no account of the list uses any more.
    static void Store(const AccountList& accounts);
    // Store for one account alone (new tokens after a refresh): the
    // entries of the other accounts are not looked at.
    static void StoreOne(const std::shared_ptr<Account>& account);
    // At start: moves every password the settings file still holds into the
    // keyring, so it does not wait there until the user next presses OK in
    // the options. The file gives its copy up only once the keyring gave the
    // password back; with no keyring it stays, and the user is told once.
    // True when there was one to move.
    static bool MoveFromFile(const AccountList& accounts);
    // Keyring work of Store still running.
    static bool Busy();

    // An entry named in the settings file at path: once no account uses it,
    // Store deletes it.
    static void Remember(const QString& settingsPath, const QString& entry);

    // Why a check could not have the password (a failed read).
    static QString ReadFailure(const platform::Keyring::Reply& reply);
    // The Error page's notice when the keyring refused a password.
    static QString FallbackNotice(const QString& reason);

    // The Error page's notice when the keyring refused a sign-in's tokens.
    static QString SignInNotice(const QString& reason);

    // Lets the notice be given again (tests of one process).
    static void ResetNotice();

private:
    using WeakAccounts = QList<std::weak_ptr<Account>>;
    static QCoro::Task<> readEntry(std::weak_ptr<Account> weak, std::shared_ptr<PasswordRead> read,
                                   QString entry);
    static QCoro::Task<> storeAccount(std::weak_ptr<Account> weak, WeakAccounts all);
    static void startStore(const std::shared_ptr<Account>& account, const WeakAccounts& all);
    static QCoro::Task<> storeRound(std::weak_ptr<Account> weak, WeakAccounts all);
    static void settleFile(Account& account, const QString& key, const QString& password);
    static void forgetEntry(Account& account);
};

} // namespace orvella
