#pragma once

#include "core/mail/Accounts.h"
#include "core/mail/MessageIDSet.h"
#include "core/message/MailMessage.h"
#include "core/message/MessageDecoder.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QNetworkAccessManager;

namespace orvella {

class Settings;
class MessageStore;
class Pop3Client;
class ImapWatcher;
namespace imap {
class ImapClient;
}

// The mail check: walks the accounts one after another, logs on to each
// server, decides from two stored counters whether anything can have arrived,
// retrieves only the messages that may be new, keeps those whose identifier is
// new, logs off, and after the last account hands over to the announcement.
// A cycle starts from the minute tick (each account when its interval is due,
// and only when online) or at the user's request (every account).
class MailCheckCycle : public QObject
{
    Q_OBJECT
public:
    static constexpr int FirstStepMs = 500;
    static constexpr int BetweenAccountsMs = 3000;
    static constexpr int LastStepMs = 10;
    // The error number of a sign-in the service no longer accepts or that
    // could not be renewed; the keyring's and the POP client's stay below it.
    static constexpr int SignInError = 21;

    MailCheckCycle(AccountList& accounts, Settings& settings, MessageStore& store,
                   QList<MailMessage>& newMessages, QObject* parent = nullptr);
    ~MailCheckCycle() override;

    // Makes the POP3 client for one account's check (tests give scripted ones).
    void setClientFactory(std::function<std::unique_ptr<Pop3Client>()> make)
    {
        m_makeClient = std::move(make);
    }
    // Makes the IMAP client for one account's check.
    void setImapClientFactory(std::function<std::unique_ptr<imap::ImapClient>()> make)
    {
        m_makeImapClient = std::move(make);
    }
    // The watcher of an IMAP account (null before its first check).
    ImapWatcher* watcherOf(const Account& account) const;
    // Tests shorten the watchers' reconnect back-off by this factor.
    void setImapBackOffScale(double factor) { m_backOffScale = factor; }
    // The system's network state, for the dial-up connection type.
    void setNetworkProbe(std::function<bool()> reachable) { m_networkReachable = std::move(reachable); }
    // The step timer's real delay for FirstStepMs, BetweenAccountsMs or
    // LastStepMs; none means as stated. Tests of many minute ticks shorten them.
    void setStepDelay(std::function<int(int)> delay) { m_stepDelay = std::move(delay); }

    // A user-started check of every account.
    void CheckAllMailServers();
    void StartCheck(bool checkAll);
    // The mail part of each minute tick.
    void MailTick();
    bool IsOnline() const;
    // Start-up and options check of the first account: a missing server,
    // account name or password is told in a message window.
    bool CheckParameters();
    // The same for a first account not saved yet (the options dialog's).
    bool CheckParameters(const QString& server, const QString& accountName, bool hasPassword);
    // Ends a running cycle as soon as it can, without announcing anything:
    // the running request is cut short (what it stored is kept) and the
    // accounts still to come are left for the next cycle.
    void Abort();
    // The computer goes to sleep: a running check is cut short now rather
    // than left on a connection the sleep will break. The accounts it had
    // not finished are checked again on waking (CatchUp), and the cut is
    // told once, as a notice.
    void Suspending();
    // After waking or when the network is back: the accounts whose check a
    // sleep or a lost connection cut short, and those whose interval passed
    // while the computer slept (the minute tick counts only minutes awake),
    // are checked now instead of at their next interval. False when nothing
    // was started (nothing due, mail checking off, offline, or a check runs).
    bool CatchUp();
    // Accounts waiting for CatchUp because their check was cut short.
    int interruptedAccounts() const { return int(m_retry.size()); }
    void ReportPOPError(int errorNumber, const QString& description);
    // A new message whose file could not be written (why: the system's reason).
    void ReportStoreError(const QString& why);
    // A notice (not an error) on the Error page, kept there through the end of
    // the next cycle.
    void ShowNotice(const QString& text);

