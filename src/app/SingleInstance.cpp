#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <algorithm>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

SingleInstance::SingleInstance(QObject* parent) : QObject(parent)
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName()
{
    QString dir = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) dir = QDir::tempPath();
    return dir + u"/Orvella Tray-"_s + QString::number(::getuid());
}

// Runs before the event loop, while nothing of this process is on screen, so
// the blocking waits cannot freeze a window.
SingleInstance::Forward SingleInstance::forward(const QString& command)
{
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(3000)) {
        // Only a socket file with no process behind it is free to take over:
        // connecting is refused (or there is no file). A connection that
        // merely does not complete has a process behind it, busy or stopped.
        const auto error = socket.error();
        return error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError
                   ? Forward::NoInstance
                   : Forward::Silent;
    }
    socket.write((command + u'\n').toUtf8());
    // The running instance answers once it has taken the command; one that
    // is still starting or busy answers later, so the wait is long, and the
    // command is sent once only.
    QDeadlineTimer deadline(answerWaitMs);
    QDeadlineTimer patience(3000);
    bool told = false;
    while (!socket.canReadLine() && !deadline.hasExpired()) {
        if (socket.state() != QLocalSocket::ConnectedState) break;
        if (!told && patience.hasExpired()) {
            told = true;
            if (waiting) waiting();
        }
        socket.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 500)));
    }
    if (socket.canReadLine()) {
        m_reply = QString::fromUtf8(socket.readLine(4096)).trimmed();
        return Forward::Answered;
    }
    // Closed without an answer: the instance ended meanwhile.
    return socket.state() == QLocalSocket::ConnectedState ? Forward::Silent : Forward::NoInstance;
}

SingleInstance::Outcome SingleInstance::claimOrForward(const QString& command)
{
    // Two starts at the same moment must not both become the running
    // instance: deciding and listening happen under one lock.
    QLockFile lock(serverName() + u".lock"_s);
    lock.setStaleLockTime(10000);
    lock.tryLock(5000);

    Forward result = Forward::NoInstance;
    // An instance that ends while it is asked leaves a refusing socket behind:
    // asked again, it is found gone.
    for (int attempt = 0; attempt < 2; ++attempt) {
        result = forward(command);
        if (result != Forward::NoInstance) break;
        if (!QFileInfo::exists(serverName())) break;
    }
    if (result == Forward::Answered) return Outcome::Forwarded;
    if (result == Forward::Silent) return Outcome::Unanswered;

    // Nobody listens: whatever socket file is left belongs to a dead process.
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
                if (!command.isEmpty() && commandHandler) reason = commandHandler(command);
                reason.replace(u'\n', u' ');
                socket->write(reason.isEmpty() ? QByteArray("ok\n") : (reason + u'\n').toUtf8());
                socket->flush();
            }
            // A peer that never ends its line is not worth memory.
            if (socket->bytesAvailable() > 4096) socket->abort();
        });
    }
}

} // namespace orvella
