#include "mail/pop/Pop3Client.h"

#include "mail/pop/Pop3SocketTransport.h"

#include <QCryptographicHash>
#include <QMetaObject>
#include <algorithm>
#include <cctype>
#include <limits>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// Server text for the user: UTF-8 where valid, control characters made visible
// so a hostile server cannot smuggle line breaks into the error page.
QString serverText(QByteArrayView text)
{
    QString s = QString::fromUtf8(text.first(std::min<qsizetype>(text.size(), 500)));
    for (QChar& c : s) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = u'?';
    }
    return s;
}

// "512 bytes", "8 KB", "17 MB": sizes in the Error descriptions.
QString byteText(qint64 bytes)
{
    if (bytes < 1024 || (bytes < 10 * 1024 && bytes % 1024 != 0)) return u"%1 bytes"_s.arg(bytes);
    constexpr qint64 KB = 1024, MB = KB * 1024, GB = MB * 1024;
    if (bytes < MB) return u"%1 KB"_s.arg((bytes + KB / 2) / KB);
    if (bytes < GB) return u"%1 MB"_s.arg((bytes + MB / 2) / MB);
    return u"%1 GB"_s.arg((bytes + GB / 2) / GB);
}

bool hasLineBreakOrNul(const QString& s)
{
    return s.contains(u'\r') || s.contains(u'\n') || s.contains(QChar(u'\0'));
}

bool fatal(int code)
{
    switch (code) {
    case Pop3Client::ErrorConnect:
    case Pop3Client::ErrorConnectTimeout:
    case Pop3Client::ErrorTimeout:
    case Pop3Client::ErrorConnectionLost:
    case Pop3Client::ErrorTls:
    case Pop3Client::ErrorCertificate:
    case Pop3Client::ErrorProtocol:
        return true;
    default:
        return false;
    }
}

} // namespace

Pop3Client::Pop3Client(std::unique_ptr<IPop3Transport> transport, QObject* parent)
    : QObject(parent), m_transport(transport ? std::move(transport) : std::make_unique<Pop3SocketTransport>())
{
    // Owned through the unique_ptr only; a QObject parent would delete it twice.
    m_transport->setParent(nullptr);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        wake();
    });
    IPop3Transport* t = m_transport.get();
    connect(t, &IPop3Transport::connected, this, &Pop3Client::onConnected);
    connect(t, &IPop3Transport::encrypted, this, &Pop3Client::onEncrypted);
    connect(t, &IPop3Transport::readyRead, this, &Pop3Client::onReadyRead);
    connect(t, &IPop3Transport::disconnected, this, &Pop3Client::onDisconnected);
    connect(t, &IPop3Transport::errorOccurred, this, &Pop3Client::onErrorOccurred);
    // Direct: ignoreSslErrors() only counts while the handshake waits in this signal.
    connect(t, &IPop3Transport::sslErrors, this, &Pop3Client::onSslErrors, Qt::DirectConnection);
}

Pop3Client::~Pop3Client()
{
    m_transport->disconnect(this);
    if (m_open) m_transport->abort();
}

bool Pop3Client::isEncrypted() const
{
    return m_open && m_transport->isEncrypted();
}

QString Pop3Client::formatFingerprint(const QByteArray& sha256)
{
    return QString::fromLatin1(sha256.toHex(':').toUpper());
}

QByteArray Pop3Client::normalizeFingerprint(const QString& fingerprint)
{
    QByteArray hex;
    for (QChar c : fingerprint) {
        if (c == u':' || c == u' ' || c == u'\t') continue;
        if (c.unicode() > 0x7F || !std::isxdigit(static_cast<unsigned char>(c.toLatin1()))) return {};
        hex.append(char(c.toLower().toLatin1()));
    }
    return hex.size() == 64 ? hex : QByteArray();
}

// --- Waking the suspended request -------------------------------------------

void Pop3Client::wake()
{
    if (!m_waiter || m_resumeQueued) return;
    m_resumeQueued = true;
    QMetaObject::invokeMethod(this, &Pop3Client::resumeWaiter, Qt::QueuedConnection);
}

void Pop3Client::resumeWaiter()
{
    m_resumeQueued = false;
    if (auto h = std::exchange(m_waiter, {})) h.resume();
}

