#pragma once

#include "mail/Accounts.h"
#include "mail/MessageIDSet.h"
#include "message/CMessage.h"
#include "message/MessageDecoder.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace orvella {

class CSettings;
class MessageStore;
class Pop3Client;

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

    MailCheckCycle(AccountList& accounts, CSettings& settings, MessageStore& store,
                   QList<CMessage>& newMessages, QObject* parent = nullptr);
    ~MailCheckCycle() override;

    struct Hooks
    {
        std::function<void(const QString&)> setStatusText;       // panel 1
        std::function<void(const QString&)> setConnectionStatus; // panel 2
        // Timer1, the Check button and menu entries, the character's command.
        std::function<void(bool)> setCheckControls;
        std::function<void(bool)> setExitEnabled;
        std::function<void(bool checkAll, bool checkError)> announceNewMail;
        std::function<void()> updateMessageCommands;
        std::function<void(const QString&)> setErrorText; // txtError
        std::function<void(bool)> showErrorTab;
        std::function<void(const QString& text, bool sayIt, const QString& gesture)> showMessage;
        // Makes the POP client for one account's check (tests give scripted ones).
        std::function<std::unique_ptr<Pop3Client>()> makeClient;
        // The system's network state, for the dial-up connection type.
        std::function<bool()> networkReachable;
        // The step timer's real delay for FirstStepMs, BetweenAccountsMs or
        // LastStepMs; empty means as stated. Tests of many minute ticks
        // shorten them.
        std::function<int(int)> stepDelay;
    } hooks;

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
    // The cycle handed over to the announcement.
    void finished();

private:
    void TimerPOP_Timer();
    void ProcessAccount();
    QCoro::Task<> CheckAccount();
    struct Found
    {
        bool mayBeNew = false;
        int first = 1;
    };
    QCoro::Task<Found> FindNewMessages();
    void LearnSecurity(CAccount& account);
    QCoro::Task<> DownloadMessages(int first);
    QCoro::Task<> LogOff();
    void status(const QString& text);
    int delay(int ms) const { return hooks.stepDelay ? hooks.stepDelay(ms) : ms; }
    void takeError(int code, const QString& description);
    // Whether the timed cycle starting now checks account.
    bool dueNow(const CAccount& account) const;

    AccountList& m_accounts;
    CSettings& m_settings;
    MessageStore& m_store;
    QList<CMessage>& NewMessages;
    QTimer TimerPOP;
    std::shared_ptr<CAccount> CurrentAccount;
    std::unique_ptr<Pop3Client> m_pop;
    MessageDecoder m_decoder;
    std::optional<QCoro::Task<>> m_task;
    bool m_running = false;
    bool m_aborting = false;
    bool m_noticeShown = false; // this cycle wrote a notice (not an error) on the Error page
    bool m_keepNotice = false;  // a notice came between cycles; the next one leaves it
    // Accounts whose password the keyring had not given at their turn: they
    // come after the others, so no account waits for another's keyring.
    QList<std::shared_ptr<CAccount>> m_deferred;
    bool m_checkingDeferred = false;
    bool m_storeFailed = false;        // this account's retrieval met a message it could not store
    bool m_storeErrorReported = false; // this cycle told the user
    int m_retrieving = 0;    // the message number being retrieved
    int m_lastRetrieved = 0; // the last message number retrieved completely
    int m_lastErrorCode = 0;
    QString m_lastError;
};

} // namespace orvella