    bool running() const { return m_running; }
    bool CheckAll = false;
    bool CheckError = false;
    int AccountIndex = 0;
    bool Disconnecting = false;
    MessageIDSet SeenIDs;
    static constexpr int OSPlatform = 2;
    // How long an account's check waits for a keyring that asks to be unlocked.
    std::chrono::milliseconds PasswordWait;

Q_SIGNALS:
    void statusText(const QString& text);       // the status bar's first panel
    void connectionStatus(const QString& text); // its second: "Online", "Offline"
    // Every way to start a check; off while a check runs.
    void checkControlsChanged(bool enabled);
    void exitEnabledChanged(bool enabled);
    // The last account is done: announce what arrived (checkAll: the user
    // asked; checkError: some account failed). The check controls stay off
    // until the announcement and the reading give them back.
    void readyToAnnounce(bool checkAll, bool checkError);
    void messageCommandsChanged();
    void errorText(const QString& text); // the Error page
    void errorPageVisible(bool visible);
    // The program's notice window, spoken when sayIt, with a gesture.
    void notice(const QString& text, bool sayIt, const QString& gesture);
    // The cycle handed over to the announcement (or was aborted).
    void finished();
    // An IMAP account's watcher saw new mail or wants to connect again: a
    // catch-up check (CatchUp) reads it as soon as no check or reading runs.
    void pushWanted();

private:
    void onStepTimer();
    void ProcessAccount();
    QCoro::Task<> CheckAccount();
    struct Found
    {
        bool mayBeNew = false;
        int first = 1;
    };
    QCoro::Task<Found> FindNewMessages();
    void LearnSecurity(Account& account, bool encrypted);
    QCoro::Task<> CheckImapAccount(QString accessToken);
    // Reads one folder on m_imap: new messages stored, its state noted. False
    // when the connection is no longer usable for the next folder.
    QCoro::Task<bool> CheckFolder(QString folder);
    ImapWatcher& watcherFor(const std::shared_ptr<Account>& account);
    // Watchers whose account left the list or is no IMAP account any more.
    void pruneWatchers();
    QString imapKey(const Account& account) const;
    // The access token for an account that signs in with OAuth2, refreshed
    // first when it runs out within minutes or `renew` says the server
    // refused it. Nullopt when there is none; the failure has been reported.
    QCoro::Task<std::optional<QString>> AccessToken(std::shared_ptr<Account> account, bool renew);
    // Logs client (a Pop3Client or an ImapClient, with their settings type)
    // on with the account's settings and access token; a token the server
    // refuses (tokenRefusedCode) is renewed once and the log-on tried again.
    // Nullopt when the renewal failed (reported); otherwise whether it got in.
    template <class ServerSettings, class Client>
    QCoro::Task<std::optional<bool>> LogOnRenewing(Client& client, std::shared_ptr<Account> account,
                                                   QString accessToken, int tokenRefusedCode);
    QCoro::Task<> DownloadMessages(int first);
    QCoro::Task<> LogOff();
    void status(const QString& text);
    void takeError(int code, const QString& description);
    // Whether the timed cycle starting now checks account.
    bool dueNow(const Account& account) const;
    bool catchingUp(const std::shared_ptr<Account>& account) const;
    void retryLater(const std::shared_ptr<Account>& account);

    AccountList& m_accounts;
    Settings& m_settings;
    MessageStore& m_store;
    QList<MailMessage>& NewMessages;
    QTimer TimerPOP;
    std::shared_ptr<Account> CurrentAccount;
    std::unique_ptr<Pop3Client> m_pop;
    std::unique_ptr<imap::ImapClient> m_imap; // the IMAP account being checked
    std::vector<std::unique_ptr<ImapWatcher>> m_watchers;
    double m_backOffScale = 1.0;
    std::unique_ptr<QNetworkAccessManager> m_network; // token refreshes, made when first needed
    MessageDecoder m_decoder;
    int delay(int ms) const { return m_stepDelay ? m_stepDelay(ms) : ms; }

    std::function<std::unique_ptr<Pop3Client>()> m_makeClient;
    std::function<std::unique_ptr<imap::ImapClient>()> m_makeImapClient;
    std::function<bool()> m_networkReachable;
    std::function<int(int)> m_stepDelay;
    std::optional<QCoro::Task<>> m_task;
    bool m_running = false;
    bool m_aborting = false;
    bool m_noticeShown = false; // this cycle wrote a notice (not an error) on the Error page
    bool m_keepNotice = false;  // a notice came between cycles; the next one leaves it
    // Accounts whose password the keyring had not given at their turn: they
    // come after the others, so no account waits for another's keyring.
    QList<std::shared_ptr<Account>> m_deferred;
    bool m_checkingDeferred = false;
    bool m_storeFailed = false;        // this account's retrieval met a message it could not store
    bool m_storeErrorReported = false; // this cycle told the user
    int m_retrieving = 0;              // the message number being retrieved
    int m_lastRetrieved = 0;           // the last message number retrieved completely
    int m_lastErrorCode = 0;
    QString m_lastError;
    // When the minute tick last ran, on the wall clock, which goes on while
    // the computer sleeps (the timers do not).
    QDateTime m_lastTick;
    // Accounts whose check was cut short: by a sleep, or by the connection.
    QList<std::weak_ptr<Account>> m_retry;
    // This cycle checks only these accounts, at once (CatchUp).
    QList<std::weak_ptr<Account>> m_catchUp;
    bool m_catchingUp = false;
    bool m_cutBySleep = false;    // Suspending() aborts this cycle
    bool m_accountFailed = false; // the account being checked reported an error
};

} // namespace orvella
