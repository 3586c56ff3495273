#include "core/imap/ImapClient.h"

#include "core/net/CertificateTrust.h"
#include "core/net/MailSocketTransport.h"
#include "core/net/ServerText.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace orvella::imap {

namespace {

using Read = ImapConnection::Read;

bool hasLineBreakOrNul(const QString& s)
{
    return s.contains(u'\r') || s.contains(u'\n') || s.contains(QChar(u'\0'));
}

// A string argument as a quoted string; nullopt when only a literal can carry it.
std::optional<QByteArray> quoted(const QByteArray& s)
{
    QByteArray q = "\"";
    for (char c : s) {
        if (uchar(c) >= 0x80 || uchar(c) < 0x20 || c == 0x7F) return std::nullopt;
        if (c == '"' || c == '\\') q.append('\\');
        q.append(c);
    }
    return q + '"';
}

// "4392:4395,4401" into its numbers; nullopt when it is no sequence set or
// would make more than `most` numbers.
std::optional<QList<quint32>> expandSet(const QByteArray& set, qint64 most)
{
    QList<quint32> out;
    for (const QByteArray& part : set.split(',')) {
        const qsizetype colon = part.indexOf(':');
        bool ok1 = false, ok2 = false;
        const quint32 a = (colon < 0 ? part : part.left(colon)).toUInt(&ok1);
        const quint32 b = colon < 0 ? a : part.mid(colon + 1).toUInt(&ok2);
        if (!ok1 || (colon >= 0 && !ok2)) return std::nullopt;
        const quint32 lo = std::min(a, b), hi = std::max(a, b);
        if (qint64(hi) - lo + 1 + out.size() > most) return std::nullopt;
        for (quint64 u = lo; u <= hi; ++u)
            out.append(quint32(u));
    }
    return out;
}

} // namespace

ImapClient::ImapClient(std::unique_ptr<IMailTransport> transport, QObject* parent)
    : QObject(parent), m_link(transport ? std::move(transport) : std::make_unique<MailSocketTransport>())
{
    m_link.setStreamLimit(DefaultMaxStreamBytes);
}

ImapClient::~ImapClient() = default;

void ImapClient::setCapabilities(QList<QByteArray> caps)
{
    m_caps = std::move(caps);
    ++m_capsSetCount;
}

bool ImapClient::hasCapability(QByteArrayView name) const
{
    for (const QByteArray& c : m_caps)
        if (c.size() == name.size() && qstrnicmp(c.constData(), c.size(), name.data(), name.size()) == 0)
            return true;
    return false;
}

QByteArray ImapClient::encodeMailboxName(const QString& name)
{
    QByteArray out;
    QString run; // characters waiting for their base64 run
    auto flush = [&] {
        if (run.isEmpty()) return;
        QByteArray utf16;
        for (QChar c : run) {
            utf16.append(char(c.unicode() >> 8));
            utf16.append(char(c.unicode() & 0xFF));
        }
        QByteArray b = utf16.toBase64(QByteArray::OmitTrailingEquals);
        b.replace('/', ',');
        out += '&' + b + '-';
        run.clear();
    };
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u <= 0x7E) {
            flush();
            out += u == u'&' ? QByteArray("&-") : QByteArray(1, char(u));
        } else {
            run.append(c);
        }
    }
    flush();
    return out;
}

// --- Requests ---------------------------------------------------------------

QByteArray ImapClient::nextTag()
{
    return "A" + QByteArray::number(++m_tag);
}

bool ImapClient::mayStart(bool needsSession)
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

void ImapClient::beginRequest()
{
    m_busy = true;
    m_link.takeFailure();
}

void ImapClient::endRequest(bool ok, OnFailure onFailure)
{
    m_busy = false;
    if (ok) return;
    if (onFailure == OnFailure::Close || m_link.mustClose()) close();
    reportFailure();
}

void ImapClient::close(const QString& why)
{
    m_loggedOn = false;
    m_examined = false;
    m_link.close(why);
}

void ImapClient::reportFailure()
{
    const ImapConnection::Failure f = m_link.takeFailure();
    if (f.code != ErrorNone)
        Q_EMIT Error(f.code, f.description);
    else
        Q_EMIT Error(ErrorProtocol, u"The request failed"_s);
}

