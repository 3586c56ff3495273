#include "core/mail/MailCheckCycle.h"

#include "core/mail/StoreIfNew.h"

#include "core/imap/ImapClient.h"
#include "core/mail/ImapFeed.h"
#include "core/mail/ImapWatcher.h"

#include "core/mail/AccountPasswords.h"
#include "core/message/MessageStore.h"
#include "core/oauth/OAuthProvider.h"
#include "core/oauth/OAuthRefresh.h"
#include "core/oauth/OAuthTokens.h"
#include "core/pop3/Pop3Client.h"
#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "platform/Clock.h"
#include "platform/NetworkStatus.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QPointer>
#include <algorithm>
#include <limits>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

MailCheckCycle::MailCheckCycle(AccountList& accounts, Settings& settings, MessageStore& store,
                               QList<MailMessage>& newMessages, QObject* parent)
    : QObject(parent), PasswordWait(AccountPasswords::UnlockWait), m_accounts(accounts), m_settings(settings),
      m_store(store), NewMessages(newMessages)
{
    TimerPOP.setSingleShot(true);
    connect(&TimerPOP, &QTimer::timeout, this, &MailCheckCycle::onStepTimer);
    m_makeClient = [] { return std::make_unique<Pop3Client>(); };
    m_makeImapClient = [] { return std::make_unique<imap::ImapClient>(); };
    m_networkReachable = [] { return platform::networkReachable(); };
}

MailCheckCycle::~MailCheckCycle()
{
    // A client must not go while a request of it is suspended.
    if (m_pop) m_pop.release()->deleteLater();
    if (m_imap) m_imap.release()->deleteLater();
}

void MailCheckCycle::status(const QString& text)
{
    Q_EMIT statusText(text);
}

void MailCheckCycle::CheckAllMailServers()
{
    StartCheck(true);
}

void MailCheckCycle::MailTick()
{
    m_lastTick = platform::now();
    if (m_settings.m_DontCheck) {
        for (const auto& w : m_watchers)
            w->drop(false);
        return;
    }
    if (!IsOnline()) {
        Q_EMIT connectionStatus(u"Offline"_s);
        return;
    }
    StartCheck(false);
}

// With a network connection the machine counts as online; with dial-up only
// while a connection is up, which on this system is the network's own state.
bool MailCheckCycle::IsOnline() const
{
    if (m_settings.m_ConnectionType == 2) return true;
    return m_networkReachable ? m_networkReachable() : true;
}

void MailCheckCycle::StartCheck(bool checkAll)
{
    // Two cycles at once would share one account's counters.
    if (m_running) return;
    m_running = true;
    Q_EMIT exitEnabledChanged(false);
    CheckError = false;
    CheckAll = checkAll;
    Q_EMIT checkControlsChanged(false);
    AccountIndex = 0;
    m_noticeShown = std::exchange(m_keepNotice, false);
    m_storeErrorReported = false;
    m_deferred.clear();
    m_checkingDeferred = false;
    NewMessages.clear();
    pruneWatchers();
    // Passwords in the keyring are read while the first steps wait.
    for (const auto& account : std::as_const(m_accounts))
        if (checkAll || (m_catchingUp ? catchingUp(account) : dueNow(*account)))
            AccountPasswords::Prepare(account, true);
    TimerPOP.start(delay(FirstStepMs));
}

bool MailCheckCycle::dueNow(const Account& account) const
{
    return account.m_MinuteCounter + 1 >= account.m_CheckInterval;
}

bool MailCheckCycle::catchingUp(const std::shared_ptr<Account>& account) const
{
    return std::any_of(m_catchUp.cbegin(), m_catchUp.cend(),
                       [&](const std::weak_ptr<Account>& a) { return a.lock() == account; });
}

void MailCheckCycle::retryLater(const std::shared_ptr<Account>& account)
{
    if (!account) return;
    for (const std::weak_ptr<Account>& a : std::as_const(m_retry))
        if (a.lock() == account) return;
    m_retry.append(account);
}

void MailCheckCycle::Suspending()
{
    // A connection kept over a sleep is dead on waking; the catch-up then makes it anew.
    for (const auto& w : m_watchers)
        if (!m_running || w->account() != CurrentAccount) w->drop(true);
    if (!m_running || m_cutBySleep) return;
    m_cutBySleep = true;
    Abort();
}

