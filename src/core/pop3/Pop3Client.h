#pragma once

#include "core/pop3/IPop3Transport.h"
#include "core/pop3/Pop3Connection.h"
#include "core/pop3/Pop3Pipeline.h"
#include "core/pop3/Pop3Response.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace orvella {

// One POP3 account's server and how to reach it.
struct PopServerSettings
{
    QString host;
    int port = 110;
    QString user;
    QString password;
    // An OAuth2 access token (Outlook.com, Gmail). When set, the client signs
    // in with SASL XOAUTH2 and the password is not used. A bearer token lets
    // anyone who sees it into the mailbox, so it only goes over an encrypted
    // connection, or to a server on this machine.
    QString accessToken;
    // "Auto": implicit TLS on port 995, else STLS when the server offers it,
    //         else no encryption.
    // "TLS": implicit TLS (POP3S) on any port.
    // "STARTTLS": STLS on the plain port; fails before sending any password
    //         when the server does not offer it.
    // "None": no encryption even when offered.
    // Letter case does not matter; empty means "Auto".
    QString security = QStringLiteral("Auto");
    // A SHA-256 fingerprint (64 hex digits, ':' and blanks optional) of a
    // certificate to accept although the system's trust store does not vouch
    // for it: a self-hosted server's self-signed certificate.
    QString trustedCertificate;
    int connectTimeoutMs = 30000;
    // The longest silence of the server while an answer is awaited, the
    // greeting included. It also bounds the whole answer: after this long, an
    // answer must have come at Pop3Client::SlowestAnswerRate at least, so a
    // server that trickles a byte now and then cannot hold the check forever.
    // Half a minute: a live server answers within seconds, and every account
    // after a dead one waits for it.
    int responseTimeoutMs = 30000;
    // Bytes of one message delivered at most (header and body lines with their
    // line ends); the rest of a bigger message is read and dropped, so one huge
    // message can neither fill memory nor block the account.
    qint64 maxMessageBytes = 16 * 1024 * 1024;
};

// A POP3 client for the mail check: log on, message count, a message's size,
// headers plus n body lines of messages, log off. It never deletes mail: it
// has no way to send DELE.
//
// Requests are coroutines on the caller's (the UI) thread; nothing blocks.
// co_await one request before starting the next: a request made while another
// runs fails at once with ErrorBusy. logOff() is the exception: it may be
// called at any time and cuts a running request short.
//
// Failed requests return false / nullopt and emit Error exactly once, with a
// description in the server's own words (its -ERR text, e.g.
// "[AUTH] Authentication failed.") or the system's ("Connection refused",
// a certificate problem with the certificate's SHA-256 fingerprint, ...).
//
// Text convention: mail is bytes. Header names and values and body lines are
// QStrings in which each character is one byte as received (the Latin-1
// mapping of QString::fromLatin1), whatever the message's charset. The
// message decoder gets the exact bytes back with toLatin1() and decodes them
// itself (RFC 2047 words, transfer encodings, charsets).
//
// Do not destroy the client while a request is suspended; call logOff() and
// let the request's coroutine finish, or use deleteLater() afterwards.
class Pop3Client : public QObject
{
    Q_OBJECT
public:
    // Codes of the Error signal.
    enum ErrorCode {
        ErrorNone = 0,
        ErrorBadSettings = 1,        // the account's settings cannot work (no host, unknown security...)
        ErrorConnect = 2,            // connection refused, host not found, network unreachable
        ErrorConnectTimeout = 3,     // no connection within connectTimeoutMs
        ErrorTimeout = 4,            // the server stopped answering for responseTimeoutMs
        ErrorConnectionLost = 5,     // the server or the network closed the connection
        ErrorTls = 6,                // the TLS handshake failed for another reason than the certificate
        ErrorCertificate = 7,        // the certificate is not trusted (description names its fingerprint)
        ErrorTlsUnavailable = 8,     // security "STARTTLS" (or an access token) but the server offers no STLS
        ErrorAuthentication = 9,     // the server refused the user name or password
        ErrorMailboxInUse = 10,      // [IN-USE]: another client has the mailbox open
        ErrorServerUnavailable = 11, // [SYS/TEMP], [LOGIN-DELAY]: try again later
        ErrorServer = 12,            // any other -ERR (no such message, ...)
        ErrorProtocol = 13,          // the server's answer makes no sense
        ErrorNotLoggedOn = 14,       // a request that needs a session without one
        ErrorBusy = 15,              // another request is still running
        ErrorBadRequest = 16,        // a message number out of range, a negative line count
        ErrorTokenRefused = 17, // the server did not accept the access token: refresh it or sign in again
    };
    Q_ENUM(ErrorCode)