bool ImapClient::isOk(const ImapResponse& done, int refusedCode)
{
    if (done.status == ImapResponse::Ok) return true;
    m_link.failFromServer(done, refusedCode);
    return false;
}

bool ImapClient::handleUntagged(const ImapResponse& r, bool byeExpected)
{
    if (r.status == ImapResponse::Bye) {
        if (byeExpected) return true;
        const QString text = net::serverText(r.text);
        m_link.fail(ErrorConnectionLost, text.isEmpty() ? u"The server ended the session"_s
                                                        : u"The server ended the session: %1"_s.arg(text));
        return false;
    }
    if (r.status != ImapResponse::NoStatus) {
        if (r.code == "CAPABILITY") setCapabilities(r.capabilities());
        return true;
    }
    if (r.name == "CAPABILITY") {
        setCapabilities(r.capabilities());
    } else if (r.name == "EXISTS" && r.number && m_examined) {
        const quint32 exists = quint32(std::min<quint64>(*r.number, 0xFFFFFFFFu));
        const bool grew = exists > m_mailbox.exists;
        m_mailbox.exists = exists;
        if (grew) Q_EMIT newMail(exists);
    } else if (r.name == "EXPUNGE" && r.number && m_examined) {
        if (m_mailbox.exists > 0) --m_mailbox.exists;
        Q_EMIT messageExpunged(quint32(std::min<quint64>(*r.number, 0xFFFFFFFFu)));
    }
    return true;
}

QCoro::Task<bool> ImapClient::awaitTagged(QByteArray tag, ImapResponse& done, Untagged each, bool byeExpected)
{
    for (;;) {
        ImapResponse r;
        const Read read = co_await m_link.next(r);
        if (read != Read::Response) co_return false;
        if (r.kind == ImapResponse::Tagged) {
            if (r.tag != tag) {
                m_link.protocolFailure(u"The server answered a command that was not sent"_s,
                                       r.tag + ' ' + r.text);
                co_return false;
            }
            if (r.code == "CAPABILITY") setCapabilities(r.capabilities());
            done = std::move(r);
            co_return true;
        }
        if (r.kind == ImapResponse::Continuation) {
            m_link.protocolFailure(u"The server asked for more of a command that was complete"_s,
                                   "+ " + r.text);
            co_return false;
        }
        if (each && each(r)) continue;
        if (!handleUntagged(r, byeExpected)) co_return false;
    }
}

// --- Log on -----------------------------------------------------------------

QCoro::Task<bool> ImapClient::logOn(ImapServerSettings settings)
{
    if (!mayStart(false)) co_return false;
    beginRequest();
    const bool ok = co_await doLogOn(std::move(settings));
    endRequest(ok, OnFailure::Close);
    co_return ok;
}

std::optional<ImapClient::LinkPlan> ImapClient::adoptSettings(ImapServerSettings settings)
{
    m_settings = std::move(settings);
    m_settings.host = m_settings.host.trimmed();
    if (m_settings.connectTimeoutMs <= 0) m_settings.connectTimeoutMs = ImapServerSettings().connectTimeoutMs;
    if (m_settings.responseTimeoutMs <= 0)
        m_settings.responseTimeoutMs = ImapServerSettings().responseTimeoutMs;
    m_link.setResponseTimeout(m_settings.responseTimeoutMs);
    m_link.setKeepLimit(std::max<qint64>(m_settings.maxMessageBytes, 0));

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
        plan.trusted = net::normalizeFingerprint(m_settings.trustedCertificate);
        if (plan.trusted.isEmpty()) {
            m_link.fail(ErrorBadSettings, u"The trusted certificate \"%1\" is not a SHA-256 fingerprint "
                                          u"(64 hexadecimal digits)"_s.arg(m_settings.trustedCertificate));
            return std::nullopt;
        }
    }
    // A line break would end the command early and start one of someone else's making.
    if (hasLineBreakOrNul(m_settings.user) || hasLineBreakOrNul(m_settings.password) ||
        hasLineBreakOrNul(m_settings.accessToken)) {
        m_link.fail(ErrorBadSettings, u"The account name, password or access token contains a line break"_s);
        return std::nullopt;
    }
    plan.implicitTls =
        plan.security == Security::Tls || (plan.security == Security::Auto && m_settings.port == 993);
    return plan;
}

