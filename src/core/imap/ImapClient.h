#pragma once

#include "core/imap/ImapConnection.h"
#include "core/imap/ImapResponse.h"
#include "core/net/IMailTransport.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace orvella::imap {

// One IMAP account's server and how to reach it.
struct ImapServerSettings
{
    QString host;
    int port = 993;
    QString user;
    QString password;
    // An OAuth2 access token: when set, the client signs in with AUTHENTICATE
    // XOAUTH2 and this token instead of the password. Never shown anywhere.
    QString accessToken;
    // "Auto": implicit TLS on port 993, else STARTTLS when the server offers
    //         it, else no encryption.
    // "TLS": implicit TLS on any port.
    // "STARTTLS": STARTTLS on the plain port; fails before sending any
    //         credentials when the server does not offer it.
    // "None": no encryption even when offered.
    // Letter case does not matter; empty means "Auto".
    QString security = QStringLiteral("Auto");
    // A SHA-256 fingerprint of a certificate to accept although the system's
    // trust store does not vouch for it (see Pop3Client's settings).
    QString trustedCertificate;
    int connectTimeoutMs = 30000;
    // The longest silence of the server while a response is awaited; after
    // this long a response must also have come at ImapClient::SlowestAnswerRate.
    int responseTimeoutMs = 30000;
    // Bytes of one message delivered at most; the rest of a bigger one is read
    // and dropped, and the message is marked truncated.
    qint64 maxMessageBytes = 16 * 1024 * 1024;
};

// The mailbox EXAMINE opened.
struct ImapMailbox
{
    QString name;
    // 0: the server did not say (UIDNEXT is optional for old servers).
    quint32 uidValidity = 0;
    quint32 uidNext = 0;
    quint32 exists = 0;
};

// A message as fetched: its exact bytes (CR LF as the server sent them).
struct ImapMessage
{
    quint32 uid = 0;
    // RFC822.SIZE: the whole message's size as the server counts it; -1 unknown.
    qint64 size = -1;
    QByteArray bytes;
    // Cut at maxMessageBytes.
    bool truncated = false;
    // Only the header and the beginning of the body were asked for, and the
    // message is longer than that.
    bool partial = false;
};

// An IMAP client for the mail check: sign in, EXAMINE a mailbox, list the UIDs
// above the last one known, fetch messages without marking them seen, wait in
// IDLE for new mail, log out. It reads only: EXAMINE, never SELECT, and there
// is no way to send STORE, EXPUNGE, COPY or MOVE, nor to fetch a body without
// PEEK, so the user's flags stay as they are.
//
// Written here rather than taken from a library: KIMAP is Qt 5 only and
// libetpan's API blocks; this one shares the POP3 client's transport, its
// deadlines and its certificate trust.
//
// Requests are coroutines on the caller's thread; nothing blocks. co_await one
// request before starting the next (else ErrorBusy). logOff() may be called at
// any time and cuts a running request short; stopIdle() ends a running idle().
// Failed requests return false / nullopt and emit Error once, with words from
// the server or the system. Error codes keep the values of Pop3Client's, so a
// check handles both alike.
class ImapClient : public QObject
{
    Q_OBJECT
public:
    enum ErrorCode {
        ErrorNone = 0,
        ErrorBadSettings = 1,
        ErrorConnect = 2,
        ErrorConnectTimeout = 3,
        ErrorTimeout = 4,
        ErrorConnectionLost = 5, // also: the server ended the session (BYE)
        ErrorTls = 6,
        ErrorCertificate = 7,
        ErrorTlsUnavailable = 8, // "STARTTLS" required but not offered
        ErrorAuthentication = 9, // credentials or access token refused
        ErrorMailboxInUse = 10,
        ErrorServerUnavailable = 11, // [UNAVAILABLE], a BYE greeting: try again later
        ErrorServer = 12,            // any other NO or BAD
        ErrorProtocol = 13,
        ErrorNotLoggedOn = 14,
        ErrorBusy = 15,
        ErrorBadRequest = 16,  // no mailbox examined, ...
        ErrorMailbox = 17,     // the mailbox does not exist or cannot be opened
        ErrorNotSupported = 18 // the server lacks what the request needs (IDLE)
    };
    Q_ENUM(ErrorCode)

    static constexpr qint64 SlowestAnswerRate = 1024;
    static constexpr qint64 DefaultMaxStreamBytes = qint64(1) << 30;
    // RFC 2177: an IDLE is ended and begun again within 29 minutes, before a
    // server's inactivity timer of at least 30 minutes logs the client out.
    static constexpr int IdleRestartMs = 29 * 60 * 1000;
    // UID FETCH commands in flight at once.
    static constexpr int FetchWindow = 4;
    // LOGOUT waits this long at most.
    static constexpr int LogoutTimeoutMs = 10000;

    // Without a transport the client makes a MailSocketTransport.
    explicit ImapClient(std::unique_ptr<IMailTransport> transport = {}, QObject* parent = nullptr);
    ~ImapClient() override;