void Pop3Client::startTimer(int ms)
{
    m_timer.start(std::max(ms, 1));
}

// --- Transport events -------------------------------------------------------

void Pop3Client::onConnected()
{
    m_connected = true;
    wake();
}

void Pop3Client::onEncrypted()
{
    m_encrypted = true;
    wake();
}

void Pop3Client::onReadyRead()
{
    // The response timeout measures the server's silence, not the length of
    // the answer: a big message on a slow line keeps the timer from firing.
    if (m_timer.isActive()) m_timer.start();
    wake();
}

void Pop3Client::onDisconnected()
{
    if (!m_open) return;
    m_linkDown = true;
    if (m_linkError.isEmpty()) m_linkError = u"The server closed the connection"_s;
    wake();
}

void Pop3Client::onErrorOccurred(const QString& description)
{
    if (!m_open) return;
    // Every TCP socket error ends the connection (a refused connection even
    // ends without disconnected()); data received before it stays readable.
    m_linkDown = true;
    if (m_linkError.isEmpty()) m_linkError = description;
    wake();
}

void Pop3Client::onSslErrors(const QList<QSslError>& errors)
{
    const QList<QSslCertificate> chain = m_transport->peerCertificateChain();
    QSslCertificate leaf = chain.value(0);
    if (leaf.isNull()) {
        for (const QSslError& e : errors) {
            if (!e.certificate().isNull()) {
                leaf = e.certificate();
                break;
            }
        }
    }
    const QByteArray digest = leaf.isNull() ? QByteArray() : leaf.digest(QCryptographicHash::Sha256);
    // The user vouched for exactly this certificate: whatever the system's
    // store says about it (self-signed, other host name, expired) is accepted.
    if (!m_trusted.isEmpty() && !digest.isEmpty() && digest.toHex() == m_trusted) {
        m_transport->ignoreSslErrors();
        return;
    }
    QStringList reasons;
    for (const QSslError& e : errors) {
        const QString r = e.errorString();
        if (!reasons.contains(r)) reasons.append(r);
    }
    if (digest.isEmpty()) {
        m_certificateError = u"The server's certificate is not trusted: %1."_s.arg(reasons.join(u"; "_s));
        return;
    }
    m_certificateError =
        u"The certificate of %1 is not trusted (%2). Its SHA-256 fingerprint is %3; "
        u"to trust this certificate anyway, enter this fingerprint as the account's "
        u"trusted certificate."_s.arg(m_settings.host, reasons.join(u"; "_s), formatFingerprint(digest));
}

// --- Failures ---------------------------------------------------------------

void Pop3Client::fail(int code, const QString& description)
{
    // The first failure is the cause; what follows from it is noise.
    if (m_failure.code == ErrorNone) m_failure = {code, description};
    if (fatal(code)) m_mustClose = true;
}

void Pop3Client::failFromServer(const pop3::Status& status, int fallbackCode)
{
    int code = fallbackCode;
    if (status.code == "AUTH")
        code = ErrorAuthentication;
    else if (status.code == "IN-USE")
        code = ErrorMailboxInUse;
    else if (status.code == "SYS/TEMP" || status.code == "LOGIN-DELAY")
        code = ErrorServerUnavailable;
    const QString text = serverText(status.text);
    fail(code, text.isEmpty() ? u"The server refused the request without giving a reason"_s : text);
}

void Pop3Client::protocolFailure(const QString& what, const QByteArray& line)
{
    fail(ErrorProtocol, u"%1: \"%2\""_s.arg(what, serverText(line.left(200))));
}

void Pop3Client::lineTooLong(LineKind kind)
{
    switch (kind) {
    case LineKind::Status:
        fail(ErrorProtocol, u"The server sent a line of more than %1 where a status line belongs; "
                            u"the connection was closed"_s.arg(byteText(StatusLineLimit)));
        break;
    case LineKind::Header:
        fail(ErrorProtocol, u"The server sent a header line of more than %1 in message %2; "
                            u"the connection was closed"_s.arg(byteText(HeaderLineLimit))
                                .arg(m_answerMessage));
        break;
    case LineKind::Body:
        fail(ErrorProtocol, u"The server sent a line of more than %1 in message %2; "
                            u"the connection was closed"_s.arg(byteText(BodyLineLimit))
                                .arg(m_answerMessage));
        break;
    }
}

