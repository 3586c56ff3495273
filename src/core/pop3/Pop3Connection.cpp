#include "core/pop3/Pop3Connection.h"

#include "core/net/CertificateTrust.h"
#include "core/net/ServerText.h"
#include "core/pop3/Pop3Client.h"

#include <QMetaObject>
#include <algorithm>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace orvella::pop3 {

namespace {

using net::serverText;

// Blanks secret in text, and any cut-off start of it of 16 characters or
// more (a server line quoted in a description is cut at 200 bytes).
void hideSecret(QString& text, const QString& secret)
{
    if (secret.isEmpty()) return;
    const QString head = secret.left(16);
    for (qsizetype at = text.indexOf(head); at >= 0; at = text.indexOf(head, at)) {
        qsizetype n = head.size();
        while (n < secret.size() && at + n < text.size() && text[at + n] == secret[n])
            ++n;
        text.replace(at, n, u"(hidden)"_s);
        at += 8;
    }
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

Pop3Connection::Pop3Connection(std::unique_ptr<IPop3Transport> transport, QObject* parent)
    : QObject(parent), m_transport(std::move(transport))
{
    // Owned through the unique_ptr only; a QObject parent would delete it twice.
    m_transport->setParent(nullptr);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        wake();
    });
    IPop3Transport* t = m_transport.get();
    connect(t, &IPop3Transport::connected, this, &Pop3Connection::onConnected);
    connect(t, &IPop3Transport::encrypted, this, &Pop3Connection::onEncrypted);
    connect(t, &IPop3Transport::readyRead, this, &Pop3Connection::onReadyRead);
    connect(t, &IPop3Transport::disconnected, this, &Pop3Connection::onDisconnected);
    connect(t, &IPop3Transport::errorOccurred, this, &Pop3Connection::onErrorOccurred);
    // Direct: ignoreSslErrors() only counts while the handshake waits in this signal.
    connect(t, &IPop3Transport::sslErrors, this, &Pop3Connection::onSslErrors, Qt::DirectConnection);
}

Pop3Connection::~Pop3Connection()
{
    m_transport->disconnect(this);
    if (m_open) m_transport->abort();
}

void Pop3Connection::open(const QString& host, quint16 port, bool implicitTls, const QByteArray& trusted)
{
    // A new connection: whatever ran before is dropped without a word.
    close();
    m_host = host;
    m_port = port;
    m_trusted = trusted;
    m_failure = {};
    m_secrets.clear();
    m_mustClose = false;
    m_linkDown = false;
    m_timedOut = false;
    m_connected = false;
    m_encrypted = false;
    m_linkError.clear();
    m_certificateError.clear();
    m_rejectedCertificate.clear();
    m_open = true;
    m_transport->connectToHost(host, port, implicitTls);
}

void Pop3Connection::startTls()
{
    m_transport->startTls();
}

bool Pop3Connection::hasUnreadData()
{
    return m_reader.buffered() > 0 || !m_transport->readAvailable().isEmpty();
}

void Pop3Connection::write(const QByteArray& data)
{
    m_transport->write(data);
}

// --- Waking the suspended read -----------------------------------------------

void Pop3Connection::wake()
{
    if (!m_waiter || m_resumeQueued) return;
    m_resumeQueued = true;
    QMetaObject::invokeMethod(this, &Pop3Connection::resumeWaiter, Qt::QueuedConnection);
}

void Pop3Connection::resumeWaiter()
{
    m_resumeQueued = false;
    if (auto h = std::exchange(m_waiter, {})) h.resume();
}

void Pop3Connection::startTimer(int ms)
{
    m_timer.start(std::max(ms, 1));
}

// --- Transport events -------------------------------------------------------

void Pop3Connection::onConnected()
{
    m_connected = true;
    wake();
}

void Pop3Connection::onEncrypted()
{
    m_encrypted = true;
    wake();
}

void Pop3Connection::onReadyRead()
{
    // The response timeout measures the server's silence, not the length of
    // the answer: a big message on a slow line keeps the timer from firing.
    if (m_timer.isActive()) m_timer.start();
    wake();
}

void Pop3Connection::onDisconnected()
{
    if (!m_open) return;
    m_linkDown = true;
    if (m_linkError.isEmpty()) m_linkError = u"The server closed the connection"_s;
    wake();
}

void Pop3Connection::onErrorOccurred(const QString& description)
{
    if (!m_open) return;
    // Every TCP socket error ends the connection (a refused connection even
    // ends without disconnected()); data received before it stays readable.
    m_linkDown = true;
    if (m_linkError.isEmpty()) m_linkError = description;
    wake();
}

