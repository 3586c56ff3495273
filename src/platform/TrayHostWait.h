#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>

namespace orvella::platform {

// Waits at log-in for a panel that shows tray icons.
//
// Qt decides once for the whole run, when the first tray icon is made,
// whether the desktop shows icons through a StatusNotifierItem host
// (org.kde.StatusNotifierWatcher on the session bus: Plasma, GNOME with the
// AppIndicator extension, XFCE, waybar) or through the older XEmbed tray. A
// program started with the session often asks before the panel is up, gets
// the XEmbed answer, and its icon never shows on a desktop that has no XEmbed
// tray. So the icon is made once a host is there, an XEmbed tray is there, or
// the wait is over, whichever comes first; the event loop runs meanwhile.
class TrayHostWait : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        StatusNotifierHost, // the watcher is there and has a host
        XEmbedTray,         // an X11 notification area is there
        NoSessionBus,       // no host can come
        TimeUp,
    };

    explicit TrayHostWait(QObject* parent = nullptr);
    ~TrayHostWait() override;

    // Starts the wait; ready() follows once, never from inside start().
    void start(std::chrono::milliseconds limit);
    bool waiting() const { return m_waiting; }

    // How long a start with the session waits: a minute, or the seconds of
    // ORVELLA_TRAY_WAIT.
    static std::chrono::milliseconds limit();

Q_SIGNALS:
    void ready(orvella::platform::TrayHostWait::Outcome outcome);

private Q_SLOTS:
    // The watcher's signal, which only a string-named slot receives.
    void onHostRegistered();

private:
    void finish(Outcome outcome);
    void askWatcher();
    void askHostRegistered();
    void pollXEmbed();

    QTimer m_deadline;
    QTimer m_xembedPoll;
    bool m_waiting = false;
    bool m_hostSignalConnected = false;
};

} // namespace orvella::platform
