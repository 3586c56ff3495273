#include "support/NotificationServer.h"

#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace orvella::test {

namespace {
const QString Name = u"org.freedesktop.Notifications"_s;
const QString Path = u"/org/freedesktop/Notifications"_s;

QDBusConnection ownConnection()
{
    // A connection apart from the program's own: the server and the program
    // meet on the bus as two parties, as on a desktop.
    static int n = 0;
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                         u"notification-server-"_s + QString::number(++n));
}
} // namespace

NotificationServer::NotificationServer(const QStringList& caps) : capabilities(caps), m_bus(ownConnection())
{
    m_registered = m_bus.isConnected() &&
                   m_bus.registerObject(
                       Path, this, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties) &&
                   m_bus.registerService(Name);
}

NotificationServer::~NotificationServer()
{
    if (m_registered) {
        m_bus.unregisterService(Name);
        m_bus.unregisterObject(Path);
    }
    QDBusConnection::disconnectFromBus(m_bus.name());
}

void NotificationServer::setInhibited(bool inhibited)
{
    m_inhibited = inhibited;
    QDBusMessage changed =
        QDBusMessage::createSignal(Path, u"org.freedesktop.DBus.Properties"_s, u"PropertiesChanged"_s);
    changed << Name << QVariantMap{{u"Inhibited"_s, inhibited}} << QStringList();
    m_bus.send(changed);
}

bool NotificationServer::waitForNotices(int count, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return notices.size() >= count; }, timeoutMs);
}

uint NotificationServer::Notify(const QString& appName, uint replacesId, const QString& icon,
                                const QString& summary, const QString& body, const QStringList& actions,
                                const QVariantMap& hints, int timeout)
{
    const uint id = replacesId != 0 ? replacesId : m_nextId++;
    notices.append({appName, replacesId, icon, summary, body, actions, hints, timeout, id});
    return id;
}

QStringList NotificationServer::GetCapabilities() const
{
    return capabilities;
}

void NotificationServer::CloseNotification(uint id)
{
    closed.append(id);
}

QString NotificationServer::GetServerInformation(QString& vendor, QString& version,
                                                 QString& specVersion) const
{
    vendor = u"Orvella tests"_s;
    version = u"1"_s;
    specVersion = u"1.2"_s;
    return u"test-server"_s;
}

void NotificationServer::invokeAction(uint id, const QString& action)
{
    QDBusMessage signal = QDBusMessage::createSignal(Path, Name, u"ActionInvoked"_s);
    signal << id << action;
    m_bus.send(signal);
}

} // namespace orvella::test