bool MailCheckCycle::CatchUp()
{
    if (m_running || m_settings.m_DontCheck || !IsOnline()) return false;
    // The minutes the tick missed while the computer slept count as if it
    // had run through them; an account's interval is time on the clock.
    const QDateTime now = platform::now();
    if (m_lastTick.isValid() && m_lastTick < now) {
        const qint64 missed = m_lastTick.secsTo(now) / 60;
        if (missed > 0) {
            for (const auto& account : std::as_const(m_accounts)) {
                const qint64 counted = qint64(account->m_MinuteCounter) + missed;
                account->m_MinuteCounter = int(
                    std::min<qint64>(counted, std::max(account->m_CheckInterval, account->m_MinuteCounter)));
            }
            m_lastTick = now;
        }
    }
    QList<std::weak_ptr<Account>> due;
    for (const auto& account : std::as_const(m_accounts)) {
        const bool cut = std::any_of(m_retry.cbegin(), m_retry.cend(),
                                     [&](const std::weak_ptr<Account>& a) { return a.lock() == account; });
        const ImapWatcher* watcher = account->IsImap() ? watcherOf(*account) : nullptr;
        const bool reconnect = watcher && watcher->wantsConnection();
        if (cut || reconnect || account->m_MinuteCounter >= account->m_CheckInterval) due.append(account);
    }
    if (due.isEmpty()) return false;
    // A check that fails again puts its account back.
    m_retry.clear();
    m_catchUp = due;
    m_catchingUp = true;
    StartCheck(false);
    return true;
}

void MailCheckCycle::Abort()
{
    if (!m_running || m_aborting) return;
    m_aborting = true;
    TimerPOP.setInterval(0);
    if (m_imap && m_task && !m_task->isReady())
        (void)m_imap->logOff();
    else if (m_pop && m_task && !m_task->isReady())
        (void)m_pop->logOff(); // the account's check then goes on to its own log-off
    else if (TimerPOP.isActive())
        TimerPOP.start(0);
}

void MailCheckCycle::onStepTimer()
{
    TimerPOP.stop();
    if (m_aborting) {
        m_aborting = false;
        m_running = false;
        const bool cutBySleep = std::exchange(m_cutBySleep, false);
        if (cutBySleep) {
            // What this cycle had still to do is done on waking.
            retryLater(CurrentAccount);
            for (qsizetype i = AccountIndex; i < m_accounts.size(); ++i) {
                const auto& account = m_accounts[i];
                if (CheckAll || (m_catchingUp ? catchingUp(account) : dueNow(*account))) retryLater(account);
            }
            for (const auto& account : std::as_const(m_deferred))
                retryLater(account);
            m_deferred.clear();
        }
        CurrentAccount.reset();
        AccountIndex = 0;
        m_catchingUp = false;
        m_catchUp.clear();
        Q_EMIT exitEnabledChanged(true);
        if (cutBySleep) {
            // Once, and not as a connection error: nothing is wrong with the account.
            Q_EMIT errorText(u"The mail check was cut short because the computer went to sleep. Orvella "
                             u"checks the mail again when the computer wakes up."_s);
            Q_EMIT errorPageVisible(true);
            // What was stored before the cut is announced, and the
            // announcement gives the check controls back, as after any check.
            Q_EMIT readyToAnnounce(false, false);
        }
        Q_EMIT finished();
        return;
    }
    const int n = int(m_accounts.size());
    TimerPOP.setInterval(delay(AccountIndex == n - 1 ? LastStepMs : BetweenAccountsMs));
    if (AccountIndex < n) {
        ++AccountIndex;
        CurrentAccount = m_accounts[AccountIndex - 1];
        if (CheckAll) {
            ProcessAccount();
            return;
        }
        if (m_catchingUp) {
            if (!catchingUp(CurrentAccount)) {
                TimerPOP.start(delay(LastStepMs));
                return;
            }
            CurrentAccount->m_MinuteCounter = 0;
            ProcessAccount();
            return;
        }
        CurrentAccount->IncrementTime();
        if (CurrentAccount->m_MinuteCounter < CurrentAccount->m_CheckInterval) {
            TimerPOP.start();
            return;
        }
        CurrentAccount->m_MinuteCounter = 0;
        ProcessAccount();
        return;
    }
    if (!m_deferred.isEmpty()) {
        m_checkingDeferred = true;
        CurrentAccount = m_deferred.takeFirst();
        TimerPOP.setInterval(delay(m_deferred.isEmpty() ? LastStepMs : BetweenAccountsMs));
        ProcessAccount();
        return;
    }
    m_running = false;
    CurrentAccount.reset();
    m_catchingUp = false;
    m_catchUp.clear();
    Q_EMIT exitEnabledChanged(true);
    const bool checkAll = CheckAll, checkError = CheckError;
    AccountIndex = 0;
    if (!CheckError && !m_noticeShown) Q_EMIT errorPageVisible(false);
    // The announcement (and the reading after it) gives the check controls back.
    Q_EMIT readyToAnnounce(checkAll, checkError);
    Q_EMIT finished();
}

