#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>

namespace orvella::test {

// logind as far as sleep goes: org.freedesktop.login1 on a bus of the test's
// own (the private session bus standing in for the system bus: the program
// reaches it through DBUS_SYSTEM_BUS_ADDRESS), which announces the computer
// going to sleep and waking with PrepareForSleep(true / false).
class FakeLogind
{
public:
    explicit FakeLogind(const QString& address)
        : m_bus(QDBusConnection::connectToBus(address, QStringLiteral("fake-logind")))
    {
        m_registered = m_bus.isConnected() && m_bus.registerService(QStringLiteral("org.freedesktop.login1"));
    }
    ~FakeLogind() { QDBusConnection::disconnectFromBus(m_bus.name()); }
    FakeLogind(const FakeLogind&) = delete;
    FakeLogind& operator=(const FakeLogind&) = delete;

    bool registered() const { return m_registered; }
    bool prepareForSleep(bool start)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                         QStringLiteral("org.freedesktop.login1.Manager"),
                                                         QStringLiteral("PrepareForSleep"));
        signal << start;
        return m_bus.send(signal);
    }

private:
    QDBusConnection m_bus;
    bool m_registered = false;
};

} // namespace orvella::test