    // The longest line accepted where a status line belongs (greeting,
    // +OK/-ERR, CAPA and LIST lines), in a message's header and in its body.
    // A longer one is a server gone wrong: the request fails with
    // ErrorProtocol and the connection is closed. Body lines longer than
    // Pop3LineReader::MaxLineLength and within the limit are delivered cut.
    static constexpr qint64 StatusLineLimit = 4 * 1024;
    static constexpr qint64 HeaderLineLimit = 8 * 1024;
    static constexpr qint64 BodyLineLimit = 1024 * 1024;
    // Bytes per second an answer must average once responseTimeoutMs has
    // passed since it began; slower fails with ErrorTimeout.
    static constexpr qint64 SlowestAnswerRate = 1024;

    // Without a transport the client makes a Pop3SocketTransport.
    explicit Pop3Client(std::unique_ptr<IPop3Transport> transport = {}, QObject* parent = nullptr);
    ~Pop3Client() override;

    // Connects, reads the greeting, CAPA, secures the connection as the
    // settings say (CAPA again after STLS), authenticates, then STAT.
    // Authentication with an access token: SASL XOAUTH2, whatever the SASL
    // list says (some servers list their mechanisms only after TLS), and
    // only over TLS or to a loopback host; elsewhere the log-on fails before
    // the token is sent (ErrorBadSettings for security "None",
    // ErrorTlsUnavailable when the server offers no STLS). A token the
    // server refuses is ErrorTokenRefused; a server without XOAUTH2 gives
    // ErrorAuthentication. The token never appears in an Error description.
    // Authentication with a password: SASL PLAIN when the server offers it
    // over TLS, else USER/PASS; without TLS, APOP when the greeting offers it
    // (the password then never crosses the wire), else SASL PLAIN when
    // offered (servers offer it without TLS only where they deem the link
    // secure), else USER/PASS.
    QCoro::Task<bool> logOn(PopServerSettings settings);
    // From STAT, valid after a successful logOn.
    int messageCount() const { return m_count; }
    qint64 mailboxSize() const { return m_mailboxSize; }
    // LIST n: the message's size in bytes as the server counts them.
    QCoro::Task<std::optional<qint64>> messageSize(int n);
    // Header plus `lines` body lines of messages first..last (lines == 0:
    // RETR, the entire message). For each message in order: messageStarted(n),
    // Header per unfolded field, Transfer per body line (dot-unstuffed, no
    // line end), EndTransfer. With PIPELINING the sizes (LIST) and as many
    // requests as Pop3Pipeline's byte budgets allow are in flight, written
    // while answers are read; events still come in message order. A -ERR for
    // one message stops the retrieval there (Error, false); the session
    // stays usable.
    // first > last is nothing to do (true); numbers outside 1..messageCount()
    // or a negative `lines` fail with ErrorBadRequest before anything is sent.
    // A line in the header that is no field ends the header early: it and the
    // rest are body lines, as a MIME parser would read them. A message past
    // maxMessageBytes is cut: its events stop there, EndTransfer still comes.
    QCoro::Task<bool> retrieve(int first, int last, int lines);
    // Ends a running retrieval once the message being delivered has ended
    // (at once when none is): the answers already asked for are read past,
    // and retrieve() returns false without an Error. The session stays
    // usable. For a receiver that cannot keep what it is given.
    void stopRetrieval() { m_stopRequested = m_busy; }
    // QUIT and close. Never fails, never hangs (the QUIT answer is awaited at
    // most responseTimeoutMs, 10 s at the most); only a -ERR answer to QUIT
    // emits Error.
    QCoro::Task<void> logOff();

    bool isLoggedOn() const { return m_loggedOn; }
    // The fingerprint ("AA:BB:...") of the certificate the last connection
    // refused, for the user to look at and trust; empty when none was refused.
    QString rejectedCertificate() const { return m_link.rejectedCertificate(); }
    bool isEncrypted() const;
    // The capabilities of the last CAPA answer (empty when CAPA was refused).
    const pop3::Capabilities& capabilities() const { return m_caps; }
    // "XOAUTH2", "PLAIN", "USER" or "APOP": how the last logOn authenticated.
    QString authMechanism() const { return m_authMechanism; }
    // Pipelining is used when the server offers it and this allows it (default).
    void setPipeliningAllowed(bool allowed) { m_pipeliningAllowed = allowed; }
    // The most read for one message, cut part included, before the server
    // counts as hostile: the answer is abandoned with ErrorProtocol and the
    // connection closed. Without it a server streaming without end would
    // keep the check running forever. A message whose size is known stops
    // far sooner: at twice its size (from LIST, else from STAT's size of the
    // whole mailbox) plus maxMessageBytes.
    static constexpr qint64 DefaultMaxStreamBytes = qint64(1) << 30;
    void setMaxStreamBytes(qint64 bytes);

