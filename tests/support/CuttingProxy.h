#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace orvella::test {

// A TCP proxy on loopback in front of a real server. Armed, it forwards the
// server's answers only up to the n-th occurrence of a marker and then drops
// both connections, as a network failure halfway through an answer would.
class CuttingProxy : public QObject
{
public:
    CuttingProxy(const QString& host, quint16 port) : m_host(host), m_port(port)
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, &CuttingProxy::accept);
    }
    quint16 port() const { return m_server.serverPort(); }
    // The next connection is cut just before the n-th marker from the server.
    void cutBefore(const QByteArray& marker, int n)
    {
        m_marker = marker;
        m_cutAt = n;
    }
    int cuts() const { return m_cuts; }

private:
    void accept()
    {
        QTcpSocket* client = m_server.nextPendingConnection();
        auto* upstream = new QTcpSocket(client);
        const QByteArray marker = std::exchange(m_marker, {});
        const int cutAt = std::exchange(m_cutAt, 0);
        auto seen = std::make_shared<int>(0);
        auto pending = std::make_shared<QByteArray>();
        connect(client, &QTcpSocket::readyRead, upstream,
                [client, upstream] { upstream->write(client->readAll()); });
        connect(upstream, &QTcpSocket::readyRead, client,
                [this, client, upstream, marker, cutAt, seen, pending] {
                    QByteArray data = upstream->readAll();
                    if (marker.isEmpty()) {
                        client->write(data);
                        return;
                    }
                    // Markers may straddle two reads: keep the tail that could begin one.
                    *pending += data;
                    qsizetype from = 0;
                    while (true) {
                        const qsizetype at = pending->indexOf(marker, from);
                        if (at < 0) break;
                        if (++*seen == cutAt) {
                            client->write(pending->left(at));
                            client->flush();
                            ++m_cuts;
                            upstream->abort();
                            client->abort();
                            return;
                        }
                        from = at + marker.size();
                    }
                    // Hold back only a tail that could be the start of a marker.
                    qsizetype keep = std::min<qsizetype>(pending->size() - from, marker.size() - 1);
                    while (keep > 0 && !marker.startsWith(pending->right(keep)))
                        --keep;
                    client->write(pending->left(pending->size() - keep));
                    pending->remove(0, pending->size() - keep);
                });
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        connect(upstream, &QTcpSocket::disconnected, client, [client] { client->disconnectFromHost(); });
        upstream->connectToHost(m_host, m_port);
    }

    QTcpServer m_server;
    QString m_host;
    quint16 m_port;
    QByteArray m_marker;
    int m_cutAt = 0;
    int m_cuts = 0;
};

} // namespace orvella::test