    // Connects, reads the greeting, secures the connection as the settings
    // say, signs in (XOAUTH2 with an access token; else AUTHENTICATE PLAIN
    // when offered, else LOGIN), and learns the capabilities.
    QCoro::Task<bool> logOn(ImapServerSettings settings);
    // EXAMINE: opens the mailbox read-only.
    QCoro::Task<std::optional<ImapMailbox>> examine(QString mailbox = QStringLiteral("INBOX"));
    // UIDs above lastKnown in the examined mailbox, ascending.
    QCoro::Task<std::optional<QList<quint32>>> uidsAbove(quint32 lastKnown);
    // Fetches the messages, messageFetched() for each in the order the server
    // answers; a UID no longer there is skipped. textBytes < 0: whole messages;
    // else the header and the first textBytes bytes of the body.
    QCoro::Task<bool> fetch(QList<quint32> uids, qint64 textBytes = -1);
    QCoro::Task<bool> noop();
    // IDLE on the examined mailbox: idling() once the server agrees, newMail()
    // as messages arrive, until stopIdle(), maxMs, or the server ends it;
    // then DONE and idleDone(). true when it ended in order.
    QCoro::Task<bool> idle(int maxMs = IdleRestartMs);
    void stopIdle();
    // LOGOUT and close. Never fails, never waits more than LogoutTimeoutMs.
    QCoro::Task<void> logOff();

    bool isLoggedOn() const { return m_loggedOn; }
    bool isEncrypted() const { return m_link.isEncrypted(); }
    bool isIdling() const { return m_idling; }
    // A request is running (logOff() then closes at once).
    bool isBusy() const { return m_busy; }
    QString rejectedCertificate() const { return m_link.rejectedCertificate(); }
    const QList<QByteArray>& capabilities() const { return m_caps; }
    bool hasCapability(QByteArrayView name) const;
    // "XOAUTH2", "PLAIN", "LOGIN" or "PREAUTH": how the last logOn signed in.
    QString authMechanism() const { return m_authMechanism; }
    const ImapMailbox& mailbox() const { return m_mailbox; }
    void setMaxStreamBytes(qint64 bytes) { m_link.setStreamLimit(bytes); }

    // A mailbox name as IMAP4rev1 writes it: modified UTF-7 (RFC 3501 5.1.3).
    static QByteArray encodeMailboxName(const QString& name);

Q_SIGNALS:
    void messageFetched(const orvella::imap::ImapMessage& message);
    void idling();
    // The examined mailbox holds more messages than known: exists in all.
    void newMail(quint32 exists);
    void messageExpunged(quint32 sequence);
    void idleDone();
    void Error(int code, const QString& description);

private:
    enum class Security { Auto, Tls, StartTls, None };
    struct LinkPlan
    {
        Security security = Security::Auto;
        bool implicitTls = false;
        QByteArray trusted;
    };
    enum class OnFailure { Close, CloseWhenOutOfStep };
    using Untagged = std::function<bool(const ImapResponse&)>;

    bool mayStart(bool needsSession);
    void beginRequest();
    void endRequest(bool ok, OnFailure onFailure);
    void close(const QString& why = {});
    void reportFailure();
    QByteArray nextTag();
    void setCapabilities(QList<QByteArray> caps);

    QCoro::Task<bool> doLogOn(ImapServerSettings settings);
    std::optional<LinkPlan> adoptSettings(ImapServerSettings settings);
    QCoro::Task<bool> startTls(Security security, bool preAuth);
    QCoro::Task<bool> readCapabilities();
    QCoro::Task<bool> authenticate();
    QCoro::Task<bool> authenticateSasl(QByteArray mechanism, QByteArray initial, bool token);
    QCoro::Task<bool> login();
    QCoro::Task<bool> doFetch(QList<quint32> uids, qint64 textBytes);
    QCoro::Task<bool> doIdle(int maxMs);

    // Reads until the tagged response of tag: untagged ones go to `each`
    // (when given and it takes them) and then to the common handling;
    // done receives the tagged response. false with the failure recorded on
    // a broken link, a BYE (unless byeExpected), a continuation, or garbage.
    QCoro::Task<bool> awaitTagged(QByteArray tag, ImapResponse& done, Untagged each = {},
                                  bool byeExpected = false);
    // The common handling of an untagged response; false on a BYE.
    bool handleUntagged(const ImapResponse& r, bool byeExpected);
    // The tagged response ended the command well; else records the failure.
    bool isOk(const ImapResponse& done, int refusedCode);

    ImapConnection m_link;
    ImapServerSettings m_settings;
    QList<QByteArray> m_caps;
    QString m_authMechanism;
    ImapMailbox m_mailbox;
    int m_tag = 0;
    int m_capsSetCount = 0; // how often the server listed its capabilities
    bool m_loggedOn = false;
    bool m_examined = false;
    bool m_busy = false;
    bool m_idling = false;
    bool m_stopIdle = false;
};

} // namespace orvella::imap