void Pop3Client::answerTooLong()
{
    const QString limit = byteText(m_answerLimit);
    if (m_answerMessage == 0) {
        fail(ErrorProtocol, u"The server sent more than %1 for one answer without ending it; "
                            u"the connection was closed"_s.arg(limit));
    } else if (m_answerListed) {
        fail(ErrorProtocol, u"The server sent more than %1 for message %2, which it listed as %3; "
                            u"the connection was closed"_s.arg(limit)
                                .arg(m_answerMessage)
                                .arg(byteText(*m_answerListed)));
    } else {
        fail(ErrorProtocol, u"The server sent more than %1 for message %2 without ending it; "
                            u"the connection was closed"_s.arg(limit)
                                .arg(m_answerMessage));
    }
}

bool Pop3Client::answerTooSlow(qint64 pending)
{
    // The silence timeout alone lets a server that sends a byte now and
    // then hold the check forever; an answer must also keep a pace.
    const qint64 received = m_answerBytes + pending;
    const qint64 allowedMs = m_responseTimeoutMs + received * 1000 / SlowestAnswerRate;
    const qint64 elapsed = m_answerClock.elapsed();
    if (elapsed <= allowedMs) return false;
    const QString what = m_answerMessage == 0 ? u"its answer"_s : u"message %1"_s.arg(m_answerMessage);
    fail(ErrorTimeout, u"The server sent %1 too slowly (%2 in %3 s); the connection was closed"_s.arg(
                           what, byteText(received), QString::number((elapsed + 500) / 1000)));
    return true;
}

void Pop3Client::recordLinkFailure()
{
    if (m_timedOut) {
        fail(ErrorTimeout, u"The server stopped answering (nothing received for %1 s)"_s.arg(
                               (m_responseTimeoutMs + 999) / 1000));
    } else if (!m_certificateError.isEmpty()) {
        fail(ErrorCertificate, m_certificateError);
    } else {
        fail(ErrorConnectionLost, m_linkError.isEmpty() ? u"The connection was closed"_s : m_linkError);
    }
}

void Pop3Client::closeLink()
{
    m_timer.stop();
    m_loggedOn = false;
    m_reader.clear();
    if (m_open) {
        m_open = false;
        m_transport->abort();
    }
    if (!m_linkDown) {
        m_linkDown = true;
        if (m_linkError.isEmpty()) m_linkError = u"The connection was closed"_s;
    }
    wake();
}

void Pop3Client::reportFailure()
{
    const Failure f = std::exchange(m_failure, {});
    if (f.code != ErrorNone)
        Q_EMIT Error(f.code, f.description);
    else
        Q_EMIT Error(ErrorProtocol, u"The request failed"_s);
}

// --- Reading ----------------------------------------------------------------

void Pop3Client::send(const QByteArray& command)
{
    m_transport->write(command + "\r\n");
}

std::optional<bool> Pop3Client::takeBufferedLine(pop3::Line& line, LineKind kind)
{
    auto l = m_reader.takeLine();
    if (!l) return std::nullopt;
    line = std::move(*l);
    m_answerBytes += line.length + 2;
    const qint64 limit = kind == LineKind::Status   ? StatusLineLimit
                         : kind == LineKind::Header ? HeaderLineLimit
                                                    : BodyLineLimit;
    if (line.length > limit) {
        lineTooLong(kind);
        return false;
    }
    if (m_answerBytes > m_answerLimit) {
        answerTooLong();
        return false;
    }
    return true;
}

bool Pop3Client::pendingLineFits(LineKind kind)
{
    const qint64 pending = m_reader.pendingLength();
    const qint64 limit = kind == LineKind::Status   ? StatusLineLimit
                         : kind == LineKind::Header ? HeaderLineLimit
                                                    : BodyLineLimit;
    if (pending > limit) {
        lineTooLong(kind);
        return false;
    }
    if (m_answerBytes + pending > m_answerLimit) {
        answerTooLong();
        return false;
    }
    return true;
}

