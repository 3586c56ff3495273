#include "core/pop3/Pop3SocketTransport.h"

namespace orvella {

Pop3SocketTransport::Pop3SocketTransport(QObject* parent) : IPop3Transport(parent)
{
}

Pop3SocketTransport::~Pop3SocketTransport()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void Pop3SocketTransport::dropSocket()
{
    if (!m_socket) return;
    // The old socket may be the sender of the signal we are running in:
    // silence it now, delete it from the event loop.
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
}

void Pop3SocketTransport::connectToHost(const QString& host, quint16 port, bool implicitTls)
{
    // A fresh socket per connection: a QSslSocket that once ran TLS keeps
    // state (mode, session, ignored errors) a plain reconnect must not inherit.
    dropSocket();
    auto* socket = new QSslSocket(this);
    m_socket = socket;
    socket->setReadBufferSize(ReadBufferSize);
    connect(socket, &QSslSocket::connected, this, &IPop3Transport::connected);
    connect(socket, &QSslSocket::encrypted, this, &IPop3Transport::encrypted);
    connect(socket, &QSslSocket::readyRead, this, &IPop3Transport::readyRead);
    connect(socket, &QSslSocket::disconnected, this, &IPop3Transport::disconnected);
    connect(socket, &QSslSocket::sslErrors, this, &IPop3Transport::sslErrors);
    connect(socket, &QAbstractSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError) { Q_EMIT errorOccurred(socket->errorString()); });
    if (implicitTls)
        socket->connectToHostEncrypted(host, port);
    else
        socket->connectToHost(host, port);
}

void Pop3SocketTransport::startTls()
{
    if (m_socket) m_socket->startClientEncryption();
}

void Pop3SocketTransport::write(const QByteArray& data)
{
    if (m_socket) m_socket->write(data);
}

QByteArray Pop3SocketTransport::readAvailable()
{
    return m_socket ? m_socket->readAll() : QByteArray();
}

void Pop3SocketTransport::disconnectFromHost()
{
    if (m_socket) m_socket->disconnectFromHost();
}

void Pop3SocketTransport::abort()
{
    dropSocket();
}

bool Pop3SocketTransport::isEncrypted() const
{
    return m_socket && m_socket->isEncrypted();
}

QList<QSslCertificate> Pop3SocketTransport::peerCertificateChain() const
{
    return m_socket ? m_socket->peerCertificateChain() : QList<QSslCertificate>();
}

void Pop3SocketTransport::ignoreSslErrors()
{
    if (m_socket) m_socket->ignoreSslErrors();
}

} // namespace orvella
