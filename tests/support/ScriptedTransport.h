#pragma once

#include "core/net/IMailTransport.h"

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QStringList>
#include <functional>

namespace orvella::test {

// A mail server (POP3 or IMAP) played from a script, for testing a client
// without a network. The script is a dialogue of server lines, the client lines they
// expect, and events:
//
//   S: +OK ready <1.2@host>   the server sends this line (CR LF added)
//   C: CAPA                   the client must send exactly this line now
//   !tls                      the client must start TLS here (after the server's yes to STLS/STARTTLS)
//   !drop                     the server closes the connection
//   !silence                  the server stops answering (and reading)
//
// and two ways of sending without end (the rest of the script is never reached):
//   endless(bytes)            bytes again and again, as fast as the client reads
//   trickle(bytes, ms)        one byte every ms milliseconds, bytes over and over
//
// After the script, a responder may answer every further client line (a
// mailbox of thousands of messages without writing out the dialogue).
//
// Everything is delivered from the event loop, never inside the client's own
// call, as a real socket does. A client line that differs from the script is
// recorded in failures() and ends the connection, so a test cannot hang on it.
class ScriptedTransport final : public IMailTransport
{
    Q_OBJECT
public:
    explicit ScriptedTransport(QObject* parent = nullptr);
    ~ScriptedTransport() override;

    // Appends lines in the form above ("S: ", "C: ", "!tls", "!drop",
    // "!silence"); blank lines are skipped.
    ScriptedTransport& script(const QByteArray& dialogue);
    ScriptedTransport& server(const QByteArray& line);
    // Bytes sent as they stand (no CR LF added): bare LFs, lines cut in two.
    ScriptedTransport& serverRaw(const QByteArray& bytes);
    ScriptedTransport& client(const QByteArray& line);
    ScriptedTransport& tls();
    ScriptedTransport& drop();
    ScriptedTransport& silence();
    ScriptedTransport& endless(const QByteArray& bytes);
    ScriptedTransport& trickle(const QByteArray& bytes, int intervalMs);

    // Answers each client line that comes after the script's last step: the
    // returned bytes are sent as they stand (CR LF included).
    std::function<QByteArray(const QByteArray& line)> responder;
    // Like a server whose socket buffers fill: while this many bytes it sent
    // are not read by the client, it neither sends more nor reads the
    // client's next line. 0: no limit.
    void setOutputLimit(qsizetype bytes) { m_outputLimit = bytes; }

    // The connection attempt fails with this error (e.g. "Connection refused").
    void refuseConnection(const QString& error);
    // The connection attempt never completes.
    void hangOnConnect();
    // The certificate every handshake presents, and the problems the
    // handshake finds with it (none: the system would trust it).
    void setCertificate(const QSslCertificate& certificate, const QList<QSslError::SslError>& problems);
    // Called with every write() of the client, before the script looks at it.
    std::function<void(const QByteArray&)> onWrite;
    // readAvailable() hands out at most this many bytes at a time.
    void setChunkSize(qsizetype bytes) { m_chunkSize = bytes; }

    // What the client did.
    QList<QByteArray> clientLines() const { return m_clientLines; }
    // Complete lines per write() call, in call order.
    QList<int> writeBatches() const { return m_writeBatches; }
    QStringList failures() const { return m_failures; }
    bool scriptFinished() const { return m_next >= m_steps.size(); }
    QString connectedHost() const { return m_host; }
    quint16 connectedPort() const { return m_port; }
    bool usedImplicitTls() const { return m_implicitTls; }
    int connectCount() const { return m_connectCount; }
    bool closedByClient() const { return m_closedByClient; }
    // Bytes the client has read so far, over all connections.
    qint64 bytesRead() const { return m_bytesRead; }

    // IMailTransport
    void connectToHost(const QString& host, quint16 port, bool implicitTls) override;
    void startTls() override;
    void write(const QByteArray& data) override;
    QByteArray readAvailable() override;
    void disconnectFromHost() override;
    void abort() override;
    bool isEncrypted() const override { return m_encrypted; }
    QList<QSslCertificate> peerCertificateChain() const override;
    void ignoreSslErrors() override { m_errorsIgnored = true; }

private:
    struct Step
    {
        enum Kind { Server, Client, Tls, Drop, Silence, Endless, Trickle } kind;
        QByteArray data;
        int intervalMs = 0;
    };

    void schedule();
    void pump();
    bool handshake();
    void serverCloses(const QString& error);
    void mismatch(const QString& what);
    void stream();
    bool outputFull() const { return m_outputLimit > 0 && m_incoming.size() >= m_outputLimit; }

    QList<Step> m_steps;
    qsizetype m_next = 0;
    QList<QByteArray> m_clientLines;
    QList<int> m_writeBatches;
    QList<QByteArray> m_unmatched; // client lines not yet checked against the script
    QByteArray m_partialClientLine;
    QByteArray m_incoming;
    QStringList m_failures;
    QSslCertificate m_certificate;
    QList<QSslError::SslError> m_problems;
    QString m_refusal;
    QString m_host;
    quint16 m_port = 0;
    qsizetype m_chunkSize = 0;
    qsizetype m_outputLimit = 0;
    qint64 m_bytesRead = 0;
    QByteArray m_streamBytes; // what an endless or trickling server sends
    qsizetype m_streamPos = 0;
    int m_trickleMs = 0; // 0: endless at full speed
    bool m_streaming = false;
    int m_connectCount = 0;
    int m_generation = 0; // bumps on every (re)connect or close: stale deliveries are dropped
    bool m_hang = false;
    bool m_implicitTls = false;
    bool m_open = false;
    bool m_connectedSent = false;
    bool m_tlsRequested = false;
    bool m_encrypted = false;
    bool m_errorsIgnored = false;
    bool m_silent = false;
    bool m_closedByClient = false;
    bool m_scheduled = false;
};

} // namespace orvella::test
