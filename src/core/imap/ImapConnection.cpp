#include "core/imap/ImapConnection.h"

#include "core/imap/ImapClient.h"
#include "core/net/CertificateTrust.h"
#include "core/net/ServerText.h"

#include <QMetaObject>
#include <algorithm>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace orvella::imap {

namespace {

bool fatal(int code)
{
    switch (code) {
    case ImapClient::ErrorConnect:
    case ImapClient::ErrorConnectTimeout:
    case ImapClient::ErrorTimeout:
    case ImapClient::ErrorConnectionLost:
    case ImapClient::ErrorTls:
    case ImapClient::ErrorCertificate:
    case ImapClient::ErrorProtocol:
        return true;
    default:
        return false;
    }
}

} // namespace

ImapConnection::ImapConnection(std::unique_ptr<IMailTransport> transport, QObject* parent)
    : QObject(parent), m_transport(std::move(transport))
{
    // Owned through the unique_ptr only; a QObject parent would delete it twice.
    m_transport->setParent(nullptr);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        wake();
    });
    IMailTransport* t = m_transport.get();
    connect(t, &IMailTransport::connected, this, &ImapConnection::onConnected);
    connect(t, &IMailTransport::encrypted, this, &ImapConnection::onEncrypted);
    connect(t, &IMailTransport::readyRead, this, &ImapConnection::onReadyRead);
    connect(t, &IMailTransport::disconnected, this, &ImapConnection::onDisconnected);
    connect(t, &IMailTransport::errorOccurred, this, &ImapConnection::onErrorOccurred);
    // Direct: ignoreSslErrors() only counts while the handshake waits in this signal.
    connect(t, &IMailTransport::sslErrors, this, &ImapConnection::onSslErrors, Qt::DirectConnection);
}

ImapConnection::~ImapConnection()
{
    m_transport->disconnect(this);
    if (m_open) m_transport->abort();
}

void ImapConnection::open(const QString& host, quint16 port, bool implicitTls, const QByteArray& trusted)
{
    close();
    m_host = host;
    m_port = port;
    m_trusted = trusted;
    m_failure = {};
    m_mustClose = false;
    m_linkDown = false;
    m_timedOut = false;
    m_interrupted = false;
    m_connected = false;
    m_encrypted = false;
    m_linkError.clear();
    m_certificateError.clear();
    m_rejectedCertificate.clear();
    m_parser.clear();
    m_open = true;
    m_responseClock.start();
    m_transport->connectToHost(host, port, implicitTls);
}

void ImapConnection::startTls()
{
    m_transport->startTls();
}

bool ImapConnection::hasUnreadData()
{
    return m_parser.hasResponse() || m_parser.pendingBytes() > 0 || !m_transport->readAvailable().isEmpty();
}

void ImapConnection::send(const QByteArray& line)
{
    // A command's answer is timed from when it goes out.
    if (m_parser.pendingBytes() == 0) m_responseClock.start();
    m_transport->write(line + "\r\n");
}

void ImapConnection::interrupt()
{
    m_interrupted = true;
    wake();
}

// --- Waking the suspended read -----------------------------------------------

void ImapConnection::wake()
{
    if (!m_waiter || m_resumeQueued) return;
    m_resumeQueued = true;
    QMetaObject::invokeMethod(this, &ImapConnection::resumeWaiter, Qt::QueuedConnection);
}

void ImapConnection::resumeWaiter()
{
    m_resumeQueued = false;
    if (auto h = std::exchange(m_waiter, {})) h.resume();
}

void ImapConnection::startTimer(int ms)
{
    m_timedOut = false;
    m_timer.start(std::max(ms, 1));
}

// --- Transport events -------------------------------------------------------

void ImapConnection::onConnected()
{
    m_connected = true;
    wake();
}

void ImapConnection::onEncrypted()
{
    m_encrypted = true;
    wake();
}

void ImapConnection::onReadyRead()
{
    wake();
}

void ImapConnection::onDisconnected()
{
    if (!m_open) return;
    m_linkDown = true;
    if (m_linkError.isEmpty()) m_linkError = u"The server closed the connection"_s;
    wake();
}

void ImapConnection::onErrorOccurred(const QString& description)
{
    if (!m_open) return;
    m_linkDown = true;
    if (m_linkError.isEmpty()) m_linkError = description;
    wake();
}

void ImapConnection::onSslErrors(const QList<QSslError>& errors)
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

void ImapConnection::fail(int code, const QString& description)
{
    // The first failure is the cause; what follows from it is noise.
    if (m_failure.code == ImapClient::ErrorNone) m_failure = {code, description};
    if (fatal(code)) m_mustClose = true;
}

void ImapConnection::failFromServer(const ImapResponse& response, int fallbackCode)
{
    int code = fallbackCode;
    const QByteArray& c = response.code;
    if (c == "AUTHENTICATIONFAILED" || c == "AUTHORIZATIONFAILED" || c == "EXPIRED" || c == "PRIVACYREQUIRED")
        code = ImapClient::ErrorAuthentication;
    else if (c == "INUSE")
        code = ImapClient::ErrorMailboxInUse;
    else if (c == "UNAVAILABLE" || c == "LIMIT")
        code = ImapClient::ErrorServerUnavailable;
    else if (c == "NONEXISTENT")
        code = ImapClient::ErrorMailbox;
    const QString text = net::serverText(response.text);
    fail(code, text.isEmpty() ? u"The server refused the request without giving a reason"_s : text);
}

