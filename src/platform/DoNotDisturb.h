#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

namespace orvella::platform {

// Whether the desktop is in Do Not Disturb: the notification server's
// "Inhibited" property (org.freedesktop.Notifications, as Plasma, dunst and
// mako offer it), followed through its PropertiesChanged signal and read
// again whenever a server comes; on GNOME, whose Shell does not offer the
// property, its setting org.gnome.desktop.notifications show-banners=false
// (through GSettings, which reads the setting from a local file and tells
// its changes through the GLib main loop Qt runs). Nothing here waits on the
// bus: the first answer comes when it comes, and until then (or without a
// server) the desktop is not in Do Not Disturb.
class DoNotDisturb : public QObject
{
    Q_OBJECT
public:
    // The session bus, or another (tests).
    explicit DoNotDisturb(QObject* parent = nullptr);
    DoNotDisturb(const QDBusConnection& bus, QObject* parent);
    ~DoNotDisturb() override;

    void start();
    bool active() const { return m_inhibited || m_bannersOff; }

Q_SIGNALS:
    void changed(bool active);

private Q_SLOTS:
    // The server's signal, which only a string-named slot receives.
    void PropertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated);

private:
    void ask();
    void set(bool inhibited);
    void watchGnome();
    void setBannersOff(bool off);
    static void bannersChanged(void* settings, char* key, void* self);

    QDBusConnection m_bus;
    bool m_inhibited = false;
    bool m_listening = false;
    bool m_bannersOff = false;
    void* m_gnome = nullptr; // GSettings of org.gnome.desktop.notifications
};

} // namespace orvella::platform
