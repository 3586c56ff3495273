#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

namespace orvella::test {

// A panel's StatusNotifierWatcher (org.kde.StatusNotifierWatcher) on the
// test's private session bus, on a connection of its own, with a host
// registered: what Plasma, GNOME's AppIndicator extension or waybar offer a
// program's tray icon. It records the items that register.
class StatusNotifierWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
public:
    StatusNotifierWatcher();
    ~StatusNotifierWatcher() override;

    // False when the bus is missing or another watcher holds the name.
    bool registered() const { return m_registered; }
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList registeredItems() const { return items; }

    // The services (or paths) of the items that registered, in order.
    QStringList items;

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service);
    void RegisterStatusNotifierHost(const QString& service);

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    QDBusConnection m_bus;
    bool m_registered = false;
};

} // namespace orvella::test