void MailCheckCycle::ProcessAccount()
{
    m_task.emplace([](MailCheckCycle* self) -> QCoro::Task<> {
        const std::shared_ptr<Account> account = self->CurrentAccount;
        self->m_accountFailed = false;
        co_await self->CheckAccount();
        // Checked through: nothing of it is left for waking.
        if (!self->m_accountFailed && !self->m_cutBySleep && !self->m_deferred.contains(account))
            self->m_retry.removeIf([&](const std::weak_ptr<Account>& a) { return a.lock() == account; });
        Q_EMIT self->messageCommandsChanged();
    }(this));
}

void MailCheckCycle::takeError(int code, const QString& description)
{
    if (Disconnecting) {
        // Failures while logging off mark the cycle but keep the earlier text.
        ReportPOPError(code, description);
        return;
    }
    m_lastErrorCode = code;
    m_lastError = description;
}

template <class ServerSettings, class Client>
QCoro::Task<std::optional<bool>> MailCheckCycle::LogOnRenewing(Client& client,
                                                               std::shared_ptr<Account> account,
                                                               QString accessToken, int tokenRefusedCode)
{
    ServerSettings s;
    s.host = account->m_PopServer;
    s.port = account->m_Port;
    s.user = account->m_AccountName;
    s.password = account->m_Password;
    s.security = account->m_Security;
    s.trustedCertificate = account->m_TrustedCertificate;
    s.accessToken = accessToken;
    bool loggedOn = co_await client.logOn(s);
    // An access token the server refuses before its time (revoked, or the
    // clocks disagree) is renewed once, and the log-on tried again.
    if (!loggedOn && account->UsesOAuth() && m_lastErrorCode == tokenRefusedCode && !m_aborting) {
        co_await client.logOff();
        const std::optional<QString> token = co_await AccessToken(account, true);
        if (!token) co_return std::nullopt;
        m_lastErrorCode = 0;
        m_lastError.clear();
        s.accessToken = *token;
        loggedOn = co_await client.logOn(s);
    }
    if (loggedOn) account->m_SignInProblem.clear();
    co_return loggedOn;
}