QCoro::Task<bool> Pop3Client::nextLine(pop3::Line& line, LineKind kind)
{
    for (;;) {
        if (const auto taken = takeBufferedLine(line, kind)) {
            m_timer.stop();
            co_return *taken;
        }
        // No line is complete: the one still growing is the line awaited.
        if (!pendingLineFits(kind)) co_return false;
        if (m_open) {
            const QByteArray data = m_transport->readAvailable();
            if (!data.isEmpty()) {
                m_reader.feed(data);
                if (m_timer.isActive()) m_timer.start();
                continue;
            }
        }
        if (m_linkDown) {
            // A last line without its line end, e.g. "-ERR bye" and a close.
            if (auto rest = m_reader.takeRest()) {
                line = std::move(*rest);
                co_return true;
            }
            m_timer.stop();
            recordLinkFailure();
            co_return false;
        }
        if (m_timedOut) {
            recordLinkFailure();
            co_return false;
        }
        if (answerTooSlow(m_reader.pendingLength())) co_return false;
        if (!m_timer.isActive()) startTimer(m_responseTimeoutMs);
        co_await nextEvent();
    }
}

QCoro::Task<bool> Pop3Client::readStatus(pop3::Status& status)
{
    // Every answer begins with its status line: its limits start here.
    m_answerClock.start();
    m_answerBytes = 0;
    m_answerLimit = m_maxStreamBytes;
    m_answerMessage = 0;
    m_answerListed.reset();
    pop3::Line line;
    if (!co_await nextLine(line)) co_return false;
    status = pop3::parseStatus(line.text);
    if (status.kind == pop3::Status::Garbage) {
        protocolFailure(u"The server sent an answer that is not POP3"_s, line.text);
        co_return false;
    }
    co_return true;
}

QCoro::Task<bool> Pop3Client::readDataLines(QList<QByteArray>& lines, int maxLines)
{
    pop3::Line line;
    for (;;) {
        if (!co_await nextLine(line)) co_return false;
        if (pop3::unstuff(line.text) == pop3::DataLine::End) co_return true;
        if (lines.size() >= maxLines) {
            protocolFailure(u"The server's answer does not end"_s, line.text);
            co_return false;
        }
        lines.append(std::move(line.text));
    }
}

QCoro::Task<bool> Pop3Client::skipDataLines(LineKind kind, qint64 maxLines)
{
    pop3::Line line;
    for (qint64 count = 0;; ++count) {
        if (const auto taken = takeBufferedLine(line, kind)) {
            if (!*taken) co_return false;
        } else if (!co_await nextLine(line, kind)) {
            co_return false;
        }
        if (pop3::unstuff(line.text) == pop3::DataLine::End) co_return true;
        if (count >= maxLines) {
            protocolFailure(u"The server's answer does not end"_s, line.text);
            co_return false;
        }
    }
}

void Pop3Client::beginMessageAnswer(int n, std::optional<qint64> listed)
{
    m_answerMessage = n;
    m_answerListed = listed;
    m_answerLimit = messageStreamLimit(listed);
}

qint64 Pop3Client::messageStreamLimit(std::optional<qint64> listed) const
{
    // A message is never longer than the server says (give or take a server
    // that counts loosely); one far longer is a stream without end. Without
    // its own size, the size of the whole mailbox still bounds it.
    const qint64 size = listed ? *listed : m_mailboxSize;
    const qint64 slack = std::max<qint64>(m_settings.maxMessageBytes, 0);
    if (size > (m_maxStreamBytes - slack) / 2) return m_maxStreamBytes;
    return std::min(m_maxStreamBytes, 2 * size + slack);
}

// --- Log on -----------------------------------------------------------------

