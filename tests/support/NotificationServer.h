#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace orvella::test {

// A notification server (org.freedesktop.Notifications) on the test's private
// session bus, on a connection of its own, that records every notice it is
// sent and can press a notice's buttons as a user would.
class NotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
    // Do Not Disturb, as Plasma, dunst and mako tell it.
    Q_PROPERTY(bool Inhibited READ inhibited)
public:
    struct Notice
    {
        QString appName;
        uint replacesId = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions; // key, label, key, label, ...
        QVariantMap hints;
        int timeout = 0;
        uint id = 0; // the number the server gave it
    };

    explicit NotificationServer(const QStringList& capabilities = {QStringLiteral("actions"),
                                                                   QStringLiteral("body")});
    ~NotificationServer() override;

    // False when the bus is missing or another server holds the name.
    bool registered() const { return m_registered; }
    QList<Notice> notices;
    QList<uint> closed;
    QStringList capabilities;

    // Waits until count notices arrived.
    bool waitForNotices(int count, int timeoutMs = 5000) const;
    // The user pressed action on notice id.
    void invokeAction(uint id, const QString& action);
    bool inhibited() const { return m_inhibited; }
    // The user switched Do Not Disturb: the property changes and says so.
    void setInhibited(bool inhibited);

public Q_SLOTS:
    uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout);
    QStringList GetCapabilities() const;
    void CloseNotification(uint id);
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion) const;

private:
    QDBusConnection m_bus;
    bool m_registered = false;
    uint m_nextId = 1;
    bool m_inhibited = false;
};

} // namespace orvella::test