QCoro::Task<> MailCheckCycle::CheckAccount()
{
    Account& account = *CurrentAccount;
    const QString server = account.m_PopServer;
    const QString user = account.m_AccountName;

    if (account.PasswordPending()) {
        if (!m_checkingDeferred) {
            AccountPasswords::Prepare(CurrentAccount);
            m_deferred.append(CurrentAccount);
            TimerPOP.start();
            co_return;
        }
        status(u"Waiting for the keyring to give the password for "_s + server);
        const QString why =
            co_await AccountPasswords::Await(CurrentAccount, PasswordWait, [this] { return m_aborting; });
        if (!why.isEmpty() && !m_aborting) {
            const QString connecting =
                u"An error occurred while connecting to "_s + server + u" with account "_s + user + u"."_s;
            ReportPOPError(AccountPasswords::KeyringError, connecting + u"\r\n\r\n"_s + why);
        }
        if (!why.isEmpty()) {
            status(u"Idle."_s);
            TimerPOP.start(m_aborting ? 0 : TimerPOP.interval());
            co_return;
        }
    }

    QString accessToken;
    if (account.UsesOAuth()) {
        const std::optional<QString> token = co_await AccessToken(CurrentAccount, false);
        if (!token) {
            status(u"Idle."_s);
            TimerPOP.start(m_aborting ? 0 : TimerPOP.interval());
            co_return;
        }
        accessToken = *token;
    }

    if (account.IsImap()) {
        co_await CheckImapAccount(accessToken);
        co_return;
    }

    if (m_pop) m_pop.release()->deleteLater();
    m_pop = m_makeClient();
    m_lastErrorCode = 0;
    m_lastError.clear();
    connect(m_pop.get(), &Pop3Client::Error, this, &MailCheckCycle::takeError);
    connect(m_pop.get(), &Pop3Client::messageStarted, this, [this](int n) {
        m_decoder.Reset();
        m_retrieving = n;
    });
    connect(m_pop.get(), &Pop3Client::Header, this,
            [this](const QString& f, const QString& v) { m_decoder.Header(f, v); });
    connect(m_pop.get(), &Pop3Client::Transfer, this,
            [this](qint64 bytes, const QString& text) { m_decoder.Transfer(bytes, text); });
    connect(m_pop.get(), &Pop3Client::EndTransfer, this, [this] {
        MailMessage message = m_decoder.EndTransfer();
        m_decoder.Reset();
        // After a message that could not be stored nothing more is taken
        // from this account: the counters stop before it, so the next check
        // fetches it again, and the messages after it with it.
        if (m_storeFailed) return;
        if (CurrentAccount) {
            QString why;
            if (StoreIfNew(m_store, message, *CurrentAccount, SeenIDs, NewMessages, &why) ==
                StoreResult::Failed) {
                m_storeFailed = true;
                ReportStoreError(why);
                m_pop->stopRetrieval();
                return;
            }
        }
        m_lastRetrieved = m_retrieving;
    });

    status(u"Connecting to "_s + server);
    Q_EMIT connectionStatus(u"Online"_s);

    const std::optional<bool> signedIn = co_await LogOnRenewing<PopServerSettings>(
        *m_pop, CurrentAccount, accessToken, Pop3Client::ErrorTokenRefused);
    if (!signedIn) {
        co_await LogOff();
        co_return;
    }
    const bool loggedOn = *signedIn;
    // The options dialog offers to trust the certificate a check refused.
    account.m_RejectedCertificate = m_pop->rejectedCertificate();
    if (!loggedOn) {
        ReportPOPError(m_lastErrorCode, u"An error occurred while connecting to "_s + server +
                                            u" with account "_s + user + u".\r\n\r\n"_s + m_lastError);
        co_await LogOff();
        co_return;
    }

    LearnSecurity(account, m_pop->isEncrypted());

    status(u"Checking for new messages on "_s + server);
    const Found found = co_await FindNewMessages();
    if (found.mayBeNew) {
        status(u"Downloading messages from "_s + server);
        co_await DownloadMessages(found.first);
    } else if (m_pop->messageCount() <= 0) {
        // An empty mailbox: the account forgets every identifier, and the
        // counters too. Kept, they would describe mail that is gone, and the
        // next message to arrive with the old count and last size (a
        // notice of fixed length) would pass as nothing new.
        account.RebuildMessageIDs(SeenIDs);
        account.m_NoOfMessages = 0;
        account.m_PrevMessageSize = 0;
        account.WriteCounters();
    }
    co_await LogOff();
}

// --- IMAP --------------------------------------------------------------------

ImapWatcher* MailCheckCycle::watcherOf(const Account& account) const
{
    for (const auto& w : m_watchers)
        if (w->account().get() == &account) return w.get();
    return nullptr;
}

ImapWatcher& MailCheckCycle::watcherFor(const std::shared_ptr<Account>& account)
{
    if (ImapWatcher* w = watcherOf(*account)) return *w;
    auto w = std::make_unique<ImapWatcher>(account);
    w->setBackOffScale(m_backOffScale);
    const std::weak_ptr<Account> weak = account;
    connect(w.get(), &ImapWatcher::checkWanted, this, [this, weak] {
        const std::shared_ptr<Account> a = weak.lock();
        if (!a || m_settings.m_DontCheck) return;
        retryLater(a);
        Q_EMIT pushWanted();
    });
    m_watchers.push_back(std::move(w));
    return *m_watchers.back();
}

void MailCheckCycle::pruneWatchers()
{
    std::erase_if(m_watchers, [this](const std::unique_ptr<ImapWatcher>& w) {
        const std::shared_ptr<Account> a = w->account();
        return !a || !a->IsImap() || !m_accounts.contains(a);
    });
}

// What a parked connection was made with: one made for other settings (the
// user changed the server, the name, the password...) is not used again.
QString MailCheckCycle::imapKey(const Account& account) const
{
    return QStringList{account.m_PopServer,
                       QString::number(account.m_Port),
                       account.m_AccountName,
                       account.m_Security,
                       account.m_TrustedCertificate,
                       Account::signInText(account.m_SignIn),
                       account.UsesOAuth() ? QString() : account.m_Password}
        .join(u'\n');
}