QCoro::Task<bool> Pop3Client::waitForLink(bool encrypted, int timeoutMs)
{
    startTimer(timeoutMs);
    for (;;) {
        if (encrypted ? m_encrypted : m_connected) {
            m_timer.stop();
            co_return true;
        }
        if (m_linkDown) {
            m_timer.stop();
            if (!m_certificateError.isEmpty())
                fail(ErrorCertificate, m_certificateError);
            else if (!m_connected)
                fail(ErrorConnect, m_linkError);
            else
                fail(ErrorTls, u"The secure connection failed: %1"_s.arg(m_linkError));
            co_return false;
        }
        if (m_timedOut) {
            if (!m_connected) {
                fail(ErrorConnectTimeout, u"Could not connect to %1 port %2 within %3 s"_s.arg(
                                              m_settings.host, QString::number(m_settings.port),
                                              QString::number((timeoutMs + 999) / 1000)));
            } else {
                fail(ErrorTimeout, u"The server stopped answering during the TLS handshake"_s);
            }
            co_return false;
        }
        co_await nextEvent();
    }
}

QCoro::Task<bool> Pop3Client::logOn(PopServerSettings settings)
{
    if (m_busy) {
        Q_EMIT Error(ErrorBusy, u"Another request to the server is still running"_s);
        co_return false;
    }
    m_busy = true;
    m_failure = {};
    const bool ok = co_await doLogOn(std::move(settings));
    m_busy = false;
    if (!ok) {
        closeLink();
        reportFailure();
    }
    co_return ok;
}

QCoro::Task<bool> Pop3Client::doLogOn(PopServerSettings settings)
{
    // A new session: whatever ran before is dropped without a word.
    closeLink();
    m_linkDown = false;
    m_timedOut = false;
    m_connected = false;
    m_encrypted = false;
    m_mustClose = false;
    m_linkError.clear();
    m_certificateError.clear();
    m_caps = {};
    m_apopTimestamp.clear();
    m_authMechanism.clear();
    m_count = 0;
    m_mailboxSize = 0;
    m_settings = std::move(settings);
    m_settings.host = m_settings.host.trimmed();
    if (m_settings.connectTimeoutMs <= 0) m_settings.connectTimeoutMs = PopServerSettings().connectTimeoutMs;
    if (m_settings.responseTimeoutMs <= 0)
        m_settings.responseTimeoutMs = PopServerSettings().responseTimeoutMs;
    m_responseTimeoutMs = m_settings.responseTimeoutMs;

    const QString securityName = m_settings.security.trimmed().toLower();
    Security security;
    if (securityName.isEmpty() || securityName == u"auto")
        security = Security::Auto;
    else if (securityName == u"tls")
        security = Security::Tls;
    else if (securityName == u"starttls")
        security = Security::StartTls;
    else if (securityName == u"none")
        security = Security::None;
    else {
        fail(ErrorBadSettings, u"Unknown connection security \"%1\" (use Auto, TLS, STARTTLS or None)"_s.arg(
                                   m_settings.security));
        co_return false;
    }
    if (m_settings.host.isEmpty()) {
        fail(ErrorBadSettings, u"No incoming mail server is set for this account"_s);
        co_return false;
    }
    if (m_settings.port < 1 || m_settings.port > 65535) {
        fail(ErrorBadSettings, u"The port %1 is not a port number (1 to 65535)"_s.arg(m_settings.port));
        co_return false;
    }
    m_trusted.clear();
    if (!m_settings.trustedCertificate.trimmed().isEmpty()) {
        m_trusted = normalizeFingerprint(m_settings.trustedCertificate);
        if (m_trusted.isEmpty()) {
            fail(ErrorBadSettings, u"The trusted certificate \"%1\" is not a SHA-256 fingerprint "
                                   u"(64 hexadecimal digits)"_s.arg(m_settings.trustedCertificate));
            co_return false;
        }
    }
    // A line break would end the command early and start another one of the
    // user's (or an attacker's) making.
    if (hasLineBreakOrNul(m_settings.user) || hasLineBreakOrNul(m_settings.password)) {
        fail(ErrorBadSettings, u"The account name or password contains a line break"_s);
        co_return false;
    }

    const bool implicitTls =
        security == Security::Tls || (security == Security::Auto && m_settings.port == 995);
    m_open = true;
    m_linkDown = false;
    m_linkError.clear();
    m_transport->connectToHost(m_settings.host, quint16(m_settings.port), implicitTls);
    if (!co_await waitForLink(implicitTls, m_settings.connectTimeoutMs)) co_return false;

    pop3::Status status;
    if (!co_await readStatus(status)) co_return false;
    if (status.kind != pop3::Status::Ok) {
        if (status.kind == pop3::Status::Continue)
            protocolFailure(u"The server's greeting is not POP3"_s, "+ " + status.text);
        else
            failFromServer(status, ErrorServer);
        co_return false;
    }
    m_apopTimestamp = pop3::apopTimestamp(status.text);
    if (!co_await readCapabilities()) co_return false;

    if (!implicitTls && security != Security::None) {
        const bool offered = m_caps.has("STLS");
        if (security == Security::StartTls && !offered) {
            fail(ErrorTlsUnavailable, u"The server does not offer STARTTLS (STLS), which this account "
                                      u"requires; nothing was sent"_s);
            send("QUIT");
            m_transport->disconnectFromHost();
            m_open = false;
            co_return false;
        }
        if (offered) {
            send("STLS");
            if (!co_await readStatus(status)) co_return false;
            if (status.kind != pop3::Status::Ok) {
                failFromServer(status, ErrorTls);
                co_return false;
            }
            // Bytes after "+OK" and before the handshake were not sent by the
            // server but injected by someone in between, to be read later as
            // if they had come through TLS.
            if (m_reader.buffered() > 0 || !m_transport->readAvailable().isEmpty()) {
                fail(ErrorProtocol, u"The server sent data before the secure connection was set up"_s);
                co_return false;
            }
            m_transport->startTls();
            if (!co_await waitForLink(true, m_responseTimeoutMs)) co_return false;
            // The capabilities seen before TLS may have been forged (RFC 2595 4).
            m_caps = {};
            if (!co_await readCapabilities()) co_return false;
        }
    }

    // With pipelining, STAT goes with the last login command: one round trip
    // less. Should the login fail, the session is closed unread.
    const QByteArray statAlong = m_pipeliningAllowed && m_caps.has("PIPELINING") ? "STAT\r\n" : "";
    if (!co_await authenticate(statAlong)) co_return false;

    if (statAlong.isEmpty()) send("STAT");
    if (!co_await readStatus(status)) co_return false;
    if (status.kind != pop3::Status::Ok) {
        failFromServer(status, ErrorServer);
        co_return false;
    }
    const auto stat = pop3::parseStat(status.text);
    if (!stat) {
        protocolFailure(u"The server's message count makes no sense"_s, status.text);
        co_return false;
    }
    m_count = stat->count;
    m_mailboxSize = stat->size;
    m_loggedOn = true;
    co_return true;
}

