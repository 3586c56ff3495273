#pragma once

#include "core/net/IMailTransport.h"

#include <QPointer>
#include <QSslSocket>

namespace orvella {

// The real transport: a QSslSocket verifying certificates against the
// system's trust store, with the peer name set to the host the user typed.
class MailSocketTransport final : public IMailTransport
{
    Q_OBJECT
public:
    explicit MailSocketTransport(QObject* parent = nullptr);
    ~MailSocketTransport() override;

    // Received data the socket holds before it stops reading from the network:
    // a slow consumer then slows the server down through TCP instead of
    // filling memory.
    static constexpr qint64 ReadBufferSize = 512 * 1024;

    void connectToHost(const QString& host, quint16 port, bool implicitTls) override;
    void startTls() override;
    void write(const QByteArray& data) override;
    QByteArray readAvailable() override;
    void disconnectFromHost() override;
    void abort() override;
    bool isEncrypted() const override;
    QList<QSslCertificate> peerCertificateChain() const override;
    void ignoreSslErrors() override;

private:
    void dropSocket();

    QPointer<QSslSocket> m_socket;
};

} // namespace orvella