QCoro::Task<> MailCheckCycle::CheckImapAccount(QString accessToken)
{
    const std::shared_ptr<Account> current = CurrentAccount;
    Account& account = *current;
    const QString server = account.m_PopServer;
    const QString user = account.m_AccountName;
    ImapWatcher& watcher = watcherFor(current);
    const QPointer<ImapWatcher> watcherAlive(&watcher);
    const QString key = imapKey(account);
    const auto finish = [this] {
        status(u"Idle."_s);
        TimerPOP.start(m_aborting ? 0 : TimerPOP.interval());
    };

    m_lastErrorCode = 0;
    m_lastError.clear();
    status(u"Connecting to "_s + server);
    Q_EMIT connectionStatus(u"Online"_s);
    m_imap = co_await watcher.take(key);
    if (m_imap) {
        connect(m_imap.get(), &imap::ImapClient::Error, this, &MailCheckCycle::takeError);
    } else {
        m_imap = m_makeImapClient();
        connect(m_imap.get(), &imap::ImapClient::Error, this, &MailCheckCycle::takeError);
        watcher.listen(m_imap.get());
        const std::optional<bool> signedIn =
            m_aborting ? std::optional<bool>(false)
                       : co_await LogOnRenewing<imap::ImapServerSettings>(
                             *m_imap, current, accessToken, imap::ImapClient::ErrorAuthentication);
        if (!signedIn) {
            co_await LogOff();
            co_return;
        }
        const bool loggedOn = *signedIn;
        account.m_RejectedCertificate = m_imap->rejectedCertificate();
        if (!loggedOn) {
            const int code = m_lastErrorCode;
            ReportPOPError(code, u"An error occurred while connecting to "_s + server + u" with account "_s +
                                     user + u".\r\n\r\n"_s + m_lastError);
            if (watcherAlive)
                watcherAlive->connectFailed(
                    code == imap::ImapClient::ErrorConnect || code == imap::ImapClient::ErrorConnectTimeout ||
                    code == imap::ImapClient::ErrorTimeout || code == imap::ImapClient::ErrorConnectionLost ||
                    code == imap::ImapClient::ErrorServerUnavailable);
            co_await LogOff();
            co_return;
        }
        LearnSecurity(account, m_imap->isEncrypted());
    }

    status(u"Checking for new messages on "_s + server);
    SeenIDs = MessageIDSet();
    m_storeFailed = false;
    for (const QString& folder : account.WatchedFolders()) {
        if (m_aborting || m_storeFailed) break;
        if (!co_await CheckFolder(folder)) break;
        if (!CurrentAccount) break;
    }
    // Keeping the connection: the watcher waits on it in IDLE. A server
    // without IDLE is checked at the account's interval, signed in anew.
    if (m_imap && m_imap->isLoggedOn() && m_imap->hasCapability("IDLE") && !m_aborting &&
        !m_settings.m_DontCheck && watcherAlive && CurrentAccount == current) {
        disconnect(m_imap.get(), &imap::ImapClient::Error, this, &MailCheckCycle::takeError);
        watcherAlive->park(std::move(m_imap), key);
        finish();
        co_return;
    }
    if (m_imap && !m_imap->isLoggedOn() && watcherAlive && !m_aborting && m_imap->hasCapability("IDLE"))
        watcherAlive->connectFailed(true);
    co_await LogOff();
}