QCoro::Task<bool> Pop3Client::readCapabilities()
{
    send("CAPA");
    pop3::Status status;
    if (!co_await readStatus(status)) co_return false;
    if (status.kind == pop3::Status::Err) {
        // An RFC 1939 server without CAPA: no STLS, no SASL, no pipelining.
        m_caps = {};
        co_return true;
    }
    if (status.kind != pop3::Status::Ok) {
        protocolFailure(u"The server's answer to CAPA is not POP3"_s, status.text);
        co_return false;
    }
    QList<QByteArray> lines;
    if (!co_await readDataLines(lines, 200)) co_return false;
    m_caps = pop3::Capabilities::parse(lines);
    co_return true;
}

QCoro::Task<bool> Pop3Client::authenticate(QByteArray then)
{
    // The last command of the login carries `then` along.
    auto sendLast = [this, &then](const QByteArray& command) { m_transport->write(command + "\r\n" + then); };
    const QByteArray user = m_settings.user.toUtf8();
    const QByteArray password = m_settings.password.toUtf8();
    const bool saslPlain = m_caps.saslMechanisms().contains("PLAIN");
    enum { Plain, UserPass, Apop } mechanism;
    if (m_transport->isEncrypted())
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
            if (!co_await readStatus(status)) co_return false;
        } else {
            send("AUTH PLAIN");
            if (!co_await readStatus(status)) co_return false;
            if (status.kind == pop3::Status::Continue) {
                sendLast(response);
                if (!co_await readStatus(status)) co_return false;
            }
        }
        if (status.kind == pop3::Status::Continue) {
            // The server wants more than PLAIN has to give: cancel the exchange.
            send("*");
            if (!co_await readStatus(status)) co_return false;
            if (status.kind != pop3::Status::Err) {
                protocolFailure(u"The server's answer to the login makes no sense"_s, status.text);
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
        if (!co_await readStatus(status)) co_return false;
        break;
    }
    case UserPass:
        m_authMechanism = u"USER"_s;
        send("USER " + user);
        if (!co_await readStatus(status)) co_return false;
        if (status.kind == pop3::Status::Ok) {
            sendLast("PASS " + password);
            if (!co_await readStatus(status)) co_return false;
        }
        break;
    }
    if (status.kind == pop3::Status::Err) {
        failFromServer(status, ErrorAuthentication);
        co_return false;
    }
    if (status.kind != pop3::Status::Ok) {
        protocolFailure(u"The server's answer to the login makes no sense"_s, status.text);
        co_return false;
    }
    co_return true;
}

