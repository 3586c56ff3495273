#include "core/net/MailSocketTransport.h"

namespace orvella {

MailSocketTransport::MailSocketTransport(QObject* parent) : IMailTransport(parent)
{
}

MailSocketTransport::~MailSocketTransport()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void MailSocketTransport::dropSocket()
{
    if (!m_socket) return;
    // The old socket may be the sender of the signal we are running in:
    // silence it now, delete it from the event loop.
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
}

void MailSocketTransport::connectToHost(const QString& host, quint16 port, bool implicitTls)
{
    // A fresh socket per connection: a QSslSocket that once ran TLS keeps
    // state (mode, session, ignored errors) a plain reconnect must not inherit.
    dropSocket();
    auto* socket = new QSslSocket(this);
    m_socket = socket;
    socket->setReadBufferSize(ReadBufferSize);
    connect(socket, &QSslSocket::connected, this, &IMailTransport::connected);
    connect(socket, &QSslSocket::encrypted, this, &IMailTransport::encrypted);
    connect(socket, &QSslSocket::readyRead, this, &IMailTransport::readyRead);
    connect(socket, &QSslSocket::disconnected, this, &IMailTransport::disconnected);
    connect(socket, &QSslSocket::sslErrors, this, &IMailTransport::sslErrors);
    connect(socket, &QAbstractSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError) { Q_EMIT errorOccurred(socket->errorString()); });
    if (implicitTls)
        socket->connectToHostEncrypted(host, port);
    else
        socket->connectToHost(host, port);
}

void MailSocketTransport::startTls()
{
    if (m_socket) m_socket->startClientEncryption();
}

void MailSocketTransport::write(const QByteArray& data)
{
    if (m_socket) m_socket->write(data);
}

QByteArray MailSocketTransport::readAvailable()
{
    return m_socket ? m_socket->readAll() : QByteArray();
}

void MailSocketTransport::disconnectFromHost()
{
    if (m_socket) m_socket->disconnectFromHost();
}

void MailSocketTransport::abort()
{
    dropSocket();
}

bool MailSocketTransport::isEncrypted() const
{
    return m_socket && m_socket->isEncrypted();
}

QList<QSslCertificate> MailSocketTransport::peerCertificateChain() const
{
    return m_socket ? m_socket->peerCertificateChain() : QList<QSslCertificate>();
}

void MailSocketTransport::ignoreSslErrors()
{
    if (m_socket) m_socket->ignoreSslErrors();
}

} // namespace orvella