QCoro::Task<bool> MailCheckCycle::CheckFolder(QString folder)
{
    const std::shared_ptr<Account> current = CurrentAccount;
    Account& account = *current;
    const QString server = account.m_PopServer;
    const auto fail = [&](const QString& what) {
        ReportPOPError(m_lastErrorCode, what + u" on "_s + server + u" with account "_s +
                                            account.m_AccountName + u".\r\n\r\n"_s + m_lastError);
    };
    const std::optional<imap::ImapMailbox> box = co_await m_imap->examine(folder);
    if (!box) {
        fail(u"An error occurred while opening the folder "_s + folder);
        // A folder that does not exist leaves the others to be read.
        co_return m_imap && m_imap->isLoggedOn();
    }
    const Account::FolderState before = account.folderState(folder);
    const auto note = [&](quint32 lastUid) {
        QString why;
        if (!account.SetFolderState(folder, box->uidValidity, lastUid, &why)) ReportStoreError(why);
    };
    // The server numbered the folder anew: what it holds now was there before
    // and is no news. The messages stored from it keep their identifiers.
    if (before.known && box->uidValidity != before.uidValidity) {
        quint32 highest = box->uidNext > 0 ? box->uidNext - 1 : 0;
        if (box->uidNext == 0) {
            const auto all = co_await m_imap->uidsAbove(0);
            if (!all) {
                fail(u"An error occurred while checking the folder "_s + folder);
                co_return m_imap && m_imap->isLoggedOn();
            }
            if (!all->isEmpty()) highest = all->last();
        }
        note(highest);
        co_return true;
    }
    const std::optional<QList<quint32>> uids = co_await m_imap->uidsAbove(before.lastUid);
    if (!uids) {
        fail(u"An error occurred while checking the folder "_s + folder);
        co_return m_imap && m_imap->isLoggedOn();
    }
    // Every UID below UIDNEXT that is not listed is gone: the folder is read up to there.
    const quint32 readTo = box->uidNext > 0 ? box->uidNext - 1 : 0;
    if (uids->isEmpty()) {
        if (!before.known || readTo > before.lastUid) note(std::max(before.lastUid, readTo));
        co_return true;
    }

    status(u"Downloading messages from "_s + server);
    // The messages come in the order asked (ascending UIDs); the folder's
    // state moves past a UID only when it and every one before it were kept.
    QList<quint32> kept;
    quint32 failedAt = 0;
    const QMetaObject::Connection fetched =
        connect(m_imap.get(), &imap::ImapClient::messageFetched, this, [&](const imap::ImapMessage& m) {
            if (m_storeFailed || !CurrentAccount) return;
            m_decoder.Reset();
            FeedImapMessage(m_decoder, m.bytes, m_settings.m_Lines);
            MailMessage message = m_decoder.EndTransfer();
            m_decoder.Reset();
            QString why;
            if (StoreIfNew(m_store, message, *CurrentAccount, SeenIDs, NewMessages, &why) ==
                StoreResult::Failed) {
                m_storeFailed = true;
                failedAt = m.uid;
                ReportStoreError(why);
                return;
            }
            kept.append(m.uid);
        });
    const bool complete = co_await m_imap->fetch(*uids, ImapTextBytesFor(m_settings.m_Lines));
    disconnect(fetched);
    if (!complete && !m_storeFailed)
        fail(u"An error occurred while downloading messages from the folder "_s + folder);
    quint32 last = before.lastUid;
    if (complete && !m_storeFailed) {
        last = std::max(uids->last(), readTo);
    } else {
        // Up to the first message neither kept nor known to be gone.
        for (const quint32 uid : *uids) {
            if (uid == failedAt || !kept.contains(uid)) break;
            last = uid;
        }
    }
    // Identifiers before the folder's state: a state ahead of them would skip
    // messages whose storing the identifiers do not yet tell.
    account.SaveMessageIDs();
    if (last != before.lastUid || !before.known) note(last);
    co_return m_imap && m_imap->isLoggedOn();
}

QCoro::Task<std::optional<QString>> MailCheckCycle::AccessToken(std::shared_ptr<Account> account, bool renew)
{
    const QString who = u"An error occurred while signing in to "_s + account->m_PopServer +
                        u" with account "_s + account->m_AccountName + u".\r\n\r\n"_s;
    const auto fail = [&](const QString& why, bool signInAgain) {
        if (signInAgain) account->m_SignInProblem = why;
        ReportPOPError(SignInError, who + why);
    };
    const std::optional<oauth::OAuthTokens> tokens = oauth::OAuthTokens::fromSecret(account->m_Password);
    if (!tokens || tokens->refreshToken.isEmpty() && tokens->accessToken.isEmpty()) {
        fail(u"This account has not been signed in. Sign in to it in the 'E-mail Accounts' tab of the "
             u"'Options' screen."_s,
             true);
        co_return std::nullopt;
    }
    // Five minutes of margin: the check that follows may take a while.
    if (!renew && !tokens->expiresWithin(300)) co_return tokens->accessToken;
    if (tokens->refreshToken.isEmpty()) {
        fail(oauth::signInAgainText(account->m_AccountName), true);
        co_return std::nullopt;
    }
    const oauth::OAuthProvider provider = oauth::OAuthProvider::forProvider(
        account->m_SignIn == Account::SignIn::Google ? oauth::Provider::Google : oauth::Provider::Microsoft);
    if (!provider.hasClientId()) {
        fail(provider.missingClientIdText(), false);
        co_return std::nullopt;
    }
    status(u"Renewing the sign-in for "_s + account->m_PopServer);
    if (!m_network) m_network = std::make_unique<QNetworkAccessManager>();
    const std::weak_ptr<Account> weak = account;
    account.reset();
    const oauth::RefreshResult result = co_await oauth::refresh(provider, tokens->refreshToken, *m_network);
    account = weak.lock();
    if (!account) co_return std::nullopt;
    if (result.kind == oauth::RefreshResult::Kind::SignInAgain) {
        fail(oauth::signInAgainText(account->m_AccountName) + u"\r\n\r\n"_s + result.words, true);
        co_return std::nullopt;
    }
    if (!result.ok()) {
        fail(result.words, false);
        co_return std::nullopt;
    }
    account->m_Password = result.tokens.toSecret();
    // The refresh token may have been replaced: the keyring keeps the new one.
    AccountPasswords::StoreOne(account);
    co_return result.tokens.accessToken;
}

