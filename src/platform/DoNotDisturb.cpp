#include "platform/DoNotDisturb.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

namespace {
constexpr auto Service = u"org.freedesktop.Notifications";
constexpr auto Path = u"/org/freedesktop/Notifications";
constexpr auto Properties = u"org.freedesktop.DBus.Properties";
constexpr char GnomeSchema[] = "org.gnome.desktop.notifications";
constexpr char GnomeKey[] = "show-banners";

bool gnomeDesktop()
{
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':');
    return desktops.contains(u"GNOME"_s, Qt::CaseInsensitive);
}
} // namespace

DoNotDisturb::DoNotDisturb(QObject* parent) : DoNotDisturb(QDBusConnection::sessionBus(), parent)
{
}

DoNotDisturb::DoNotDisturb(const QDBusConnection& bus, QObject* parent) : QObject(parent), m_bus(bus)
{
}

DoNotDisturb::~DoNotDisturb()
{
    if (m_gnome) {
        g_signal_handlers_disconnect_by_data(m_gnome, this);
        g_object_unref(m_gnome);
    }
    if (m_listening)
        m_bus.disconnect(QString(), QString::fromUtf16(Path), QString::fromUtf16(Properties),
                         u"PropertiesChanged"_s, this,
                         SLOT(PropertiesChanged(QString, QVariantMap, QStringList)));
}

void DoNotDisturb::start()
{
    watchGnome();
    if (!m_bus.isConnected()) return;
    // No sender named: Qt would ask the bus for the server's owner with a
    // blocking call.
    m_listening = m_bus.connect(QString(), QString::fromUtf16(Path), QString::fromUtf16(Properties),
                                u"PropertiesChanged"_s, this,
                                SLOT(PropertiesChanged(QString, QVariantMap, QStringList)));
    auto* watcher = new QDBusServiceWatcher(QString::fromUtf16(Service), m_bus,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                if (newOwner.isEmpty())
                    set(false);
                else
                    ask();
            });
    ask();
}

void DoNotDisturb::ask()
{
    QDBusMessage get = QDBusMessage::createMethodCall(QString::fromUtf16(Service), QString::fromUtf16(Path),
                                                      QString::fromUtf16(Properties), u"Get"_s);
    get << QString::fromUtf16(Service) << u"Inhibited"_s;
    auto* reply = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        // A server without the property (GNOME Shell, xfce4-notifyd) answers
        // with an error: never in Do Not Disturb as far as this can tell.
        const QDBusPendingReply<QDBusVariant> r = *w;
        set(r.isValid() && r.value().variant().toBool());
    });
}

void DoNotDisturb::PropertiesChanged(const QString& interface, const QVariantMap& changed,
                                     const QStringList& invalidated)
{
    if (interface != QString::fromUtf16(Service)) return;
    if (changed.contains(u"Inhibited"_s))
        set(changed.value(u"Inhibited"_s).toBool());
    else if (invalidated.contains(u"Inhibited"_s))
        ask();
}

void DoNotDisturb::set(bool inhibited)
{
    const bool was = active();
    m_inhibited = inhibited;
    if (active() != was) Q_EMIT changed(active());
}

// Only on GNOME: elsewhere the schema may be installed all the same, and
// GSettings without the desktop's backend warns on every start.
void DoNotDisturb::watchGnome()
{
    if (m_gnome || !gnomeDesktop()) return;
    // Made without a check, a missing schema would abort the process.
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, GnomeSchema, TRUE) : nullptr;
    if (!schema) return;
    const bool hasKey = g_settings_schema_has_key(schema, GnomeKey);
    g_settings_schema_unref(schema);
    if (!hasKey) return;
    GSettings* settings = g_settings_new(GnomeSchema);
    m_gnome = settings;
    g_signal_connect(settings, "changed::show-banners", G_CALLBACK(&DoNotDisturb::bannersChanged), this);
    setBannersOff(!g_settings_get_boolean(settings, GnomeKey));
}

void DoNotDisturb::bannersChanged(void* settings, char*, void* self)
{
    static_cast<DoNotDisturb*>(self)->setBannersOff(
        !g_settings_get_boolean(static_cast<GSettings*>(settings), GnomeKey));
}

void DoNotDisturb::setBannersOff(bool off)
{
    const bool was = active();
    m_bannersOff = off;
    if (active() != was) Q_EMIT changed(active());
}

} // namespace orvella::platform