void Pop3Connection::onSslErrors(const QList<QSslError>& errors)
{
    const net::CertificateVerdict verdict =
        net::judgeCertificate(m_transport->peerCertificateChain(), errors, m_trusted, m_host);
    if (verdict.accept) {
        m_transport->ignoreSslErrors();
        return;
    }
    m_rejectedCertificate = verdict.rejectedFingerprint;
    m_certificateError = verdict.description;
}

// --- Failures ---------------------------------------------------------------

void Pop3Connection::fail(int code, const QString& description)
{
    // The first failure is the cause; what follows from it is noise.
    if (m_failure.code == Pop3Client::ErrorNone) {
        QString text = description;
        for (const QString& secret : std::as_const(m_secrets))
            hideSecret(text, secret);
        m_failure = {code, text};
    }
    if (fatal(code)) m_mustClose = true;
}

void Pop3Connection::failFromServer(const Status& status, int fallbackCode)
{
    int code = fallbackCode;
    if (status.code == "AUTH")
        code = Pop3Client::ErrorAuthentication;
    else if (status.code == "IN-USE")
        code = Pop3Client::ErrorMailboxInUse;
    else if (status.code == "SYS/TEMP" || status.code == "LOGIN-DELAY")
        code = Pop3Client::ErrorServerUnavailable;
    const QString text = serverText(status.text);
    fail(code, text.isEmpty() ? u"The server refused the request without giving a reason"_s : text);
}

void Pop3Connection::protocolFailure(const QString& what, const QByteArray& line)
{
    fail(Pop3Client::ErrorProtocol, u"%1: \"%2\""_s.arg(what, serverText(line.left(200))));
}

void Pop3Connection::lineTooLong(LineKind kind)
{
    switch (kind) {
    case LineKind::Status:
        fail(Pop3Client::ErrorProtocol,
             u"The server sent a line of more than %1 where a status line belongs; "
             u"the connection was closed"_s.arg(byteText(Pop3Client::StatusLineLimit)));
        break;
    case LineKind::Header:
        fail(Pop3Client::ErrorProtocol,
             u"The server sent a header line of more than %1 in message %2; "
             u"the connection was closed"_s.arg(byteText(Pop3Client::HeaderLineLimit))
                 .arg(m_answerMessage));
        break;
    case LineKind::Body:
        fail(Pop3Client::ErrorProtocol,
             u"The server sent a line of more than %1 in message %2; "
             u"the connection was closed"_s.arg(byteText(Pop3Client::BodyLineLimit))
                 .arg(m_answerMessage));
        break;
    }
}

void Pop3Connection::answerTooLong()
{
    const QString limit = byteText(m_answerLimit);
    if (m_answerMessage == 0) {
        fail(Pop3Client::ErrorProtocol, u"The server sent more than %1 for one answer without ending it; "
                                        u"the connection was closed"_s.arg(limit));
    } else if (m_answerListed) {
        fail(Pop3Client::ErrorProtocol,
             u"The server sent more than %1 for message %2, which it listed as %3; "
             u"the connection was closed"_s.arg(limit)
                 .arg(m_answerMessage)
                 .arg(byteText(*m_answerListed)));
    } else {
        fail(Pop3Client::ErrorProtocol, u"The server sent more than %1 for message %2 without ending it; "
                                        u"the connection was closed"_s.arg(limit)
                                            .arg(m_answerMessage));
    }
}

bool Pop3Connection::answerTooSlow(qint64 pending)
{
    // The silence timeout alone lets a server that sends a byte now and
    // then hold the check forever; an answer must also keep a pace.
    const qint64 received = m_answerBytes + pending;
    const qint64 allowedMs = m_responseTimeoutMs + received * 1000 / Pop3Client::SlowestAnswerRate;
    const qint64 elapsed = m_answerClock.elapsed();
    if (elapsed <= allowedMs) return false;
    const QString what = m_answerMessage == 0 ? u"its answer"_s : u"message %1"_s.arg(m_answerMessage);
    fail(Pop3Client::ErrorTimeout,
         u"The server sent %1 too slowly (%2 in %3 s); the connection was closed"_s.arg(
             what, byteText(received), QString::number((elapsed + 500) / 1000)));
    return true;
}

void Pop3Connection::recordLinkFailure()
{
    if (m_timedOut) {
        fail(Pop3Client::ErrorTimeout, u"The server stopped answering (nothing received for %1 s)"_s.arg(
                                           (m_responseTimeoutMs + 999) / 1000));
    } else if (!m_certificateError.isEmpty()) {
        fail(Pop3Client::ErrorCertificate, m_certificateError);
    } else {
        fail(Pop3Client::ErrorConnectionLost,
             m_linkError.isEmpty() ? u"The connection was closed"_s : m_linkError);
    }
}