// "Auto" takes whatever protection the server offers, so a man in the
// middle who strips STLS from the capabilities would receive the password.
// Once the server has shown a verified TLS session, the account keeps that
// way for good and fails closed when it is missing; a logon in clear is told
// to the user, once a run.
void MailCheckCycle::LearnSecurity(Account& account, bool encrypted)
{
    if (account.m_Security.compare(u"Auto"_s, Qt::CaseInsensitive) != 0) return;
    if (encrypted) {
        account.m_Security = account.m_Port == (account.IsImap() ? 993 : 995) ? u"TLS"_s : u"STARTTLS"_s;
        account.SaveSecurity();
        return;
    }
    if (account.m_PlainLogonReported) return;
    account.m_PlainLogonReported = true;
    m_noticeShown = true;
    Q_EMIT errorText(
        u"The mail server "_s + account.m_PopServer + u" does not protect your password: account "_s +
        account.m_AccountName +
        u" logged on without encryption, so anyone who can watch the network between you and the "
        u"server can read the password.\r\n\r\n"
        u"If the server offers a secure connection, choose TLS or STARTTLS for this account in the 'E-mail "
        u"Accounts' tab located in the 'Options' screen."_s);
    Q_EMIT errorPageVisible(true);
}

QCoro::Task<MailCheckCycle::Found> MailCheckCycle::FindNewMessages()
{
    Account& account = *CurrentAccount;
    const int count = m_pop->messageCount();
    const int N = account.m_NoOfMessages;
    const qint64 P = account.m_PrevMessageSize;
    Found result;
    if (count == 0) {
        SeenIDs = MessageIDSet();
        co_return result;
    }
    result.first = 1;
    if (count != N) {
        if (count > N && N != 0) {
            const auto size = co_await m_pop->messageSize(N);
            if (!size) {
                ReportPOPError(m_lastErrorCode, m_lastError);
                co_return Found{};
            }
            if (*size == P) result.first = N + 1;
        }
        result.mayBeNew = true;
        co_return result;
    }
    const auto size = co_await m_pop->messageSize(count);
    if (!size) {
        ReportPOPError(m_lastErrorCode, m_lastError);
        co_return Found{};
    }
    result.mayBeNew = *size != P;
    co_return result;
}

// The counters say how far the account's mailbox has been read; they move
// only over messages actually retrieved. Had they moved to the server's count
// before the retrieval, a retrieval cut short (a dropped connection, a -ERR)
// would leave the messages after the cut unread for good whenever the last
// message keeps the size the counters remember (notices of fixed length).
QCoro::Task<> MailCheckCycle::DownloadMessages(int first)
{
    Account& account = *CurrentAccount;
    SeenIDs = MessageIDSet();
    const int C = m_pop->messageCount();
    m_decoder.Reset();
    m_retrieving = 0;
    m_lastRetrieved = first - 1;
    m_storeFailed = false;
    const bool complete = co_await m_pop->retrieve(first, C, m_settings.m_Lines);
    // A retrieval stopped because a message could not be stored is no server error.
    if (!complete && (!m_storeFailed || m_lastErrorCode != 0)) ReportPOPError(m_lastErrorCode, m_lastError);
    const int last = complete ? C : m_lastRetrieved;
    bool counted = false;
    if (last >= first && m_pop->isLoggedOn()) {
        const auto size = co_await m_pop->messageSize(last);
        if (size) {
            account.m_NoOfMessages = last;
            account.m_PrevMessageSize = int(std::clamp<qint64>(*size, 0, std::numeric_limits<int>::max()));
            counted = true;
        } else if (complete) {
            ReportPOPError(m_lastErrorCode, m_lastError);
        }
    }
    // Without the size the counters stay as they were: the next check then
    // reads from where they point, and known identifiers keep what was stored
    // from being stored again. The identifiers are written in every case, so
    // the journal of this pass is cleared.
    // Every message stored is named in the identifier file or, when that
    // could not be written, in the journal (a message is stored only once its
    // journal line is written), so the counters never run ahead of them.
    if (complete && counted && first == 1)
        account.RebuildMessageIDs(SeenIDs);
    else
        account.SaveMessageIDs();
    if (counted) account.WriteCounters();
}

