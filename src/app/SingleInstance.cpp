#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName()
{
    QString dir = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = QDir::tempPath();
    return dir + u"/Orvella Tray-"_s + QString::number(::getuid());
}

// Runs before the event loop, while nothing of this process is on screen, so
// the short blocking waits cannot freeze a window.
bool SingleInstance::forward(const QString& command, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write((command + u'\n').toUtf8());
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The running instance answers once it has taken the command.
    while (!socket.canReadLine()) {
        if (socket.state() != QLocalSocket::ConnectedState || !socket.waitForReadyRead(timeoutMs))
            break;
    }
    if (!socket.canReadLine())
        return false;
    m_reply = QString::fromUtf8(socket.readLine(4096)).trimmed();
    return true;
}

SingleInstance::Outcome SingleInstance::claimOrForward(const QString& command)
{
    // Two starts at the same moment must not both become the running
    // instance: deciding and listening happen under one lock.
    QLockFile lock(serverName() + u".lock"_s);
    lock.setStaleLockTime(10000);
    lock.tryLock(5000);

    if (forward(command, 3000))
        return Outcome::Forwarded;

    // Nobody answered: whatever socket file is left belongs to a dead process.
    QLocalServer::removeServer(serverName());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(serverName())) {
        qWarning("Orvella: cannot listen on %s: %s", qPrintable(serverName()),
                 qPrintable(m_server->errorString()));
        return Outcome::Failed;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    return Outcome::Listening;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const QString command = QString::fromUtf8(socket->readLine()).trimmed();
                QString reason;
                if (!command.isEmpty() && commandHandler)
                    reason = commandHandler(command);
                reason.replace(u'\n', u' ');
                socket->write(reason.isEmpty() ? QByteArray("ok\n") : (reason + u'\n').toUtf8());
                socket->flush();
            }
            // A peer that never ends its line is not worth memory.
            if (socket->bytesAvailable() > 4096)
                socket->abort();
        });
    }
}

} // namespace orvella
