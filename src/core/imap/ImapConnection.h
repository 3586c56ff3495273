#pragma once

#include "core/imap/ImapParser.h"
#include "core/imap/ImapResponse.h"
#include "core/net/IMailTransport.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <coroutine>
#include <memory>

namespace orvella::imap {

// The link under an IMAP session: the transport, the server's responses as
// the parser completes them, and what keeps a server from holding a session
// for ever: time-outs on connecting and on silence, a pace every response must
// keep, and the parser's limits on lines and literals. What goes wrong is
// recorded as a failure (the first is the cause) with an ImapClient::ErrorCode
// and words for the user; ImapClient reports it.
//
// Reads suspend the calling coroutine until the transport has news; they
// resume from the event loop, never inside a transport signal. One coroutine
// reads at a time.
class ImapConnection : public QObject
{
    Q_OBJECT
public:
    struct Failure
    {
        int code = 0;
        QString description;
    };
    enum class Read {
        Response,    // a response was taken
        Failed,      // the failure is recorded
        Interrupted, // interrupt() or the idle wait's end came first
    };

    explicit ImapConnection(std::unique_ptr<IMailTransport> transport, QObject* parent = nullptr);
    ~ImapConnection() override;

    // Drops any earlier connection and its failure, then connects. trusted:
    // a normalized SHA-256 fingerprint of a certificate to accept anyway.
    void open(const QString& host, quint16 port, bool implicitTls, const QByteArray& trusted);
    // Until the connection (encrypted: the TLS handshake) is up; false with
    // the failure recorded when it fails or takes longer than timeoutMs.
    QCoro::Task<bool> waitForLink(bool encrypted, int timeoutMs);
    void startTls();
    // Bytes received and not taken as responses yet.
    bool hasUnreadData();
    // Writes a command line (or a continuation) and its CR LF.
    void send(const QByteArray& line);
    void close(const QString& why = {});
    void closeGracefully();
    bool isOpen() const { return m_open; }
    bool isEncrypted() const { return m_open && m_transport->isEncrypted(); }
    bool isBroken() const { return m_linkDown || m_timedOut || m_parser.failed(); }
    QString rejectedCertificate() const { return m_rejectedCertificate; }
    void clearRejectedCertificate() { m_rejectedCertificate.clear(); }

    void setResponseTimeout(int ms) { m_responseTimeoutMs = ms; }
    int responseTimeout() const { return m_responseTimeoutMs; }
    void setKeepLimit(qint64 bytes) { m_parser.setKeepLimit(bytes); }
    void setStreamLimit(qint64 bytes) { m_parser.setStreamLimit(bytes); }

    // The next response within the deadlines.
    QCoro::Task<Read> next(ImapResponse& response);
    // The next response with no deadline until its first byte: for IDLE.
    // Ends Interrupted after maxMs or when interrupt() is called; a response
    // begun by then is still read, within the deadlines.
    QCoro::Task<Read> nextWhileIdle(ImapResponse& response, int maxMs);
    // Ends the idle wait (from any slot; the wait resumes from the event loop).
    void interrupt();

    void fail(int code, const QString& description);
    void protocolFailure(const QString& what, const QByteArray& line);
    // A NO or BAD: the code from its response code, else fallbackCode.
    void failFromServer(const ImapResponse& response, int fallbackCode);
    bool mustClose() const { return m_mustClose; }
    Failure takeFailure();

private:
    struct Wake
    {
        ImapConnection* connection;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> h) noexcept { connection->m_waiter = h; }
        void await_resume() const noexcept {}
    };
    Wake nextEvent() { return Wake{this}; }
    void wake();
    void resumeWaiter();
    void startTimer(int ms);
    QCoro::Task<Read> read(ImapResponse& response, bool idle, int maxMs);
    bool tooSlow();
    void recordLinkFailure();

    void onConnected();
    void onEncrypted();
    void onReadyRead();
    void onDisconnected();
    void onErrorOccurred(const QString& description);
    void onSslErrors(const QList<QSslError>& errors);

    std::unique_ptr<IMailTransport> m_transport;
    ImapParser m_parser;
    QTimer m_timer;
    std::coroutine_handle<> m_waiter;
    bool m_resumeQueued = false;

    QString m_host;
    quint16 m_port = 0;
    QByteArray m_trusted;
    Failure m_failure;
    QString m_linkError;
    QString m_certificateError;
    QString m_rejectedCertificate;
    bool m_open = false;
    bool m_connected = false;
    bool m_encrypted = false;
    bool m_linkDown = false;
    bool m_timedOut = false;
    bool m_interrupted = false;
    bool m_mustClose = false;
    int m_responseTimeoutMs = 30000;
    QElapsedTimer m_responseClock; // since the last response ended or a command went out
};

} // namespace orvella::imap