// A message that could not be written is reported once a cycle, with the
// folder and the system's reason; the message stays on the server.
void MailCheckCycle::ReportStoreError(const QString& why)
{
    CheckError = true;
    if (m_storeErrorReported) return;
    m_storeErrorReported = true;
    Q_EMIT errorText(u"New mail could not be stored in the folder "_s +
                     QDir::toNativeSeparators(MailMessage::MessageFolder()) + u": "_s + why +
                     u".\r\n\r\nThe messages stay on the mail server and are fetched again at the next "
                     u"check once the folder can be written to. Make room on the disk, or make the "
                     u"folder writable."_s);
    Q_EMIT errorPageVisible(true);
}

QCoro::Task<> MailCheckCycle::LogOff()
{
    status(u"Disconnecting from mail server."_s);
    Disconnecting = true;
    if (m_imap) {
        co_await m_imap->logOff();
        if (m_imap) m_imap.release()->deleteLater();
    } else if (m_pop) {
        co_await m_pop->logOff();
    }
    Disconnecting = false;
    status(u"Idle."_s);
    TimerPOP.start(m_aborting ? 0 : TimerPOP.interval());
}

void MailCheckCycle::ReportPOPError(int errorNumber, const QString& description)
{
    // The requests a sleep cuts fail one by one; the cut is told once, at the end.
    if (m_cutBySleep) return;
    m_accountFailed = true;
    // A connection that broke or never came is tried again as soon as the
    // network is back or the computer wakes, not only at the next interval.
    if (errorNumber == Pop3Client::ErrorConnect || errorNumber == Pop3Client::ErrorConnectTimeout ||
        errorNumber == Pop3Client::ErrorTimeout || errorNumber == Pop3Client::ErrorConnectionLost)
        retryLater(CurrentAccount);
    if (!Disconnecting) {
        const QString text =
            u"There was an error connecting to the mail server.\r\n"_s + u"Description: "_s + description +
            u" ("_s + QString::number(errorNumber) + u")\r\n\r\n"_s +
            u"Make sure your account information is correct. You can change it, in the 'E-mail "
            u"Accounts' tab located in the 'Options' screen.\r\n\r\n"_s +
            u"1. You can check the settings of your default mail program. You should be able to "
            u"find there, the incoming mail server address and the account name.\r\n\r\n"_s +
            u"2. If you can not find the account information, please contact your Internet "
            u"Service Provider and ask them for the correct settings.\r\n\r\n"_s +
            u"3. If you need further assistance, please check the Orvella support page at "_s +
            Program().SupportURL;
        Q_EMIT errorText(text);
    }
    CheckError = true;
    Q_EMIT errorPageVisible(true);
}

void MailCheckCycle::ShowNotice(const QString& text)
{
    Q_EMIT errorText(text);
    Q_EMIT errorPageVisible(true);
    m_noticeShown = true;
    if (!m_running) m_keepNotice = true;
}

bool MailCheckCycle::CheckParameters()
{
    if (m_accounts.isEmpty()) return true;
    const Account& first = *m_accounts.first();
    if (first.UsesOAuth() && !first.HasPassword() && !m_settings.m_DontCheck &&
        !first.m_PopServer.isEmpty() && !first.m_AccountName.isEmpty()) {
        Q_EMIT notice(u"Your account is not signed in yet.\r\nPlease sign in to it in the options screen."_s,
                      false, u"Read"_s);
        return false;
    }
    return CheckParameters(first.m_PopServer, first.m_AccountName, first.HasPassword());
}

bool MailCheckCycle::CheckParameters(const QString& server, const QString& accountName, bool hasPassword)
{
    if (m_settings.m_DontCheck) return true;
    QString text;
    if (server.isEmpty())
        text = u"Your Incoming mail server address was not specified.\r\nPlease fill in the Incoming mail "
               u"server "
               u"in the options screen."_s;
    else if (accountName.isEmpty())
        text =
            u"Your account name is not specified.\r\nPlease fill in your account name in the options screen"_s;
    else if (!hasPassword)
        text = u"Your password is not specified.\r\nPlease fill in your password in the options screen."_s;
    if (text.isEmpty()) return true;
    Q_EMIT notice(text, false, u"Read"_s);
    return false;
}

} // namespace orvella
