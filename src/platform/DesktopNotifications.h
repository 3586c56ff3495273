#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

class QDBusPendingCallWatcher;

namespace orvella::platform {

// Notices through the desktop's notification server (org.freedesktop.
// Notifications on the session bus: GNOME Shell, Plasma, xfce4-notifyd,
// dunst, mako). Every call is asynchronous, so a slow server never holds up
// the window; without a server nothing shows and nothing fails.
//
// A notice is shown in a named slot: the next notice of the slot replaces
// it on the screen instead of standing beside it.
class DesktopNotifications : public QObject
{
    Q_OBJECT
public:
    struct Notice
    {
        QString summary;
        QString body; // plain text; escaped for servers that read markup
        // Key and label of each button; left out where the server offers none.
        QList<std::pair<QString, QString>> actions;
        QString icon;     // an icon name of the desktop's theme
        QString category; // "email.arrived", ...
    };

    // The session bus, or another (tests).
    explicit DesktopNotifications(QObject* parent = nullptr);
    DesktopNotifications(const QDBusConnection& bus, QObject* parent);
    ~DesktopNotifications() override;

    void show(const QString& slot, const Notice& notice);
    // Takes the slot's notice off the screen.
    void close(const QString& slot);

    // The server's number of the slot's last notice; 0 before the first.
    uint notificationId(const QString& slot) const { return m_slots.value(slot).id; }
    // Notices being sent.
    bool busy() const;

Q_SIGNALS:
    // The user chose an action (a button, or the notice itself: "default").
    void actionInvoked(const QString& slot, const QString& action);
    // A notice went to the server, or could not.
    void sent(const QString& slot, bool shown);

private Q_SLOTS:
    void ActionInvoked(uint id, const QString& action);

private:
    struct Slot
    {
        uint id = 0;                   // the server's number for the slot's last notice
        std::optional<Notice> waiting; // the next notice, sent when the one on its way is answered
        bool sending = false;
    };
    void sendNext(const QString& slot);
    void notify(const QString& slot, const Notice& notice, const QStringList& capabilities);
    QString slotOf(uint id) const;

    QDBusConnection m_bus;
    QHash<QString, Slot> m_slots;
};

} // namespace orvella::platform