QCoro::Task<bool> ImapClient::doLogOn(ImapServerSettings settings)
{
    close();
    m_link.clearRejectedCertificate();
    m_caps.clear();
    m_authMechanism.clear();
    m_mailbox = {};
    m_tag = 0;

    const std::optional<LinkPlan> plan = adoptSettings(std::move(settings));
    if (!plan) co_return false;
    m_link.open(m_settings.host, quint16(m_settings.port), plan->implicitTls, plan->trusted);
    const bool linked = co_await m_link.waitForLink(plan->implicitTls, m_settings.connectTimeoutMs);
    if (!linked) co_return false;

    ImapResponse greeting;
    const Read read = co_await m_link.next(greeting);
    if (read != Read::Response) co_return false;
    if (greeting.kind != ImapResponse::Untagged ||
        (greeting.status != ImapResponse::Ok && greeting.status != ImapResponse::PreAuth &&
         greeting.status != ImapResponse::Bye)) {
        m_link.protocolFailure(u"The server's greeting is not IMAP"_s,
                               greeting.tag + greeting.name + greeting.text);
        co_return false;
    }
    if (greeting.status == ImapResponse::Bye) {
        m_link.fail(ErrorServerUnavailable,
                    u"The server turned the connection away: %1"_s.arg(net::serverText(greeting.text)));
        co_return false;
    }
    const bool preAuth = greeting.status == ImapResponse::PreAuth;
    if (greeting.code == "CAPABILITY") setCapabilities(greeting.capabilities());
    if (m_caps.isEmpty()) {
        const bool ok = co_await readCapabilities();
        if (!ok) co_return false;
    }
    if (!plan->implicitTls && plan->security != Security::None) {
        const bool secured = co_await startTls(plan->security, preAuth);
        if (!secured) co_return false;
    }
    const int capsBeforeSignIn = m_capsSetCount;
    if (preAuth) {
        m_authMechanism = u"PREAUTH"_s;
    } else {
        const bool signedIn = co_await authenticate();
        if (!signedIn) co_return false;
    }
    // Servers often name IDLE and friends only once signed in: unless the
    // sign-in's answer listed them, they are asked for again.
    if (!preAuth && m_capsSetCount == capsBeforeSignIn) {
        const bool ok = co_await readCapabilities();
        if (!ok) co_return false;
    }
    m_loggedOn = true;
    co_return true;
}

QCoro::Task<bool> ImapClient::readCapabilities()
{
    const QByteArray tag = nextTag();
    m_link.send(tag + " CAPABILITY");
    ImapResponse done;
    const bool answered = co_await awaitTagged(tag, done);
    if (!answered) co_return false;
    co_return isOk(done, ErrorServer);
}

QCoro::Task<bool> ImapClient::startTls(Security security, bool preAuth)
{
    const bool offered = hasCapability("STARTTLS") && !preAuth;
    if (security == Security::StartTls && !offered) {
        m_link.fail(ErrorTlsUnavailable, preAuth
                                             ? u"The server signed the session in before it could be "
                                               u"encrypted (PREAUTH), and this account requires STARTTLS"_s
                                             : u"The server does not offer STARTTLS, which this account "
                                               u"requires; no credentials were sent"_s);
        m_link.send(nextTag() + " LOGOUT");
        m_link.closeGracefully();
        co_return false;
    }
    if (!offered) co_return true;
    const QByteArray tag = nextTag();
    m_link.send(tag + " STARTTLS");
    ImapResponse done;
    const bool answered = co_await awaitTagged(tag, done);
    if (!answered) co_return false;
    if (!isOk(done, ErrorTls)) co_return false;
    // Bytes after the OK and before the handshake were not sent by the server
    // but injected by someone in between, to be read later as if encrypted.
    if (m_link.hasUnreadData()) {
        m_link.fail(ErrorProtocol, u"The server sent data before the secure connection was set up"_s);
        co_return false;
    }
    m_link.startTls();
    const bool encrypted = co_await m_link.waitForLink(true, m_link.responseTimeout());
    if (!encrypted) co_return false;
    // What was offered before TLS may have been forged.
    m_caps.clear();
    co_return co_await readCapabilities();
}

