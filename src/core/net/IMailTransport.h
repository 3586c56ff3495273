#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

namespace orvella {

// The byte stream under a mail session (POP3 or IMAP): a TCP connection that
// can start TLS at once (POP3S, IMAPS) or later (STLS, STARTTLS). The real one
// is MailSocketTransport on QSslSocket; tests use a scripted server
// (tests/support/ScriptedTransport).
//
// Everything is asynchronous: calls return at once and the outcome arrives as
// a signal on the owner's thread. Nothing here ever waits.
class IMailTransport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~IMailTransport() override = default;

    // Starts a new connection, dropping any earlier one. With implicitTls the
    // TLS handshake follows the TCP connection straight away, and encrypted()
    // (not connected()) says the connection is usable.
    virtual void connectToHost(const QString& host, quint16 port, bool implicitTls) = 0;
    // Starts the TLS handshake on the open connection (after the server agreed
    // to STLS or STARTTLS).
    virtual void startTls() = 0;
    virtual void write(const QByteArray& data) = 0;
    // Everything received and not read yet. A transport may hold back more
    // than it hands out at once; it emits readyRead() again when more arrives.
    virtual QByteArray readAvailable() = 0;
    // Flushes what was written, then closes.
    virtual void disconnectFromHost() = 0;
    // Closes at once, dropping unsent data. Emits nothing.
    virtual void abort() = 0;
    virtual bool isEncrypted() const = 0;
    // The server's certificate first, then its issuers, as the server sent them.
    virtual QList<QSslCertificate> peerCertificateChain() const = 0;
    // Accepts the certificate problems just reported; only valid while a
    // slot connected to sslErrors() runs (the handshake waits for it).
    virtual void ignoreSslErrors() = 0;

Q_SIGNALS:
    void connected();
    void encrypted();
    // The handshake found these problems; unless ignoreSslErrors() is called
    // from a slot on this signal, the handshake fails and errorOccurred follows.
    void sslErrors(const QList<QSslError>& errors);
    void readyRead();
    // A failure in the system's own words ("Connection refused",
    // "Host not found", "The remote host closed the connection").
    void errorOccurred(const QString& description);
    // The connection is gone, whoever ended it (not emitted by abort()).
    void disconnected();
};

} // namespace orvella
