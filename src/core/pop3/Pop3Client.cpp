#include "core/pop3/Pop3Client.h"

#include "core/net/CertificateTrust.h"
#include "core/net/ServerText.h"
#include "core/pop3/Pop3HeaderUnfolder.h"
#include "core/pop3/Pop3SocketTransport.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <limits>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

using LineKind = pop3::Pop3Connection::LineKind;

bool hasLineBreakOrNul(const QString& s)
{
    return s.contains(u'\r') || s.contains(u'\n') || s.contains(QChar(u'\0'));
}

bool hasControlCharacter(const QString& s)
{
    return std::any_of(s.cbegin(), s.cend(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}

// A host on this machine: what goes to it never crosses a network.
bool isLoopbackHost(QString host)
{
    if (host.startsWith(u'[') && host.endsWith(u']')) host = host.mid(1, host.size() - 2);
    if (host.compare(u"localhost", Qt::CaseInsensitive) == 0 ||
        host.compare(u"localhost.", Qt::CaseInsensitive) == 0)
        return true;
    QHostAddress address;
    return address.setAddress(host) && address.isLoopback();
}

// A field of the server's XOAUTH2 challenge, fit to be shown: short, and
// nothing but the characters a status code or a scope URL is made of.
QString challengeField(const QJsonObject& json, QLatin1StringView name)
{
    const QString value = json.value(name).toVariant().toString().left(100);
    QString shown;
    for (QChar c : value) {
        if (c.isLetterOrNumber() || QStringView(u" .:/-_~").contains(c)) shown.append(c);
    }
    return shown.trimmed();
}

} // namespace

Pop3Client::Pop3Client(std::unique_ptr<IPop3Transport> transport, QObject* parent)
    : QObject(parent), m_link(transport ? std::move(transport) : std::make_unique<Pop3SocketTransport>())
{
    m_link.setMaxStreamBytes(DefaultMaxStreamBytes);
}

Pop3Client::~Pop3Client() = default;

bool Pop3Client::isEncrypted() const
{
    return m_link.isEncrypted();
}

void Pop3Client::setMaxStreamBytes(qint64 bytes)
{
    m_link.setMaxStreamBytes(bytes);
}

void Pop3Client::close(const QString& why)
{
    m_loggedOn = false;
    m_link.close(why);
}

void Pop3Client::reportFailure()
{
    const pop3::Pop3Connection::Failure f = m_link.takeFailure();
    if (f.code != ErrorNone)
        Q_EMIT Error(f.code, f.description);
    else
        Q_EMIT Error(ErrorProtocol, u"The request failed"_s);
}

QString Pop3Client::formatFingerprint(const QByteArray& sha256)
{
    return net::formatFingerprint(sha256);
}

QByteArray Pop3Client::normalizeFingerprint(const QString& fingerprint)
{
    return net::normalizeFingerprint(fingerprint);
}

// --- Requests ---------------------------------------------------------------

bool Pop3Client::mayStart(bool needsSession)
{
    if (m_busy) {
        Q_EMIT Error(ErrorBusy, u"Another request to the server is still running"_s);
        return false;
    }
    if (needsSession && !m_loggedOn) {
        Q_EMIT Error(ErrorNotLoggedOn, u"Not logged on to the mail server"_s);
        return false;
    }
    return true;
}

void Pop3Client::beginRequest()
{
    m_busy = true;
    // A failure left from before is no part of this request.
    m_link.takeFailure();
}

void Pop3Client::endRequest(bool ok, OnFailure onFailure)
{
    m_busy = false;
    if (ok) return;
    if (onFailure == OnFailure::Close || m_link.mustClose()) close();
    reportFailure();
}

bool Pop3Client::isAnswer(const pop3::Status& status, QStringView nonsense)
{
    if (status.kind != pop3::Status::Continue) return true;
    m_link.protocolFailure(nonsense.toString(), "+ " + status.text);
    return false;
}

bool Pop3Client::isOk(const pop3::Status& status, int refusedCode, QStringView nonsense)
{
    if (!isAnswer(status, nonsense)) return false;
    if (status.kind == pop3::Status::Ok) return true;
    m_link.failFromServer(status, refusedCode);
    return false;
}

// --- Log on -----------------------------------------------------------------

QCoro::Task<bool> Pop3Client::logOn(PopServerSettings settings)
{
    if (!mayStart(false)) co_return false;
    beginRequest();
    const bool ok = co_await doLogOn(std::move(settings));
    // A log-on that failed half way leaves nothing worth keeping.
    endRequest(ok, OnFailure::Close);
    co_return ok;
}

QCoro::Task<bool> Pop3Client::doLogOn(PopServerSettings settings)
{
    // A new session: whatever ran before is dropped without a word.
    close();
    m_link.clearRejectedCertificate();
    m_caps = {};
    m_apopTimestamp.clear();
    m_authMechanism.clear();
    m_count = 0;
    m_mailboxSize = 0;

    const std::optional<LinkPlan> plan = adoptSettings(std::move(settings));
    if (!plan) co_return false;
    if (!co_await connectAndGreet(*plan)) co_return false;
    if (!plan->implicitTls && plan->security != Security::None && !co_await secureWithStls(plan->security))
        co_return false;

    if (!m_settings.accessToken.isEmpty() && !m_link.isEncrypted() && !isLoopbackHost(m_settings.host)) {
        // A bearer token on the wire in clear opens the mailbox to whoever
        // reads it, as a password would.
        m_link.fail(ErrorTlsUnavailable, u"The server offers no encryption (STLS), and the account's access "
                                         u"token is never sent unencrypted; nothing was sent"_s);
        m_link.send("QUIT");
        m_link.closeGracefully();
        co_return false;
    }

    // With pipelining, STAT goes with the last login command: one round trip
    // less. Should the login fail, the session is closed unread. Not with
    // XOAUTH2: its refusal asks for one more client line, and STAT would be
    // taken for it.
    const QByteArray statAlong =
        m_pipeliningAllowed && m_caps.has("PIPELINING") && m_settings.accessToken.isEmpty() ? "STAT\r\n" : "";
    if (!co_await authenticate(statAlong)) co_return false;
    co_return co_await readStat(!statAlong.isEmpty());
}

std::optional<Pop3Client::LinkPlan> Pop3Client::adoptSettings(PopServerSettings settings)
{
    m_settings = std::move(settings);
    m_settings.host = m_settings.host.trimmed();
    if (m_settings.connectTimeoutMs <= 0) m_settings.connectTimeoutMs = PopServerSettings().connectTimeoutMs;
    if (m_settings.responseTimeoutMs <= 0)
        m_settings.responseTimeoutMs = PopServerSettings().responseTimeoutMs;
    m_link.setResponseTimeout(m_settings.responseTimeoutMs);

    LinkPlan plan;
    const QString securityName = m_settings.security.trimmed().toLower();
    if (securityName.isEmpty() || securityName == u"auto")
        plan.security = Security::Auto;
    else if (securityName == u"tls")
        plan.security = Security::Tls;
    else if (securityName == u"starttls")
        plan.security = Security::StartTls;
    else if (securityName == u"none")
        plan.security = Security::None;
    else {
        m_link.fail(ErrorBadSettings,
                    u"Unknown connection security \"%1\" (use Auto, TLS, STARTTLS or None)"_s.arg(
                        m_settings.security));
        return std::nullopt;
    }
    if (m_settings.host.isEmpty()) {
        m_link.fail(ErrorBadSettings, u"No incoming mail server is set for this account"_s);
        return std::nullopt;
    }
    if (m_settings.port < 1 || m_settings.port > 65535) {
        m_link.fail(ErrorBadSettings,
                    u"The port %1 is not a port number (1 to 65535)"_s.arg(m_settings.port));
        return std::nullopt;
    }
    if (!m_settings.trustedCertificate.trimmed().isEmpty()) {
        plan.trusted = normalizeFingerprint(m_settings.trustedCertificate);
        if (plan.trusted.isEmpty()) {
            m_link.fail(ErrorBadSettings, u"The trusted certificate \"%1\" is not a SHA-256 fingerprint "
                                          u"(64 hexadecimal digits)"_s.arg(m_settings.trustedCertificate));
            return std::nullopt;
        }
    }
    // A line break would end the command early and start another one of the
    // user's (or an attacker's) making.
    if (hasLineBreakOrNul(m_settings.user) || hasLineBreakOrNul(m_settings.password)) {
        m_link.fail(ErrorBadSettings, u"The account name or password contains a line break"_s);
        return std::nullopt;
    }
    plan.implicitTls =
        plan.security == Security::Tls || (plan.security == Security::Auto && m_settings.port == 995);
    m_settings.accessToken = m_settings.accessToken.trimmed();
    if (!m_settings.accessToken.isEmpty()) {
        // \x01 separates the fields of the XOAUTH2 response.
        if (hasControlCharacter(m_settings.accessToken) || m_settings.accessToken.contains(u' ')) {
            m_link.fail(ErrorBadSettings, u"The access token contains blanks or control characters, which "
                                          u"no access token has; sign in again"_s);
            return std::nullopt;
        }
        if (hasControlCharacter(m_settings.user)) {
            m_link.fail(ErrorBadSettings, u"The account name contains a control character"_s);
            return std::nullopt;
        }
        if (plan.security == Security::None && !isLoopbackHost(m_settings.host)) {
            m_link.fail(
                ErrorBadSettings,
                u"The account signs in with an access token, which is never sent unencrypted, but its "
                u"connection security is None; choose TLS, STARTTLS or Auto"_s);
            return std::nullopt;
        }
    }
    return plan;
}

QCoro::Task<bool> Pop3Client::connectAndGreet(LinkPlan plan)
{
    m_link.open(m_settings.host, quint16(m_settings.port), plan.implicitTls, plan.trusted);
    if (!co_await m_link.waitForLink(plan.implicitTls, m_settings.connectTimeoutMs)) co_return false;
    pop3::Status greeting;
    if (!co_await m_link.readStatus(greeting) ||
        !isOk(greeting, ErrorServer, u"The server's greeting is not POP3"))
        co_return false;
    m_apopTimestamp = pop3::apopTimestamp(greeting.text);
    co_return co_await readCapabilities();
}

QCoro::Task<bool> Pop3Client::secureWithStls(Security security)
{
    const bool offered = m_caps.has("STLS");
    if (security == Security::StartTls && !offered) {
        m_link.fail(ErrorTlsUnavailable, u"The server does not offer STARTTLS (STLS), which this account "
                                         u"requires; nothing was sent"_s);
        m_link.send("QUIT");
        m_link.closeGracefully();
        co_return false;
    }
    if (!offered) co_return true;
    m_link.send("STLS");
    pop3::Status status;
    if (!co_await m_link.readStatus(status)) co_return false;
    if (status.kind != pop3::Status::Ok) {
        m_link.failFromServer(status, ErrorTls);
        co_return false;
    }
    // Bytes after "+OK" and before the handshake were not sent by the
    // server but injected by someone in between, to be read later as
    // if they had come through TLS.
    if (m_link.hasUnreadData()) {
        m_link.fail(ErrorProtocol, u"The server sent data before the secure connection was set up"_s);
        co_return false;
    }
    m_link.startTls();
    if (!co_await m_link.waitForLink(true, m_link.responseTimeout())) co_return false;
    // The capabilities seen before TLS may have been forged (RFC 2595 4).
    m_caps = {};
    co_return co_await readCapabilities();
}

QCoro::Task<bool> Pop3Client::readStat(bool statSent)
{
    if (!statSent) m_link.send("STAT");
    pop3::Status status;
    if (!co_await m_link.readStatus(status)) co_return false;
    if (status.kind != pop3::Status::Ok) {
        m_link.failFromServer(status, ErrorServer);
        co_return false;
    }
    const auto stat = pop3::parseStat(status.text);
    if (!stat) {
        m_link.protocolFailure(u"The server's message count makes no sense"_s, status.text);
        co_return false;
    }
    m_count = stat->count;
    m_mailboxSize = stat->size;
    m_loggedOn = true;
    co_return true;
}

QCoro::Task<bool> Pop3Client::readCapabilities()
{
    m_link.send("CAPA");
    pop3::Status status;
    if (!co_await m_link.readStatus(status)) co_return false;
    if (status.kind == pop3::Status::Err) {
        // An RFC 1939 server without CAPA: no STLS, no SASL, no pipelining.
        m_caps = {};
        co_return true;
    }
    if (status.kind != pop3::Status::Ok) {
        m_link.protocolFailure(u"The server's answer to CAPA is not POP3"_s, status.text);
        co_return false;
    }
    QList<QByteArray> lines;
    if (!co_await m_link.readDataLines(lines, 200)) co_return false;
    m_caps = pop3::Capabilities::parse(lines);
    co_return true;
}

QCoro::Task<bool> Pop3Client::authenticate(QByteArray then)
{
    if (!m_settings.accessToken.isEmpty()) co_return co_await authenticateXOAuth2();
    // The last command of the login carries `then` along.
    auto sendLast = [this, &then](const QByteArray& command) { m_link.write(command + "\r\n" + then); };
    const QByteArray user = m_settings.user.toUtf8();
    const QByteArray password = m_settings.password.toUtf8();
    const bool saslPlain = m_caps.saslMechanisms().contains("PLAIN");
    enum { Plain, UserPass, Apop } mechanism;
    if (m_link.isEncrypted())
        mechanism = saslPlain ? Plain : UserPass;
    else
        mechanism = !m_apopTimestamp.isEmpty() ? Apop : saslPlain ? Plain : UserPass;

    pop3::Status status;
    switch (mechanism) {
    case Plain: {
        m_authMechanism = u"PLAIN"_s;
        const QByteArray message = QByteArray(1, '\0') + user + '\0' + password;
        const QByteArray response = message.toBase64();
        // RFC 5034 4: the initial response goes with the command only while
        // the command stays within 255 octets; otherwise after the "+ ".
        if (response.size() + 13 <= 255) {
            sendLast("AUTH PLAIN " + response);
            if (!co_await m_link.readStatus(status)) co_return false;
        } else {
            m_link.send("AUTH PLAIN");
            if (!co_await m_link.readStatus(status)) co_return false;
            if (status.kind == pop3::Status::Continue) {
                sendLast(response);
                if (!co_await m_link.readStatus(status)) co_return false;
            }
        }
        if (status.kind == pop3::Status::Continue) {
            // The server wants more than PLAIN has to give: cancel the exchange.
            m_link.send("*");
            if (!co_await m_link.readStatus(status)) co_return false;
            if (status.kind != pop3::Status::Err) {
                m_link.protocolFailure(u"The server's answer to the login makes no sense"_s, status.text);
                co_return false;
            }
        }
        break;
    }
    case Apop: {
        m_authMechanism = u"APOP"_s;
        const QByteArray digest =
            QCryptographicHash::hash(QByteArray(m_apopTimestamp + password), QCryptographicHash::Md5).toHex();
        sendLast("APOP " + user + ' ' + digest);
        if (!co_await m_link.readStatus(status)) co_return false;
        break;
    }
    case UserPass:
        m_authMechanism = u"USER"_s;
        m_link.send("USER " + user);
        if (!co_await m_link.readStatus(status)) co_return false;
        if (status.kind == pop3::Status::Ok) {
            sendLast("PASS " + password);
            if (!co_await m_link.readStatus(status)) co_return false;
        }
        break;
    }
    if (status.kind == pop3::Status::Err) {
        m_link.failFromServer(status, ErrorAuthentication);
        co_return false;
    }
    if (status.kind != pop3::Status::Ok) {
        m_link.protocolFailure(u"The server's answer to the login makes no sense"_s, status.text);
        co_return false;
    }
    co_return true;
}

// --- XOAUTH2 ------------------------------------------------------------------

QCoro::Task<bool> Pop3Client::authenticateXOAuth2()
{
    m_authMechanism = u"XOAUTH2"_s;
    // "user=" user ^A "auth=Bearer " token ^A ^A
    const QByteArray message = "user=" + m_settings.user.toUtf8() + '\x01' + "auth=Bearer " +
                               m_settings.accessToken.toUtf8() + '\x01' + '\x01';
    const QByteArray response = message.toBase64();
    m_link.setSecrets({m_settings.accessToken, QString::fromLatin1(response)});

    pop3::Status status;
    bool responseSent = false;
    // RFC 5034 4: the initial response goes with the command only while the
    // command stays within 255 octets, CR LF included. Real tokens (1-2 KB)
    // never fit.
    const bool withCommand = qsizetype(sizeof "AUTH XOAUTH2 ") - 1 + response.size() + 2 <= 255;
    if (withCommand) {
        m_link.send("AUTH XOAUTH2 " + response);
        responseSent = true;
        if (!co_await m_link.readStatus(status)) co_return false;
    } else {
        m_link.send("AUTH XOAUTH2");
        if (!co_await m_link.readStatus(status)) co_return false;
        if (status.kind == pop3::Status::Continue) {
            m_link.send(response);
            responseSent = true;
            if (!co_await m_link.readStatus(status)) co_return false;
        }
    }
    if (status.kind == pop3::Status::Ok) co_return true;

    const QString notOffered = u"The server does not offer OAuth2 sign-in (XOAUTH2), so the account cannot "
                               u"sign in with its access token."_s;
    if (status.kind == pop3::Status::Err) {
        // A -ERR before the token was sent, or to a mechanism the server does
        // not list, says it does not know XOAUTH2; one after the server took
        // the token (its "+ ", or its list) refuses the token.
        const bool tokenSeen = responseSent && (!withCommand || m_caps.saslMechanisms().contains("XOAUTH2"));
        if (tokenSeen)
            failSignIn(
                status, ErrorTokenRefused,
                u"The server did not accept the sign-in: the access token has expired or was revoked."_s);
        else
            failSignIn(status, ErrorAuthentication, notOffered);
        co_return false;
    }

    // "+ " and the reason as base64 JSON, e.g. {"status":"401",
    // "schemes":"bearer","scope":"https://mail.google.com/"}: the client
    // ends the exchange with an empty response and the server with -ERR.
    QString reason;
    const auto decoded = QByteArray::fromBase64Encoding(status.text, QByteArray::AbortOnBase64DecodingErrors);
    const QJsonObject json = decoded ? QJsonDocument::fromJson(*decoded).object() : QJsonObject();
    const QString httpStatus = challengeField(json, "status"_L1);
    const QString scope = challengeField(json, "scope"_L1);
    if (!httpStatus.isEmpty() && !scope.isEmpty())
        reason = u" (status %1, scope %2)"_s.arg(httpStatus, scope);
    else if (!httpStatus.isEmpty())
        reason = u" (status %1)"_s.arg(httpStatus);
    m_link.send("");
    if (!co_await m_link.readStatus(status)) co_return false;
    if (status.kind == pop3::Status::Continue) {
        // Still not done: cancel the exchange (RFC 5034 4).
        m_link.send("*");
        if (!co_await m_link.readStatus(status)) co_return false;
    }
    if (status.kind != pop3::Status::Err) {
        m_link.protocolFailure(u"The server's answer to the sign-in makes no sense"_s, status.text);
        co_return false;
    }
    const bool expired = httpStatus.isEmpty() || httpStatus == u"401";
    failSignIn(status, ErrorTokenRefused,
               u"The server did not accept the sign-in%1: the access token %2."_s.arg(
                   reason, expired ? u"has expired or was revoked"_s : u"was refused"_s));
    co_return false;
}

void Pop3Client::failSignIn(const pop3::Status& status, int code, const QString& words)
{
    if (status.code == "IN-USE" || status.code == "SYS/TEMP" || status.code == "LOGIN-DELAY") {
        m_link.failFromServer(status, code);
        return;
    }
    const QString said = net::serverText(status.text).trimmed();
    m_link.fail(code, said.isEmpty() ? words : words + u" The server said: "_s + said);
}

// --- Requests in a session --------------------------------------------------

QCoro::Task<std::optional<qint64>> Pop3Client::messageSize(int n)
{
    if (!mayStart(true)) co_return std::nullopt;
    if (n < 1 || n > m_count) {
        Q_EMIT Error(ErrorBadRequest,
                     u"There is no message %1 on the server (it holds %2)"_s.arg(n).arg(m_count));
        co_return std::nullopt;
    }
    beginRequest();
    std::optional<qint64> size;
    m_link.send("LIST " + QByteArray::number(n));
    pop3::Status status;
    if (co_await m_link.readStatus(status)) {
        if (status.kind == pop3::Status::Ok) {
            const auto listing = pop3::parseListing(status.text);
            if (listing && listing->number == n)
                size = listing->size;
            else
                m_link.protocolFailure(u"The server's answer to LIST makes no sense"_s, status.text);
        } else if (status.kind == pop3::Status::Err) {
            m_link.failFromServer(status, ErrorServer);
        } else {
            m_link.protocolFailure(u"The server's answer to LIST makes no sense"_s, status.text);
        }
    }
    endRequest(size.has_value(), OnFailure::CloseWhenOutOfStep);
    co_return size;
}

QCoro::Task<bool> Pop3Client::retrieve(int first, int last, int lines)
{
    if (!mayStart(true)) co_return false;
    if (first > last) co_return true;
    if (first < 1 || last > m_count) {
        Q_EMIT Error(ErrorBadRequest,
                     u"There are no messages %1 to %2 on the server (it holds %3)"_s.arg(first).arg(last).arg(
                         m_count));
        co_return false;
    }
    if (lines < 0) {
        Q_EMIT Error(ErrorBadRequest, u"The number of lines to read (%1) is negative"_s.arg(lines));
        co_return false;
    }
    beginRequest();
    m_stopRequested = false;
    const bool ok = co_await doRetrieve(first, last, lines);
    const bool stopped = std::exchange(m_stopRequested, false);
    endRequest(ok, OnFailure::CloseWhenOutOfStep);
    co_return ok && !stopped;
}

QCoro::Task<bool> Pop3Client::doRetrieve(int first, int last, int lines)
{
    pop3::Pop3Pipeline pipeline(first, last, lines, m_count, m_pipeliningAllowed && m_caps.has("PIPELINING"));
    while (!pipeline.done()) {
        // Requests go out as answers come in: the server always has work
        // queued, and neither side waits for the other with a full buffer.
        const QByteArray batch = pipeline.takeBatch();
        if (!batch.isEmpty()) m_link.write(batch);
        const pop3::Pop3Pipeline::Request request = pipeline.front();
        bool ok = false;
        switch (request.kind) {
        case pop3::Pop3Pipeline::Request::ListAll:
            ok = co_await readSizes(pipeline);
            break;
        case pop3::Pop3Pipeline::Request::ListOne:
            ok = co_await readSize(pipeline, request.n);
            break;
        case pop3::Pop3Pipeline::Request::Message:
            ok = co_await readMessage(request.n, pipeline.size(request.n));
            break;
        }
        if (!ok) {
            // The answers to the requests already sent are still coming;
            // read past them so the session can go on (QUIT at least).
            if (!m_link.mustClose()) co_await skipAnswers(pipeline, 1);
            co_return false;
        }
        pipeline.answered(m_link.answerBytes());
        if (m_stopRequested) co_return co_await skipAnswers(pipeline, 0);
    }
    co_return true;
}

qint64 Pop3Client::messageStreamLimit(std::optional<qint64> listed) const
{
    // A message is never longer than the server says (give or take a server
    // that counts loosely); one far longer is a stream without end. Without
    // its own size, the size of the whole mailbox still bounds it.
    const qint64 most = m_link.maxStreamBytes();
    const qint64 size = listed ? *listed : m_mailboxSize;
    const qint64 slack = std::max<qint64>(m_settings.maxMessageBytes, 0);
    if (size > (most - slack) / 2) return most;
    return std::min(most, 2 * size + slack);
}

QCoro::Task<bool> Pop3Client::readSizes(pop3::Pop3Pipeline& pipeline)
{
    pop3::Status status;
    if (!co_await m_link.readStatus(status) ||
        !isAnswer(status, u"The server's answer to LIST makes no sense"))
        co_return false;
    // Without sizes the retrieval still works, with looser limits.
    if (status.kind == pop3::Status::Err) co_return true;
    pop3::Line line;
    for (qint64 count = 0;; ++count) {
        if (const auto taken = m_link.takeBufferedLine(line, LineKind::Status)) {
            if (!*taken) co_return false;
        } else if (!co_await m_link.nextLine(line, LineKind::Status)) {
            co_return false;
        }
        if (pop3::unstuff(line.text) == pop3::DataLine::End) co_return true;
        if (count > m_count) {
            m_link.protocolFailure(u"The server's answer to LIST does not end"_s, line.text);
            co_return false;
        }
        if (const auto listing = pop3::parseListing(line.text))
            pipeline.setSize(listing->number, listing->size);
    }
}

QCoro::Task<bool> Pop3Client::readSize(pop3::Pop3Pipeline& pipeline, int n)
{
    pop3::Status status;
    if (!co_await m_link.readStatus(status) ||
        !isAnswer(status, u"The server's answer to LIST makes no sense"))
        co_return false;
    if (status.kind == pop3::Status::Err) co_return true;
    const auto listing = pop3::parseListing(status.text);
    if (listing && listing->number == n) pipeline.setSize(n, listing->size);
    co_return true;
}

QCoro::Task<bool> Pop3Client::readMessage(int n, std::optional<qint64> listed)
{
    pop3::Status status;
    if (!co_await m_link.readStatus(status) ||
        !isOk(status, ErrorServer, u"The server's answer to a retrieval makes no sense"))
        co_return false;
    m_link.beginMessageAnswer(n, listed, messageStreamLimit(listed));
    Q_EMIT messageStarted(n);

    const qint64 limit = m_settings.maxMessageBytes;
    pop3::Pop3HeaderUnfolder header;
    auto emitField = [this, &header] {
        if (auto f = header.takeField())
            Q_EMIT Header(QString::fromLatin1(f->name), QString::fromLatin1(f->value));
    };
    bool inHeader = true;
    bool overLimit = false;
    qint64 bytes = 0;
    pop3::Line line;
    for (;;) {
        const auto kind = inHeader ? LineKind::Header : LineKind::Body;
        // Most lines are already buffered: take them without a coroutine frame.
        if (const auto taken = m_link.takeBufferedLine(line, kind)) {
            if (!*taken) co_return false;
        } else if (!co_await m_link.nextLine(line, kind)) {
            co_return false;
        }
        const qsizetype stuffed = line.text.size();
        if (pop3::unstuff(line.text) == pop3::DataLine::End) break;
        bytes += line.length - (stuffed - line.text.size()) + 2;
        if (overLimit) continue;
        if (bytes > limit) {
            // Cut here: the rest is read and dropped, the message ends normally.
            overLimit = true;
            continue;
        }
        if (inHeader) {
            if (line.text.isEmpty()) {
                header.finish();
                emitField();
                inHeader = false;
                continue;
            }
            const auto result = header.add(line.text);
            emitField();
            if (result == pop3::Pop3HeaderUnfolder::Result::Pending) continue;
            // Not a header line: the header ended without its empty line and
            // this line is the first of the body (what a MIME parser makes of it too).
            inHeader = false;
        }
        Q_EMIT Transfer(bytes, QString::fromLatin1(line.text));
    }
    if (inHeader) {
        header.finish();
        emitField();
    }
    Q_EMIT EndTransfer();
    co_return true;
}

QCoro::Task<bool> Pop3Client::skipAnswers(const pop3::Pop3Pipeline& pipeline, size_t from)
{
    const std::deque<pop3::Pop3Pipeline::Request>& rest = pipeline.inFlight();
    for (size_t i = from; i < rest.size(); ++i) {
        const pop3::Pop3Pipeline::Request& request = rest[i];
        pop3::Status status;
        if (!co_await m_link.readStatus(status) ||
            !isAnswer(status, u"The server's answer to a retrieval makes no sense"))
            co_return false;
        if (status.kind != pop3::Status::Ok) continue;
        switch (request.kind) {
        case pop3::Pop3Pipeline::Request::ListOne:
            break;
        case pop3::Pop3Pipeline::Request::ListAll:
            if (!co_await m_link.skipDataLines(LineKind::Status, qint64(m_count) + 1)) co_return false;
            break;
        case pop3::Pop3Pipeline::Request::Message:
            m_link.beginMessageAnswer(request.n, pipeline.size(request.n),
                                      messageStreamLimit(pipeline.size(request.n)));
            if (!co_await m_link.skipDataLines(LineKind::Body, std::numeric_limits<qint64>::max()))
                co_return false;
            break;
        }
    }
    co_return true;
}

// --- Log off ----------------------------------------------------------------

QCoro::Task<void> Pop3Client::logOff()
{
    if (m_busy) {
        // Cut the running request short; it fails with a lost connection.
        close(u"The connection was closed while a request was running"_s);
        co_return;
    }
    if (!m_link.isOpen()) co_return;
    beginRequest();
    bool refused = false;
    if (!m_link.isBroken()) {
        // QUIT needs no patience: the mail is already here.
        m_link.setResponseTimeout(std::min(m_settings.responseTimeoutMs, 10000));
        m_link.send("QUIT");
        pop3::Status status;
        if (co_await m_link.readStatus(status) && status.kind == pop3::Status::Err) {
            m_link.failFromServer(status, ErrorServer);
            refused = true;
        }
        m_link.setResponseTimeout(m_settings.responseTimeoutMs);
    }
    m_loggedOn = false;
    m_link.closeGracefully();
    m_busy = false;
    if (refused)
        reportFailure();
    else
        m_link.takeFailure();
}

} // namespace orvella