// --- Requests in a session --------------------------------------------------

QCoro::Task<std::optional<qint64>> Pop3Client::messageSize(int n)
{
    if (m_busy) {
        Q_EMIT Error(ErrorBusy, u"Another request to the server is still running"_s);
        co_return std::nullopt;
    }
    if (!m_loggedOn) {
        Q_EMIT Error(ErrorNotLoggedOn, u"Not logged on to the mail server"_s);
        co_return std::nullopt;
    }
    if (n < 1 || n > m_count) {
        Q_EMIT Error(ErrorBadRequest,
                     u"There is no message %1 on the server (it holds %2)"_s.arg(n).arg(m_count));
        co_return std::nullopt;
    }
    m_busy = true;
    m_failure = {};
    m_mustClose = false;
    std::optional<qint64> size;
    send("LIST " + QByteArray::number(n));
    pop3::Status status;
    if (co_await readStatus(status)) {
        if (status.kind == pop3::Status::Ok) {
            const auto listing = pop3::parseListing(status.text);
            if (listing && listing->number == n)
                size = listing->size;
            else
                protocolFailure(u"The server's answer to LIST makes no sense"_s, status.text);
        } else if (status.kind == pop3::Status::Err) {
            failFromServer(status, ErrorServer);
        } else {
            protocolFailure(u"The server's answer to LIST makes no sense"_s, status.text);
        }
    }
    m_busy = false;
    if (!size) {
        if (m_mustClose) closeLink();
        reportFailure();
    }
    co_return size;
}

QCoro::Task<bool> Pop3Client::retrieve(int first, int last, int lines)
{
    if (m_busy) {
        Q_EMIT Error(ErrorBusy, u"Another request to the server is still running"_s);
        co_return false;
    }
    if (!m_loggedOn) {
        Q_EMIT Error(ErrorNotLoggedOn, u"Not logged on to the mail server"_s);
        co_return false;
    }
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
    m_busy = true;
    m_failure = {};
    m_mustClose = false;
    const bool ok = co_await doRetrieve(first, last, lines);
    m_busy = false;
    if (!ok) {
        if (m_mustClose) closeLink();
        reportFailure();
    }
    co_return ok;
}

QCoro::Task<bool> Pop3Client::doRetrieve(int first, int last, int lines)
{
    pop3::Pop3Pipeline pipeline(first, last, lines, m_count, m_pipeliningAllowed && m_caps.has("PIPELINING"));
    while (!pipeline.done()) {
        // Requests go out as answers come in: the server always has work
        // queued, and neither side waits for the other with a full buffer.
        const QByteArray batch = pipeline.takeBatch();
        if (!batch.isEmpty()) m_transport->write(batch);
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
            if (!m_mustClose) co_await skipAnswers(pipeline);
            co_return false;
        }
        pipeline.answered(m_answerBytes);
    }
    co_return true;
}

