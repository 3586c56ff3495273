#include "platform/DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

namespace {

const QString Service = u"org.freedesktop.Notifications"_s;
const QString Path = u"/org/freedesktop/Notifications"_s;
const QString Interface = u"org.freedesktop.Notifications"_s;
// A server that does not answer within this is taken as none.
constexpr int CallTimeoutMs = 5000;

QString markupEscaped(QString text)
{
    // The markup servers read is a small XML subset; these three are all it
    // needs escaped, and an escaped quote would show as "&quot;" on some.
    text.replace(u'&', u"&amp;"_s);
    text.replace(u'<', u"&lt;"_s);
    text.replace(u'>', u"&gt;"_s);
    return text;
}

} // namespace

DesktopNotifications::DesktopNotifications(QObject* parent)
    : DesktopNotifications(QDBusConnection::sessionBus(), parent)
{
}

DesktopNotifications::DesktopNotifications(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_bus(bus)
{
    // Without a sender name: naming the service would make the bus library
    // ask for its owner while the window waits. The notice's number tells
    // ours apart.
    if (m_bus.isConnected())
        m_bus.connect(QString(), Path, Interface, u"ActionInvoked"_s, this,
                      SLOT(ActionInvoked(uint, QString)));
}

DesktopNotifications::~DesktopNotifications() = default;

void DesktopNotifications::show(const QString& slot, const Notice& notice)
{
    Slot& s = m_slots[slot];
    s.waiting = notice;
    if (!s.sending) sendNext(slot);
}

bool DesktopNotifications::busy() const
{
    for (const Slot& s : m_slots)
        if (s.sending || s.waiting) return true;
    return false;
}

// What a server can show differs (buttons, markup), so each notice first
// asks; the answer also tells whether a server runs at all.
void DesktopNotifications::sendNext(const QString& slot)
{
    Slot& s = m_slots[slot];
    if (!s.waiting) return;
    if (!m_bus.isConnected()) {
        s.waiting.reset();
        Q_EMIT sent(slot, false);
        return;
    }
    s.sending = true;
    const QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, u"GetCapabilities"_s);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, slot](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        Slot& s = m_slots[slot];
        if (!s.waiting) {
            s.sending = false;
            return;
        }
        if (reply.isError()) {
            // No server: the notice is dropped, and so is anything else waiting.
            s.waiting.reset();
            s.sending = false;
            Q_EMIT sent(slot, false);
            return;
        }
        const Notice notice = *std::exchange(s.waiting, std::nullopt);
        notify(slot, notice, reply.value());
    });
}

void DesktopNotifications::notify(const QString& slot, const Notice& notice, const QStringList& capabilities)
{
    QStringList actions;
    if (capabilities.contains(u"actions"_s))
        for (const auto& [key, label] : notice.actions)
            actions << key << label;
    QVariantMap hints;
    // The installed desktop entry: servers show the program's name and icon from it
    // and file the notice under the program's notification settings.
    hints.insert(u"desktop-entry"_s, QStringLiteral(ORVELLA_APP_ID));
    hints.insert(u"urgency"_s, QVariant::fromValue(uchar(1)));
    if (!notice.category.isEmpty()) hints.insert(u"category"_s, notice.category);
    const QString body = capabilities.contains(u"body-markup"_s) ? markupEscaped(notice.body) : notice.body;

    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, u"Notify"_s);
    call << u"Orvella"_s << m_slots.value(slot).id << notice.icon << notice.summary << body << actions
         << hints << qint32(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, slot](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        Slot& s = m_slots[slot];
        s.sending = false;
        if (!reply.isError()) s.id = reply.value();
        Q_EMIT sent(slot, !reply.isError());
        sendNext(slot);
    });
}

void DesktopNotifications::close(const QString& slot)
{
    Slot& s = m_slots[slot];
    s.waiting.reset();
    if (s.id == 0 || !m_bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, u"CloseNotification"_s);
    call << std::exchange(s.id, 0u);
    m_bus.asyncCall(call, CallTimeoutMs);
}

QString DesktopNotifications::slotOf(uint id) const
{
    for (auto it = m_slots.cbegin(); it != m_slots.cend(); ++it)
        if (it->id == id && id != 0) return it.key();
    return QString();
}

void DesktopNotifications::ActionInvoked(uint id, const QString& action)
{
    const QString slot = slotOf(id);
    if (!slot.isEmpty()) Q_EMIT actionInvoked(slot, action);
}

} // namespace orvella::platform