    // "AA:BB:..." upper case, as the Error descriptions and the settings show it.
    static QString formatFingerprint(const QByteArray& sha256);
    // Strips ':' and blanks and lower-cases; empty when fingerprint is no
    // SHA-256 fingerprint.
    static QByteArray normalizeFingerprint(const QString& fingerprint);

Q_SIGNALS:
    void messageStarted(int n);
    void Header(const QString& field, const QString& value);
    // bytes: bytes of the message received so far, line ends included.
    void Transfer(qint64 bytes, const QString& text);
    void EndTransfer();
    void Error(int code, const QString& description);

private:
    enum class Security { Auto, Tls, StartTls, None };
    // How to reach the server, from the account's settings.
    struct LinkPlan
    {
        Security security = Security::Auto;
        bool implicitTls = false;
        QByteArray trusted; // a normalized fingerprint; empty for none
    };
    enum class OnFailure { Close, CloseWhenOutOfStep };

    // Emits Error (busy, not logged on) when a request cannot start now.
    bool mayStart(bool needsSession);
    void beginRequest();
    // Reports a failed request's failure and closes the session as onFailure
    // says, or whenever the failure left the session out of step.
    void endRequest(bool ok, OnFailure onFailure);
    // Whether the status line just read begins an answer (+OK or -ERR); a
    // "+ " there is recorded as a protocol failure, `nonsense` and the line.
    bool isAnswer(const pop3::Status& status, QStringView nonsense);
    // As isAnswer, and a -ERR is recorded as refusedCode unless its response
    // code tells more.
    bool isOk(const pop3::Status& status, int refusedCode, QStringView nonsense);

    // The steps of logOn.
    QCoro::Task<bool> doLogOn(PopServerSettings settings);
    // Takes the settings, made whole (host trimmed, time-outs defaulted);
    // nullopt with the failure recorded when they cannot work.
    std::optional<LinkPlan> adoptSettings(PopServerSettings settings);
    // Connects, reads the greeting and the capabilities.
    QCoro::Task<bool> connectAndGreet(LinkPlan plan);
    // STLS when the server offers it, then the capabilities again; fails
    // before sending anything more when the account requires STLS and the
    // server does not offer it.
    QCoro::Task<bool> secureWithStls(Security security);
    QCoro::Task<bool> readCapabilities();
    QCoro::Task<bool> authenticate(QByteArray then);
    // SASL XOAUTH2 with m_settings.accessToken.
    QCoro::Task<bool> authenticateXOAuth2();
    // Records a -ERR at the end of an XOAUTH2 exchange as `code` with `words`
    // and the server's own; a response code that says more wins.
    void failSignIn(const pop3::Status& status, int code, const QString& words);
    // statSent: STAT went along with the last login command.
    QCoro::Task<bool> readStat(bool statSent);
    QCoro::Task<bool> doRetrieve(int first, int last, int lines);
    QCoro::Task<bool> readSizes(pop3::Pop3Pipeline& pipeline);
    QCoro::Task<bool> readSize(pop3::Pop3Pipeline& pipeline, int n);
    QCoro::Task<bool> readMessage(int n, std::optional<qint64> listed);
    // Reads past the answers to the requests in flight from the from-th on.
    QCoro::Task<bool> skipAnswers(const pop3::Pop3Pipeline& pipeline, size_t from);
    qint64 messageStreamLimit(std::optional<qint64> listed) const;
    // Ends the session at once.
    void close(const QString& why = {});
    // Emits Error with the failure the request left behind.
    void reportFailure();

    pop3::Pop3Connection m_link;
    PopServerSettings m_settings;
    pop3::Capabilities m_caps;
    QByteArray m_apopTimestamp;
    QString m_authMechanism;
    bool m_loggedOn = false;
    bool m_busy = false;
    bool m_stopRequested = false;
    bool m_pipeliningAllowed = true;
    int m_count = 0;
    qint64 m_mailboxSize = 0;
};

} // namespace orvella
