#include "core/mail/ImapWatcher.h"

#include "core/imap/ImapClient.h"
#include "core/mail/Account.h"

#include <QCoro/QCoroSignal>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

using imap::ImapClient;

ImapWatcher::ImapWatcher(std::weak_ptr<Account> account, QObject* parent)
    : QObject(parent), m_account(std::move(account))
{
    m_reconnect.setSingleShot(true);
    connect(&m_reconnect, &QTimer::timeout, this, &ImapWatcher::wantCheck);
}

ImapWatcher::~ImapWatcher()
{
    *m_alive = false;
    discardClient();
}

bool ImapWatcher::isIdling() const
{
    return m_client && m_client->isIdling();
}

void ImapWatcher::listen(ImapClient* client)
{
    connect(client, &ImapClient::newMail, this, [this, client] {
        // Only INBOX is watched; another folder's growth during a check is
        // that check's to read.
        if (client->mailbox().name.compare(u"INBOX"_s, Qt::CaseInsensitive) == 0) wantCheck();
    });
}

void ImapWatcher::wantCheck()
{
    if (m_checkAsked) return;
    m_checkAsked = true;
    Q_EMIT checkWanted();
}

// A client in a request is closed at once: the request's coroutine resumes
// (queued) before the deferred deletion. One not in a request is closed by
// its destructor.
void ImapWatcher::discardClient()
{
    if (!m_client) return;
    if (m_client->isBusy()) (void)m_client->logOff();
    m_client.release()->deleteLater();
    m_watching = false;
    if (m_taking) Q_EMIT watchEnded();
}

QCoro::Task<std::unique_ptr<ImapClient>> ImapWatcher::take(QString key)
{
    m_checkAsked = false;
    m_reconnect.stop();
    if (m_client && m_key != key) discardClient();
    if (!m_client) co_return std::unique_ptr<ImapClient>{};
    if (m_watching) {
        m_taking = true;
        m_client->stopIdle();
        const std::shared_ptr<bool> alive = m_alive;
        co_await qCoro(this, &ImapWatcher::watchEnded);
        if (!*alive) co_return std::unique_ptr<ImapClient>{};
        m_taking = false;
    }
    co_return std::move(m_client);
}

void ImapWatcher::park(std::unique_ptr<ImapClient> client, QString key)
{
    discardClient();
    m_reconnect.stop();
    m_failures = 0;
    m_wantsConnection = false;
    if (!client || !client->isLoggedOn()) {
        if (client) client.release()->deleteLater();
        return;
    }
    m_client = std::move(client);
    m_key = std::move(key);
    m_watching = true;
    (void)watch(this, m_client.get(), m_alive);
}

QCoro::Task<> ImapWatcher::watch(ImapWatcher* self, ImapClient* client, std::shared_ptr<bool> alive)
{
    const auto gone = [&] { return !*alive || self->m_client.get() != client; };
    bool lost = false;
    while (!self->m_taking) {
        if (client->mailbox().name.compare(u"INBOX"_s, Qt::CaseInsensitive) != 0) {
            const auto box = co_await client->examine(u"INBOX"_s);
            if (gone()) co_return;
            if (!box) {
                lost = true;
                break;
            }
            // Mail that came after the check read INBOX and before this EXAMINE.
            if (const auto account = self->m_account.lock()) {
                const Account::FolderState s = account->folderState(u"INBOX"_s);
                if (s.known && box->uidValidity == s.uidValidity && box->uidNext > s.lastUid + 1)
                    self->wantCheck();
            }
            continue;
        }
        const bool ok = co_await client->idle(IdleRenewMs);
        if (gone()) co_return;
        if (!ok) {
            lost = !self->m_taking || !client->isLoggedOn();
            if (lost) break;
        }
    }
    self->m_watching = false;
    if (lost) self->lose();
    Q_EMIT self->watchEnded();
}

void ImapWatcher::lose()
{
    discardClient();
    m_wantsConnection = true;
    scheduleReconnect();
}

void ImapWatcher::scheduleReconnect()
{
    const int step = std::min<int>(m_failures, int(BackOffMs.size()) - 1);
    m_reconnect.start(int(BackOffMs[size_t(step)] * m_backOffScale));
}

void ImapWatcher::connectFailed(bool retry)
{
    m_reconnect.stop();
    if (!m_wantsConnection) return;
    if (!retry) {
        // Refused credentials and the like do not pass by themselves: the
        // account's interval tries again.
        m_wantsConnection = false;
        m_failures = 0;
        return;
    }
    if (m_failures < int(BackOffMs.size()) - 1) ++m_failures;
    scheduleReconnect();
}

void ImapWatcher::drop(bool reconnect)
{
    m_reconnect.stop();
    const bool had = bool(m_client) || m_wantsConnection;
    discardClient();
    m_failures = 0;
    m_wantsConnection = reconnect && had;
}

} // namespace orvella