QCoro::Task<bool> Pop3Client::readSizes(pop3::Pop3Pipeline& pipeline)
{
    pop3::Status status;
    if (!co_await readStatus(status)) co_return false;
    // Without sizes the retrieval still works, with looser limits.
    if (status.kind == pop3::Status::Err) co_return true;
    if (status.kind != pop3::Status::Ok) {
        protocolFailure(u"The server's answer to LIST makes no sense"_s, "+ " + status.text);
        co_return false;
    }
    pop3::Line line;
    for (qint64 count = 0;; ++count) {
        if (const auto taken = takeBufferedLine(line, LineKind::Status)) {
            if (!*taken) co_return false;
        } else if (!co_await nextLine(line, LineKind::Status)) {
            co_return false;
        }
        if (pop3::unstuff(line.text) == pop3::DataLine::End) co_return true;
        if (count > m_count) {
            protocolFailure(u"The server's answer to LIST does not end"_s, line.text);
            co_return false;
        }
        if (const auto listing = pop3::parseListing(line.text))
            pipeline.setSize(listing->number, listing->size);
    }
}

QCoro::Task<bool> Pop3Client::readSize(pop3::Pop3Pipeline& pipeline, int n)
{
    pop3::Status status;
    if (!co_await readStatus(status)) co_return false;
    if (status.kind == pop3::Status::Err) co_return true;
    if (status.kind != pop3::Status::Ok) {
        protocolFailure(u"The server's answer to LIST makes no sense"_s, "+ " + status.text);
        co_return false;
    }
    const auto listing = pop3::parseListing(status.text);
    if (listing && listing->number == n) pipeline.setSize(n, listing->size);
    co_return true;
}

QCoro::Task<bool> Pop3Client::readMessage(int n, std::optional<qint64> listed)
{
    pop3::Status status;
    if (!co_await readStatus(status)) co_return false;
    if (status.kind == pop3::Status::Err) {
        failFromServer(status, ErrorServer);
        co_return false;
    }
    if (status.kind != pop3::Status::Ok) {
        protocolFailure(u"The server's answer to a retrieval makes no sense"_s, "+ " + status.text);
        co_return false;
    }
    beginMessageAnswer(n, listed);
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
        const LineKind kind = inHeader ? LineKind::Header : LineKind::Body;
        // Most lines are already buffered: take them without a coroutine frame.
        if (const auto taken = takeBufferedLine(line, kind)) {
            if (!*taken) co_return false;
        } else if (!co_await nextLine(line, kind)) {
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

QCoro::Task<bool> Pop3Client::skipAnswers(const pop3::Pop3Pipeline& pipeline)
{
    // The first request in flight is the one that failed; its answer is read.
    const std::deque<pop3::Pop3Pipeline::Request>& rest = pipeline.inFlight();
    for (size_t i = 1; i < rest.size(); ++i) {
        const pop3::Pop3Pipeline::Request& request = rest[i];
        pop3::Status status;
        if (!co_await readStatus(status)) co_return false;
        if (status.kind == pop3::Status::Continue) {
            protocolFailure(u"The server's answer to a retrieval makes no sense"_s, "+ " + status.text);
            co_return false;
        }
        if (status.kind != pop3::Status::Ok) continue;
        switch (request.kind) {
        case pop3::Pop3Pipeline::Request::ListOne:
            break;
        case pop3::Pop3Pipeline::Request::ListAll:
            if (!co_await skipDataLines(LineKind::Status, qint64(m_count) + 1)) co_return false;
            break;
        case pop3::Pop3Pipeline::Request::Message:
            beginMessageAnswer(request.n, pipeline.size(request.n));
            if (!co_await skipDataLines(LineKind::Body, std::numeric_limits<qint64>::max())) co_return false;
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
        m_linkError = u"The connection was closed while a request was running"_s;
        closeLink();
        co_return;
    }
    if (!m_open) co_return;
    m_busy = true;
    m_failure = {};
    m_mustClose = false;
    bool refused = false;
    if (!linkBroken()) {
        // QUIT needs no patience: the mail is already here.
        m_responseTimeoutMs = std::min(m_settings.responseTimeoutMs, 10000);
        send("QUIT");
        pop3::Status status;
        if (co_await readStatus(status) && status.kind == pop3::Status::Err) {
            failFromServer(status, ErrorServer);
            refused = true;
        }
        m_responseTimeoutMs = m_settings.responseTimeoutMs;
    }
    m_timer.stop();
    m_loggedOn = false;
    m_reader.clear();
    if (m_open) {
        m_open = false;
        m_transport->disconnectFromHost();
    }
    m_busy = false;
    if (refused)
        reportFailure();
    else
        m_failure = {};
}

} // namespace orvella
