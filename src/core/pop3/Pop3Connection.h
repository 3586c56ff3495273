#pragma once

#include "core/pop3/IPop3Transport.h"
#include "core/pop3/Pop3LineReader.h"
#include "core/pop3/Pop3Response.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <coroutine>
#include <memory>
#include <optional>

namespace orvella::pop3 {

// The link under a POP3 session: the transport, the lines of the server's
// answers, and everything that keeps a server from holding a session for
// ever: time-outs on connecting and on silence, a pace every answer must
// keep, and limits on the length of lines and answers. What goes wrong is
// recorded as a failure (the first one is the cause) with a code of
// Pop3Client::ErrorCode and a description for the user; Pop3Client reports it.
//
// Reads suspend the calling coroutine until the transport has news; they
// resume from the event loop, never inside a transport signal, so the caller
// may close or drop the connection. One coroutine reads at a time.
class Pop3Connection : public QObject
{
    Q_OBJECT
public:
    struct Failure
    {
        int code = 0;
        QString description;
    };
    // What a line is read as: each kind has its own length limit.
    enum class LineKind { Status, Header, Body };

    explicit Pop3Connection(std::unique_ptr<IPop3Transport> transport, QObject* parent = nullptr);
    ~Pop3Connection() override;

    // Drops any earlier connection and its failure, then connects. trusted:
    // a normalized SHA-256 fingerprint of a certificate to accept anyway.
    void open(const QString& host, quint16 port, bool implicitTls, const QByteArray& trusted);
    // Until the connection (encrypted: the TLS handshake) is up; false with
    // the failure recorded when it fails or takes longer than timeoutMs.
    QCoro::Task<bool> waitForLink(bool encrypted, int timeoutMs);
    void startTls();
    // Bytes received and not read yet (before a TLS handshake there must be none).
    bool hasUnreadData();
    void write(const QByteArray& data);
    void send(const QByteArray& command) { write(command + "\r\n"); }
    // Closes at once. A read in progress ends as a lost connection,
    // described by `why` unless the link failed already.
    void close(const QString& why = {});
    // Flushes what was written, then closes (after QUIT).
    void closeGracefully();
    bool isOpen() const { return m_open; }
    bool isEncrypted() const { return m_open && m_transport->isEncrypted(); }
    bool isBroken() const { return m_linkDown || m_timedOut; }
    // The fingerprint ("AA:BB:...") of the certificate the handshake of this
    // connection refused; empty when none was refused.
    QString rejectedCertificate() const { return m_rejectedCertificate; }
    void clearRejectedCertificate() { m_rejectedCertificate.clear(); }

    // The longest silence while an answer is awaited; after that long an
    // answer must also average Pop3Client::SlowestAnswerRate.
    void setResponseTimeout(int ms) { m_responseTimeoutMs = ms; }
    int responseTimeout() const { return m_responseTimeoutMs; }
    // The most an answer may bring without ending (see Pop3Client::setMaxStreamBytes).
    void setMaxStreamBytes(qint64 bytes) { m_maxStreamBytes = bytes; }
    qint64 maxStreamBytes() const { return m_maxStreamBytes; }

    // The next line of the answer; false when the link failed, timed out or
    // the line broke a limit (the failure is recorded).
    QCoro::Task<bool> nextLine(Line& line, LineKind kind = LineKind::Status);
    // A line already received, without suspending: nullopt when none is
    // complete, false when it broke a limit.
    std::optional<bool> takeBufferedLine(Line& line, LineKind kind);
    // The status line that begins an answer; garbage is a recorded protocol failure.
    QCoro::Task<bool> readStatus(Status& status);
    // The lines of a multi-line answer up to its ".", unstuffed; at most maxLines.
    QCoro::Task<bool> readDataLines(QList<QByteArray>& lines, int maxLines);
    // The rest of a multi-line answer after its status line, dropped.
    QCoro::Task<bool> skipDataLines(LineKind kind, qint64 maxLines);
    // The answer whose status line was just read is message n's, listed as
    // `listed` bytes: it may bring `limit` bytes at most, and the failures
    // name the message.
    void beginMessageAnswer(int n, std::optional<qint64> listed, qint64 limit);
    // Bytes of the answer read so far, line ends included.
    qint64 answerBytes() const { return m_answerBytes; }

    void fail(int code, const QString& description);
    void protocolFailure(const QString& what, const QByteArray& line);
    // A -ERR answer: the code from its response code, else fallbackCode.
    void failFromServer(const Status& status, int fallbackCode);
    // Texts that must never reach a failure's description (an access token
    // and what encodes it): a server that echoes them back finds them blanked.
    // Forgotten when the next connection opens.
    void setSecrets(const QStringList& secrets) { m_secrets = secrets; }
    // The failure leaves the session out of step: only closing helps.
    bool mustClose() const { return m_mustClose; }
    Failure takeFailure();

private:
    // Resumes the suspended read on the next event loop pass.
    struct Wake
    {
        Pop3Connection* connection;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> h) noexcept { connection->m_waiter = h; }
        void await_resume() const noexcept {}
    };
    Wake nextEvent() { return Wake{this}; }
    void wake();
    void resumeWaiter();
    void startTimer(int ms);

    void onConnected();
    void onEncrypted();
    void onReadyRead();
    void onDisconnected();
    void onErrorOccurred(const QString& description);
    void onSslErrors(const QList<QSslError>& errors);

    // A line of lineLength bytes (one complete, or the one still growing)
    // with answerBytes of its answer so far keeps the limits; else the failure is recorded.
    bool withinLimits(qint64 lineLength, qint64 answerBytes, LineKind kind);
    void recordLinkFailure();
    void lineTooLong(LineKind kind);
    void answerTooLong();
    bool answerTooSlow(qint64 pending);

    std::unique_ptr<IPop3Transport> m_transport;
    Pop3LineReader m_reader;
    QTimer m_timer;
    std::coroutine_handle<> m_waiter;
    bool m_resumeQueued = false;

    QString m_host;
    quint16 m_port = 0;
    QByteArray m_trusted;
    Failure m_failure;
    QStringList m_secrets;
    QString m_linkError;        // what the transport said when the link failed
    QString m_certificateError; // set when the handshake refused the certificate
    QString m_rejectedCertificate;
    bool m_open = false; // a connection was started and not closed by us
    bool m_connected = false;
    bool m_encrypted = false;
    bool m_linkDown = false;
    bool m_timedOut = false;
    bool m_mustClose = false;
    int m_responseTimeoutMs = 30000; // Pop3Client sets the account's own
    qint64 m_maxStreamBytes = qint64(1) << 30;

    QElapsedTimer m_answerClock; // since the answer being read began
    qint64 m_answerBytes = 0;
    qint64 m_answerLimit = 0;
    int m_answerMessage = 0; // the message that answer is (0: no message)
    std::optional<qint64> m_answerListed;
};

} // namespace orvella::pop3