QCoro::Task<bool> ImapClient::authenticate()
{
    const QByteArray user = m_settings.user.toUtf8();
    if (!m_settings.accessToken.isEmpty()) {
        if (!hasCapability("AUTH=XOAUTH2")) {
            m_link.fail(ErrorAuthentication,
                        u"The server does not offer signing in with an access token (XOAUTH2)"_s);
            co_return false;
        }
        m_authMechanism = u"XOAUTH2"_s;
        const QByteArray initial = "user=" + user +
                                   "\x01"
                                   "auth=Bearer " +
                                   m_settings.accessToken.toUtf8() + "\x01\x01";
        co_return co_await authenticateSasl("XOAUTH2", initial, true);
    }
    if (hasCapability("AUTH=PLAIN")) {
        m_authMechanism = u"PLAIN"_s;
        const QByteArray initial = QByteArray(1, '\0') + user + '\0' + m_settings.password.toUtf8();
        co_return co_await authenticateSasl("PLAIN", initial, false);
    }
    if (hasCapability("LOGINDISABLED")) {
        m_link.fail(ErrorAuthentication,
                    u"The server takes no password over this connection (LOGINDISABLED); "
                    u"choose TLS or STARTTLS for this account"_s);
        co_return false;
    }
    m_authMechanism = u"LOGIN"_s;
    co_return co_await login();
}

QCoro::Task<bool> ImapClient::authenticateSasl(QByteArray mechanism, QByteArray initial, bool token)
{
    const QByteArray tag = nextTag();
    const QByteArray response = initial.toBase64();
    const bool inline_ = hasCapability("SASL-IR");
    m_link.send(tag + " AUTHENTICATE " + mechanism + (inline_ ? " " + response : QByteArray()));
    bool responseSent = inline_;
    QString challenge; // the server's reason, from an XOAUTH2 error challenge
    for (;;) {
        ImapResponse r;
        const Read read = co_await m_link.next(r);
        if (read != Read::Response) co_return false;
        if (r.kind == ImapResponse::Untagged) {
            if (!handleUntagged(r, false)) co_return false;
            continue;
        }
        if (r.kind == ImapResponse::Continuation) {
            if (!responseSent) {
                m_link.send(response);
                responseSent = true;
                continue;
            }
            // After the response, a challenge means the sign-in failed: an
            // XOAUTH2 server tells why in base64 JSON and waits for an empty line.
            if (token && challenge.isEmpty()) {
                const QJsonObject why =
                    QJsonDocument::fromJson(QByteArray::fromBase64(r.text.trimmed())).object();
                const QString status = why.value(u"status"_s).toString();
                const QString scope = why.value(u"scope"_s).toString();
                challenge = status.isEmpty() ? u"The server refused the access token"_s
                                             : u"The server refused the access token (status %1)"_s.arg(
                                                   net::serverText(status.toUtf8()));
                if (!scope.isEmpty())
                    challenge += u"; it asks for access to %1"_s.arg(net::serverText(scope.toUtf8()));
                m_link.send({});
                continue;
            }
            // Nothing more to give: cancel the exchange.
            m_link.send("*");
            continue;
        }
        if (r.tag != tag) {
            m_link.protocolFailure(u"The server answered a command that was not sent"_s,
                                   r.tag + ' ' + r.text);
            co_return false;
        }
        if (r.code == "CAPABILITY") setCapabilities(r.capabilities());
        if (r.status == ImapResponse::Ok) co_return true;
        if (!challenge.isEmpty()) {
            const QString text = net::serverText(r.text);
            m_link.fail(ErrorAuthentication, text.isEmpty() ? challenge : challenge + u": "_s + text);
            co_return false;
        }
        m_link.failFromServer(r, ErrorAuthentication);
        co_return false;
    }
}

