#pragma once

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <memory>

namespace orvella {

class Account;
namespace imap {
class ImapClient;
}

// Keeps one IMAP account's connection open between checks and waits on it in
// IDLE for new mail in INBOX, so new mail is told within seconds instead of at
// the account's interval.
//
// It never fetches: every fetch goes through the mail check, which asks the
// watcher for its connection (take), reads every watched folder on it, and
// hands it back (park). Mail the IDLE announces, and a reconnect after a lost
// connection, are asked of the check (checkWanted), so one account is never
// read twice at once and a message is stored in one place only.
//
// One connection, IDLE on INBOX only: the other watched folders are read at
// each check (the account's interval, "Check Mail", and every push). A
// connection per folder would multiply the connections a server allows per
// user (often ten or fewer, shared with the user's other mail programs) and
// the wake-ups of a program meant to sit still.
//
// The mail check (MailCheckCycle) owns the watchers, one per IMAP account.
class ImapWatcher : public QObject
{
    Q_OBJECT
public:
    // RFC 2177 allows 29 minutes; routers and NAT drop a connection silent
    // for much less, so IDLE is renewed every ten.
    static constexpr int IdleRenewMs = 10 * 60 * 1000;
    // Waits before reconnecting after a lost connection, one step further
    // after each failed attempt; the last step repeats.
    static constexpr std::array<int, 4> BackOffMs{5000, 15000, 60000, 300000};

    explicit ImapWatcher(std::weak_ptr<Account> account, QObject* parent = nullptr);
    ~ImapWatcher() override;

    std::shared_ptr<Account> account() const { return m_account.lock(); }
    // The parked connection with its IDLE ended, when there is one and it
    // was made with settings `key`; else null (a stale one is closed).
    QCoro::Task<std::unique_ptr<imap::ImapClient>> take(QString key);
    // A signed-in connection a check is done with: INBOX is examined and
    // watched in IDLE from now on.
    void park(std::unique_ptr<imap::ImapClient> client, QString key);
    // A check could not connect. retry: the failure may pass (no network,
    // server away), so the check is asked again after the next back-off step.
    void connectFailed(bool retry);
    // Closes the connection (the computer sleeps, checking is turned off).
    // reconnect: the next catch-up connects again.
    void drop(bool reconnect);
    // A connection was lost, or dropped to be made again, and none is open.
    bool wantsConnection() const { return m_wantsConnection && !m_client; }
    bool hasConnection() const { return bool(m_client); }
    bool isIdling() const;
    // Which step of BackOffMs the next reconnect waits (tests look at it).
    int backOffStep() const { return m_failures; }
    // Tests shorten the back-off; none means as stated.
    void setBackOffScale(double factor) { m_backOffScale = factor; }
    // Connects a client's newMail to this watcher: the check connects its own
    // clients this way so mail arriving during a check is not missed.
    void listen(imap::ImapClient* client);

Q_SIGNALS:
    // New mail waits in INBOX, or it is time to connect again: the account
    // should be checked.
    void checkWanted();

    // Internal: the IDLE loop ended (take() waits for it).
    void watchEnded();

private:
    static QCoro::Task<> watch(ImapWatcher* self, imap::ImapClient* client, std::shared_ptr<bool> alive);
    void wantCheck();
    void lose();
    void scheduleReconnect();
    void discardClient();

    std::weak_ptr<Account> m_account;
    std::unique_ptr<imap::ImapClient> m_client;
    QString m_key;
    QTimer m_reconnect;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    int m_failures = 0;
    double m_backOffScale = 1.0;
    bool m_watching = false;
    bool m_taking = false;
    bool m_checkAsked = false;
    bool m_wantsConnection = false;
};

} // namespace orvella