void Pop3Connection::close(const QString& why)
{
    if (!why.isEmpty() && !m_linkDown) m_linkError = why;
    m_timer.stop();
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

void Pop3Connection::closeGracefully()
{
    m_timer.stop();
    m_reader.clear();
    if (m_open) {
        m_open = false;
        m_transport->disconnectFromHost();
    }
}

Pop3Connection::Failure Pop3Connection::takeFailure()
{
    m_mustClose = false;
    return std::exchange(m_failure, {});
}

// --- Reading ----------------------------------------------------------------

std::optional<bool> Pop3Connection::takeBufferedLine(Line& line, LineKind kind)
{
    auto l = m_reader.takeLine();
    if (!l) return std::nullopt;
    line = std::move(*l);
    m_answerBytes += line.length + 2;
    return withinLimits(line.length, m_answerBytes, kind);
}

bool Pop3Connection::withinLimits(qint64 lineLength, qint64 answerBytes, LineKind kind)
{
    const qint64 lineLimit = kind == LineKind::Status   ? Pop3Client::StatusLineLimit
                             : kind == LineKind::Header ? Pop3Client::HeaderLineLimit
                                                        : Pop3Client::BodyLineLimit;
    if (lineLength > lineLimit) {
        lineTooLong(kind);
        return false;
    }
    if (answerBytes > m_answerLimit) {
        answerTooLong();
        return false;
    }
    return true;
}

QCoro::Task<bool> Pop3Connection::nextLine(Line& line, LineKind kind)
{
    for (;;) {
        if (const auto taken = takeBufferedLine(line, kind)) {
            m_timer.stop();
            co_return *taken;
        }
        // No line is complete: the one still growing is the line awaited.
        const qint64 pending = m_reader.pendingLength();
        if (!withinLimits(pending, m_answerBytes + pending, kind)) co_return false;
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

QCoro::Task<bool> Pop3Connection::readStatus(Status& status)
{
    // Every answer begins with its status line: its limits start here.
    m_answerClock.start();
    m_answerBytes = 0;
    m_answerLimit = m_maxStreamBytes;
    m_answerMessage = 0;
    m_answerListed.reset();
    Line line;
    if (!co_await nextLine(line)) co_return false;
    status = parseStatus(line.text);
    if (status.kind == Status::Garbage) {
        protocolFailure(u"The server sent an answer that is not POP3"_s, line.text);
        co_return false;
    }
    co_return true;
}

QCoro::Task<bool> Pop3Connection::readDataLines(QList<QByteArray>& lines, int maxLines)
{
    Line line;
    for (;;) {
        if (!co_await nextLine(line)) co_return false;
        if (unstuff(line.text) == DataLine::End) co_return true;
        if (lines.size() >= maxLines) {
            protocolFailure(u"The server's answer does not end"_s, line.text);
            co_return false;
        }
        lines.append(std::move(line.text));
    }
}

QCoro::Task<bool> Pop3Connection::skipDataLines(LineKind kind, qint64 maxLines)
{
    Line line;
    for (qint64 count = 0;; ++count) {
        if (const auto taken = takeBufferedLine(line, kind)) {
            if (!*taken) co_return false;
        } else if (!co_await nextLine(line, kind)) {
            co_return false;
        }
        if (unstuff(line.text) == DataLine::End) co_return true;
        if (count >= maxLines) {
            protocolFailure(u"The server's answer does not end"_s, line.text);
            co_return false;
        }
    }
}

void Pop3Connection::beginMessageAnswer(int n, std::optional<qint64> listed, qint64 limit)
{
    m_answerMessage = n;
    m_answerListed = listed;
    m_answerLimit = limit;
}

// --- Connecting -------------------------------------------------------------

QCoro::Task<bool> Pop3Connection::waitForLink(bool encrypted, int timeoutMs)
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
                fail(Pop3Client::ErrorCertificate, m_certificateError);
            else if (!m_connected)
                fail(Pop3Client::ErrorConnect, m_linkError);
            else
                fail(Pop3Client::ErrorTls, u"The secure connection failed: %1"_s.arg(m_linkError));
            co_return false;
        }
        if (m_timedOut) {
            if (!m_connected) {
                fail(Pop3Client::ErrorConnectTimeout,
                     u"Could not connect to %1 port %2 within %3 s"_s.arg(
                         m_host, QString::number(m_port), QString::number((timeoutMs + 999) / 1000)));
            } else {
                fail(Pop3Client::ErrorTimeout, u"The server stopped answering during the TLS handshake"_s);
            }
            co_return false;
        }
        co_await nextEvent();
    }
}

} // namespace orvella::pop3