QCoro::Task<bool> ImapClient::login()
{
    const QByteArray tag = nextTag();
    const QList<QByteArray> args = {m_settings.user.toUtf8(), m_settings.password.toUtf8()};
    const bool literalPlus = hasCapability("LITERAL+");
    // Each argument quoted where it can be, else a literal: after its
    // announcement the server must say "+" before it is sent (unless LITERAL+).
    QByteArray line = tag + " LOGIN";
    for (const QByteArray& arg : args) {
        if (const auto q = quoted(arg)) {
            line += ' ' + *q;
            continue;
        }
        line += " {" + QByteArray::number(arg.size()) + (literalPlus ? "+}" : "}");
        m_link.send(line);
        if (!literalPlus) {
            ImapResponse r;
            for (;;) {
                const Read read = co_await m_link.next(r);
                if (read != Read::Response) co_return false;
                if (r.kind != ImapResponse::Untagged) break;
                if (!handleUntagged(r, false)) co_return false;
            }
            if (r.kind == ImapResponse::Tagged && r.tag == tag) {
                m_link.failFromServer(r, ErrorAuthentication);
                co_return false;
            }
            if (r.kind != ImapResponse::Continuation) {
                m_link.protocolFailure(u"The server's answer to the login makes no sense"_s,
                                       r.tag + ' ' + r.text);
                co_return false;
            }
        }
        line = arg;
    }
    m_link.send(line);
    ImapResponse done;
    const bool answered = co_await awaitTagged(tag, done);
    if (!answered) co_return false;
    co_return isOk(done, ErrorAuthentication);
}

// --- The mailbox ------------------------------------------------------------

QCoro::Task<std::optional<ImapMailbox>> ImapClient::examine(QString mailbox)
{
    if (!mayStart(true)) co_return std::nullopt;
    beginRequest();
    m_examined = false;
    ImapMailbox box;
    box.name = mailbox;
    const QByteArray tag = nextTag();
    m_link.send(tag + " EXAMINE " + *quoted(encodeMailboxName(mailbox)));
    ImapResponse done;
    const bool answered = co_await awaitTagged(tag, done, [&box](const ImapResponse& r) {
        if (r.name == "EXISTS" && r.number) {
            box.exists = quint32(std::min<quint64>(*r.number, 0xFFFFFFFFu));
            return true;
        }
        if (r.status == ImapResponse::Ok) {
            if (const auto v = r.codeNumber("UIDVALIDITY")) box.uidValidity = quint32(*v);
            if (const auto n = r.codeNumber("UIDNEXT")) box.uidNext = quint32(*n);
        }
        return false;
    });
    const bool ok = answered && isOk(done, ErrorMailbox);
    if (ok) {
        m_mailbox = box;
        m_examined = true;
    }
    endRequest(ok, OnFailure::CloseWhenOutOfStep);
    co_return ok ? std::optional<ImapMailbox>(box) : std::nullopt;
}

QCoro::Task<std::optional<QList<quint32>>> ImapClient::uidsAbove(quint32 lastKnown)
{
    if (!mayStart(true)) co_return std::nullopt;
    if (!m_examined) {
        Q_EMIT Error(ErrorBadRequest, u"No mailbox is open"_s);
        co_return std::nullopt;
    }
    if (lastKnown == 0xFFFFFFFFu) co_return QList<quint32>();
    beginRequest();
    QList<quint32> uids;
    // A server never lists more UIDs than it holds messages; a set far larger is hostile.
    const qint64 most = qint64(m_mailbox.exists) * 2 + 1000;
    const QByteArray range = QByteArray::number(lastKnown + 1) + ":*";
    const QByteArray tag = nextTag();
    bool garbage = false;
    ImapResponse done;
    bool answered = false;
    if (hasCapability("ESEARCH")) {
        // One short line however many there are.
        m_link.send(tag + " UID SEARCH RETURN (ALL) UID " + range);
        answered = co_await awaitTagged(tag, done, [&](const ImapResponse& r) {
            if (r.name != "ESEARCH") return false;
            for (qsizetype i = 0; i + 1 < r.values.size(); ++i) {
                if (!r.values[i].isAtom("ALL")) continue;
                const auto set = expandSet(r.values[i + 1].asString(), most - uids.size());
                if (set)
                    uids += *set;
                else
                    garbage = true;
            }
            return true;
        });
    } else {
        // One response per message, each short: no line grows with the mailbox.
        m_link.send(tag + " UID FETCH " + range + " (UID)");
        answered = co_await awaitTagged(tag, done, [&](const ImapResponse& r) {
            if (r.name != "FETCH" || r.values.isEmpty()) return false;
            if (const ImapValue* uid = r.values.first().attribute("UID");
                uid && uid->kind == ImapValue::Number)
                uids.append(quint32(std::min<quint64>(uid->number, 0xFFFFFFFFu)));
            if (uids.size() > most) garbage = true;
            return true;
        });
    }
    bool ok = answered && isOk(done, ErrorServer);
    if (ok && garbage) {
        m_link.protocolFailure(u"The server's list of messages makes no sense"_s, {});
        ok = false;
    }
    // "n:*" names the last message even when its UID is below n.
    uids.removeIf([lastKnown](quint32 u) { return u <= lastKnown; });
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    endRequest(ok, OnFailure::CloseWhenOutOfStep);
    co_return ok ? std::optional<QList<quint32>>(uids) : std::nullopt;
}