void ImapConnection::protocolFailure(const QString& what, const QByteArray& line)
{
    fail(ImapClient::ErrorProtocol, u"%1: \"%2\""_s.arg(what, net::serverText(line.left(200))));
}

void ImapConnection::recordLinkFailure()
{
    if (m_timedOut) {
        fail(ImapClient::ErrorTimeout, u"The server stopped answering (nothing received for %1 s)"_s.arg(
                                           (m_responseTimeoutMs + 999) / 1000));
    } else if (!m_certificateError.isEmpty()) {
        fail(ImapClient::ErrorCertificate, m_certificateError);
    } else {
        fail(ImapClient::ErrorConnectionLost,
             m_linkError.isEmpty() ? u"The connection was closed"_s : m_linkError);
    }
}

bool ImapConnection::tooSlow()
{
    // The silence timeout alone lets a server that sends a byte now and then
    // hold the session for ever; a response must also keep a pace.
    const qint64 received = m_parser.pendingBytes();
    const qint64 allowedMs = m_responseTimeoutMs + received * 1000 / ImapClient::SlowestAnswerRate;
    const qint64 elapsed = m_responseClock.elapsed();
    if (elapsed <= allowedMs) return false;
    fail(ImapClient::ErrorTimeout, u"The server sent its response too slowly (%1 bytes in %2 s); "
                                   u"the connection was closed"_s.arg(received)
                                       .arg((elapsed + 500) / 1000));
    return true;
}

void ImapConnection::close(const QString& why)
{
    if (!why.isEmpty() && !m_linkDown) m_linkError = why;
    m_timer.stop();
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

void ImapConnection::closeGracefully()
{
    m_timer.stop();
    if (m_open) {
        m_open = false;
        m_transport->disconnectFromHost();
    }
}

ImapConnection::Failure ImapConnection::takeFailure()
{
    m_mustClose = false;
    return std::exchange(m_failure, {});
}

// --- Reading ----------------------------------------------------------------

QCoro::Task<ImapConnection::Read> ImapConnection::next(ImapResponse& response)
{
    return read(response, false, 0);
}

QCoro::Task<ImapConnection::Read> ImapConnection::nextWhileIdle(ImapResponse& response, int maxMs)
{
    m_interrupted = false;
    return read(response, true, maxMs);
}

QCoro::Task<ImapConnection::Read> ImapConnection::read(ImapResponse& response, bool idle, int maxMs)
{
    // Idle: no deadline until a response begins; the timer then measures the
    // wait's end instead of the server's silence.
    bool idleWait = idle && m_parser.pendingBytes() == 0;
    if (idleWait)
        startTimer(maxMs);
    else
        m_timer.stop();
    for (;;) {
        if (m_parser.hasResponse()) {
            m_timer.stop();
            response = m_parser.take();
            m_responseClock.start();
            co_return Read::Response;
        }
        if (m_parser.failed()) {
            m_timer.stop();
            fail(ImapClient::ErrorProtocol, m_parser.error());
            co_return Read::Failed;
        }
        if (m_open) {
            const QByteArray data = m_transport->readAvailable();
            if (!data.isEmpty()) {
                m_parser.feed(data);
                if (idleWait) {
                    if (m_parser.pendingBytes() > 0) {
                        idleWait = false;
                        m_responseClock.start();
                        startTimer(m_responseTimeoutMs);
                    }
                } else {
                    // The timeout measures silence, not the length of the response.
                    startTimer(m_responseTimeoutMs);
                }
                continue;
            }
        }
        if (m_linkDown) {
            m_timer.stop();
            // The end of an idle wait is no silence of the server.
            if (idleWait) m_timedOut = false;
            recordLinkFailure();
            co_return Read::Failed;
        }
        if (idleWait) {
            if (m_timedOut || m_interrupted) {
                m_timer.stop();
                m_timedOut = false;
                m_interrupted = false;
                co_return Read::Interrupted;
            }
        } else {
            if (m_timedOut) {
                recordLinkFailure();
                co_return Read::Failed;
            }
            if (tooSlow()) {
                m_timer.stop();
                co_return Read::Failed;
            }
            if (!m_timer.isActive()) startTimer(m_responseTimeoutMs);
        }
        co_await nextEvent();
    }
}

// --- Connecting -------------------------------------------------------------

QCoro::Task<bool> ImapConnection::waitForLink(bool encrypted, int timeoutMs)
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
                fail(ImapClient::ErrorCertificate, m_certificateError);
            else if (!m_connected)
                fail(ImapClient::ErrorConnect, m_linkError);
            else
                fail(ImapClient::ErrorTls, u"The secure connection failed: %1"_s.arg(m_linkError));
            co_return false;
        }
        if (m_timedOut) {
            m_timedOut = false;
            if (!m_connected) {
                fail(ImapClient::ErrorConnectTimeout,
                     u"Could not connect to %1 port %2 within %3 s"_s.arg(
                         m_host, QString::number(m_port), QString::number((timeoutMs + 999) / 1000)));
            } else {
                fail(ImapClient::ErrorTimeout, u"The server stopped answering during the TLS handshake"_s);
            }
            co_return false;
        }
        co_await nextEvent();
    }
}

} // namespace orvella::imap
