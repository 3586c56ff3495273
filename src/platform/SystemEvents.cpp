#include "platform/SystemEvents.h"

#include <QDBusConnection>
#include <QNetworkInformation>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

namespace {
constexpr auto LoginPath = u"/org/freedesktop/login1";
constexpr auto LoginManager = u"org.freedesktop.login1.Manager";
} // namespace

SystemEvents::SystemEvents(QObject* parent) : QObject(parent)
{
}

SystemEvents::~SystemEvents()
{
    if (m_listening)
        QDBusConnection::systemBus().disconnect(QString(), QString::fromUtf16(LoginPath),
                                                QString::fromUtf16(LoginManager), u"PrepareForSleep"_s, this,
                                                SLOT(PrepareForSleep(bool)));
}

void SystemEvents::start()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    // No sender named: Qt would ask the bus for logind's owner with a
    // blocking call. A signal of that name from anyone else could only bring
    // a check forward.
    if (bus.isConnected())
        m_listening = bus.connect(QString(), QString::fromUtf16(LoginPath), QString::fromUtf16(LoginManager),
                                  u"PrepareForSleep"_s, this, SLOT(PrepareForSleep(bool)));

    if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        if (QNetworkInformation* info = QNetworkInformation::instance()) {
            using R = QNetworkInformation::Reachability;
            const auto offline = [](R r) { return r == R::Disconnected || r == R::Local || r == R::Site; };
            m_wasOffline = offline(info->reachability());
            connect(info, &QNetworkInformation::reachabilityChanged, this, [this, offline](R r) {
                const bool wasOffline = std::exchange(m_wasOffline, offline(r));
                if (wasOffline && r == R::Online) Q_EMIT networkReturned();
            });
        }
    }
}

void SystemEvents::PrepareForSleep(bool start)
{
    if (start)
        Q_EMIT sleeping();
    else
        Q_EMIT woken();
}

} // namespace orvella::platform