QCoro::Task<bool> ImapClient::fetch(QList<quint32> uids, qint64 textBytes)
{
    if (!mayStart(true)) co_return false;
    if (!m_examined) {
        Q_EMIT Error(ErrorBadRequest, u"No mailbox is open"_s);
        co_return false;
    }
    beginRequest();
    const bool ok = co_await doFetch(std::move(uids), textBytes);
    endRequest(ok, OnFailure::CloseWhenOutOfStep);
    co_return ok;
}

QCoro::Task<bool> ImapClient::doFetch(QList<quint32> uids, qint64 textBytes)
{
    // PEEK: fetching must not mark the message seen.
    const QByteArray items = textBytes < 0 ? QByteArray("(UID RFC822.SIZE BODY.PEEK[])")
                                           : "(UID RFC822.SIZE BODY.PEEK[HEADER] BODY.PEEK[TEXT]<0." +
                                                 QByteArray::number(textBytes) + ">)";
    QList<QByteArray> inFlight;
    qsizetype next = 0;
    bool refused = false;
    while (next < uids.size() || !inFlight.isEmpty()) {
        // Commands go out as answers come in: the server always has work queued.
        while (!refused && next < uids.size() && inFlight.size() < FetchWindow) {
            const QByteArray tag = nextTag();
            m_link.send(tag + " UID FETCH " + QByteArray::number(uids[next++]) + ' ' + items);
            inFlight.append(tag);
        }
        if (inFlight.isEmpty()) break;
        ImapResponse r;
        const Read read = co_await m_link.next(r);
        if (read != Read::Response) co_return false;
        if (r.kind == ImapResponse::Continuation) {
            m_link.protocolFailure(u"The server asked for more of a command that was complete"_s,
                                   "+ " + r.text);
            co_return false;
        }
        if (r.kind == ImapResponse::Tagged) {
            if (!inFlight.contains(r.tag)) {
                m_link.protocolFailure(u"The server answered a command that was not sent"_s,
                                       r.tag + ' ' + r.text);
                co_return false;
            }
            inFlight.removeOne(r.tag);
            // After a refusal nothing more is asked; the answers in flight are read past.
            if (!refused && !isOk(r, ErrorServer)) refused = true;
            continue;
        }
        if (r.name == "FETCH" && !r.values.isEmpty() && r.values.first().kind == ImapValue::List) {
            const ImapValue& attrs = r.values.first();
            const ImapValue* uid = attrs.attribute("UID");
            const ImapValue* whole = attrs.attribute("BODY[]");
            const ImapValue* header = attrs.attribute("BODY[HEADER]");
            const ImapValue* text = attrs.attribute("BODY[TEXT]");
            if (uid && uid->kind == ImapValue::Number && (whole || header || text)) {
                ImapMessage m;
                m.uid = quint32(std::min<quint64>(uid->number, 0xFFFFFFFFu));
                if (const ImapValue* size = attrs.attribute("RFC822.SIZE");
                    size && size->kind == ImapValue::Number)
                    m.size = qint64(std::min<quint64>(size->number, quint64(1) << 62));
                if (whole) {
                    m.bytes = whole->asString();
                    m.truncated = whole->truncated;
                } else {
                    if (header) m.bytes = header->asString();
                    if (text) m.bytes += text->asString();
                    m.truncated = (header && header->truncated) || (text && text->truncated);
                    const qint64 got =
                        (header ? std::max(header->literalSize, qint64(header->text.size())) : 0) +
                        (text ? std::max(text->literalSize, qint64(text->text.size())) : 0);
                    m.partial = m.size < 0 || got < m.size;
                }
                if (uids.contains(m.uid)) Q_EMIT messageFetched(m);
                continue;
            }
        }
        if (!handleUntagged(r, false)) co_return false;
    }
    co_return !refused;
}

