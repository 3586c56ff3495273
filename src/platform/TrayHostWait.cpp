#include "platform/TrayHostWait.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <cstdlib>

#include <xcb/xcb.h>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

namespace {

constexpr auto WatcherService = u"org.kde.StatusNotifierWatcher";
constexpr auto WatcherPath = u"/StatusNotifierWatcher";
constexpr auto WatcherInterface = u"org.kde.StatusNotifierWatcher";
constexpr std::chrono::seconds DefaultLimit{60};

// The owner of _NET_SYSTEM_TRAY_Sn, the selection an XEmbed notification
// area holds for screen n. Only on X11, and only this one round trip a second.
bool xembedTrayThere()
{
    if (!qGuiApp) return false;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c || xcb_connection_has_error(c)) return false;
    char* host = nullptr;
    int display = 0, screen = 0;
    if (!xcb_parse_display(nullptr, &host, &display, &screen)) screen = 0;
    std::free(host);
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, quint16(name.size()), name.constData()), nullptr);
    if (!atom) return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
    const bool there = owner && owner->owner != XCB_NONE;
    std::free(owner);
    std::free(atom);
    return there;
}

} // namespace

TrayHostWait::TrayHostWait(QObject* parent) : QObject(parent)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { finish(Outcome::TimeUp); });
    m_xembedPoll.setInterval(1000);
    connect(&m_xembedPoll, &QTimer::timeout, this, &TrayHostWait::pollXEmbed);
}

TrayHostWait::~TrayHostWait() = default;

std::chrono::milliseconds TrayHostWait::limit()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("ORVELLA_TRAY_WAIT", &ok);
    if (ok && seconds >= 0) return std::chrono::seconds(seconds);
    return DefaultLimit;
}

void TrayHostWait::start(std::chrono::milliseconds limit)
{
    m_waiting = true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) {
        QMetaObject::invokeMethod(
            this, [this] { finish(Outcome::NoSessionBus); }, Qt::QueuedConnection);
        return;
    }
    m_deadline.start(limit);
    m_xembedPoll.start();
    auto* watcher = new QDBusServiceWatcher(QString::fromUtf16(WatcherService), bus,
                                            QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, &TrayHostWait::askHostRegistered);
    askWatcher();
    QMetaObject::invokeMethod(this, &TrayHostWait::pollXEmbed, Qt::QueuedConnection);
}

void TrayHostWait::askWatcher()
{
    // Asked without waiting: a panel that is up already ends the wait at once.
    QDBusPendingCall call = QDBusConnection::sessionBus().interface()->asyncCall(
        u"NameHasOwner"_s, QString::fromUtf16(WatcherService));
    auto* reply = new QDBusPendingCallWatcher(call, this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<bool> r = *w;
        if (r.isValid() && r.value()) askHostRegistered();
    });
}

// The watcher may come up before the panel that hosts the icons registers
// with it, and Qt asks for a host.
void TrayHostWait::askHostRegistered()
{
    if (!m_waiting) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!m_hostSignalConnected) {
        // No service name: Qt would ask for its owner with a blocking call.
        m_hostSignalConnected =
            bus.connect(QString(), QString::fromUtf16(WatcherPath), QString::fromUtf16(WatcherInterface),
                        u"StatusNotifierHostRegistered"_s, this, SLOT(onHostRegistered()));
    }
    QDBusMessage get =
        QDBusMessage::createMethodCall(QString::fromUtf16(WatcherService), QString::fromUtf16(WatcherPath),
                                       u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << QString::fromUtf16(WatcherInterface) << u"IsStatusNotifierHostRegistered"_s;
    auto* reply = new QDBusPendingCallWatcher(bus.asyncCall(get), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusVariant> r = *w;
        if (r.isValid() && r.value().variant().toBool()) finish(Outcome::StatusNotifierHost);
    });
}

void TrayHostWait::onHostRegistered()
{
    finish(Outcome::StatusNotifierHost);
}

void TrayHostWait::pollXEmbed()
{
    if (m_waiting && xembedTrayThere()) finish(Outcome::XEmbedTray);
}

void TrayHostWait::finish(Outcome outcome)
{
    if (!m_waiting) return;
    m_waiting = false;
    m_deadline.stop();
    m_xembedPoll.stop();
    if (m_hostSignalConnected)
        QDBusConnection::sessionBus().disconnect(
            QString(), QString::fromUtf16(WatcherPath), QString::fromUtf16(WatcherInterface),
            u"StatusNotifierHostRegistered"_s, this, SLOT(onHostRegistered()));
    m_hostSignalConnected = false;
    Q_EMIT ready(outcome);
}

} // namespace orvella::platform
