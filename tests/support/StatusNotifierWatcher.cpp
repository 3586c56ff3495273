#include "support/StatusNotifierWatcher.h"

using namespace Qt::Literals::StringLiterals;

namespace orvella::test {

namespace {
const QString Name = u"org.kde.StatusNotifierWatcher"_s;
const QString Path = u"/StatusNotifierWatcher"_s;
} // namespace

StatusNotifierWatcher::StatusNotifierWatcher()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"status-notifier-watcher"_s))
{
    m_registered = m_bus.isConnected() &&
                   m_bus.registerObject(Path, this,
                                        QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                            QDBusConnection::ExportAllProperties) &&
                   m_bus.registerService(Name);
}

StatusNotifierWatcher::~StatusNotifierWatcher()
{
    if (m_registered) {
        m_bus.unregisterService(Name);
        m_bus.unregisterObject(Path);
    }
    QDBusConnection::disconnectFromBus(m_bus.name());
}

void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString& service)
{
    items << service;
    Q_EMIT StatusNotifierItemRegistered(service);
}

void StatusNotifierWatcher::RegisterStatusNotifierHost(const QString&)
{
    Q_EMIT StatusNotifierHostRegistered();
}

} // namespace orvella::test