QCoro::Task<bool> ImapClient::noop()
{
    if (!mayStart(true)) co_return false;
    beginRequest();
    const QByteArray tag = nextTag();
    m_link.send(tag + " NOOP");
    ImapResponse done;
    const bool answered = co_await awaitTagged(tag, done);
    const bool ok = answered && isOk(done, ErrorServer);
    endRequest(ok, OnFailure::CloseWhenOutOfStep);
    co_return ok;
}

// --- IDLE -------------------------------------------------------------------

QCoro::Task<bool> ImapClient::idle(int maxMs)
{
    if (!mayStart(true)) co_return false;
    if (!m_examined) {
        Q_EMIT Error(ErrorBadRequest, u"No mailbox is open"_s);
        co_return false;
    }
    if (!hasCapability("IDLE")) {
        Q_EMIT Error(ErrorNotSupported, u"The server does not offer IDLE"_s);
        co_return false;
    }
    beginRequest();
    m_stopIdle = false;
    const bool ok = co_await doIdle(maxMs);
    m_idling = false;
    endRequest(ok, OnFailure::CloseWhenOutOfStep);
    if (ok) Q_EMIT idleDone();
    co_return ok;
}

void ImapClient::stopIdle()
{
    if (!m_busy) return;
    m_stopIdle = true;
    if (m_idling) m_link.interrupt();
}

QCoro::Task<bool> ImapClient::doIdle(int maxMs)
{
    QElapsedTimer clock;
    clock.start();
    const QByteArray tag = nextTag();
    m_link.send(tag + " IDLE");
    // Until the server agrees, within the response timeout like any answer.
    for (;;) {
        ImapResponse r;
        const Read read = co_await m_link.next(r);
        if (read != Read::Response) co_return false;
        if (r.kind == ImapResponse::Continuation) break;
        if (r.kind == ImapResponse::Tagged) {
            if (r.tag != tag) {
                m_link.protocolFailure(u"The server answered a command that was not sent"_s,
                                       r.tag + ' ' + r.text);
                co_return false;
            }
            // An OK without "+" would be odd but harmless; a NO is a refusal.
            co_return isOk(r, ErrorServer);
        }
        if (!handleUntagged(r, false)) co_return false;
    }
    m_idling = true;
    Q_EMIT idling();
    while (!m_stopIdle) {
        const qint64 left = maxMs - clock.elapsed();
        if (left <= 0) break;
        ImapResponse r;
        const Read read = co_await m_link.nextWhileIdle(r, int(std::min<qint64>(left, 0x7FFFFFFF)));
        if (read == Read::Interrupted) continue;
        if (read == Read::Failed) co_return false;
        if (r.kind == ImapResponse::Tagged) {
            // The server ended the IDLE itself.
            m_idling = false;
            if (r.tag != tag) {
                m_link.protocolFailure(u"The server answered a command that was not sent"_s,
                                       r.tag + ' ' + r.text);
                co_return false;
            }
            co_return isOk(r, ErrorServer);
        }
        if (r.kind == ImapResponse::Continuation) continue;
        if (!handleUntagged(r, false)) co_return false;
    }
    m_idling = false;
    m_link.send("DONE");
    ImapResponse done;
    const bool answered = co_await awaitTagged(tag, done);
    if (!answered) co_return false;
    co_return isOk(done, ErrorServer);
}

// --- Log off ----------------------------------------------------------------

QCoro::Task<void> ImapClient::logOff()
{
    if (m_busy) {
        close(u"The connection was closed while a request was running"_s);
        co_return;
    }
    if (!m_link.isOpen()) co_return;
    beginRequest();
    if (!m_link.isBroken()) {
        m_link.setResponseTimeout(std::min(m_settings.responseTimeoutMs, LogoutTimeoutMs));
        const QByteArray tag = nextTag();
        m_link.send(tag + " LOGOUT");
        ImapResponse done;
        co_await awaitTagged(tag, done, {}, true);
        m_link.setResponseTimeout(m_settings.responseTimeoutMs);
    }
    m_loggedOn = false;
    m_examined = false;
    m_link.closeGracefully();
    m_busy = false;
    m_link.takeFailure();
}

} // namespace orvella::imap
