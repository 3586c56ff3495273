#include "platform/Keyring.h"

#include <QCoro/QCoroSignal>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QMap>
#include <memory>
#include <qt6keychain/keychain.h>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

namespace {

using Status = Keyring::Status;

// A job is deleted only after its finished signal has returned: the
// coroutine resumes inside that signal.
struct LaterDeleter
{
    void operator()(QObject* o) const { o->deleteLater(); }
};
template <typename Job> using JobPtr = std::unique_ptr<Job, LaterDeleter>;

Keyring::Reply replyOf(const QKeychain::Job& job)
{
    Keyring::Reply r;
    r.message = job.errorString();
    switch (job.error()) {
    case QKeychain::NoError:
        r.status = Status::Ok;
        break;
    case QKeychain::EntryNotFound:
        r.status = Status::NotFound;
        break;
    case QKeychain::AccessDenied:
    case QKeychain::AccessDeniedByUser:
        r.status = Status::Locked;
        break;
    // Libsecret reports a missing Secret Service ("The name
    // org.freedesktop.secrets was not provided by any .service files") and a
    // missing session bus as OtherError too: all of it means no keyring answered.
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
    case QKeychain::OtherError:
        r.status = Status::Unavailable;
        break;
    default:
        r.status = Status::Failed;
        break;
    }
    return r;
}

Keyring::Reply noSessionBus()
{
    return {Status::Unavailable, QString(), u"there is no session bus"_s};
}

// A locked Secret Service whose unlock prompt is dismissed (or cannot be
// shown) makes the lookup answer "not found". The service's own search tells
// the two apart without a prompt: a locked entry is listed as locked.
QCoro::Task<bool> lockedEntryExists(QString key)
{
    static const QMetaType registered = qDBusRegisterMetaType<QMap<QString, QString>>();
    Q_UNUSED(registered);
    QDBusMessage call =
        QDBusMessage::createMethodCall(u"org.freedesktop.secrets"_s, u"/org/freedesktop/secrets"_s,
                                       u"org.freedesktop.Secret.Service"_s, u"SearchItems"_s);
    // The keyring that answered "not found" is running; another one (a
    // Secret Service beside KWallet) is not started for this question.
    call.setAutoStartService(false);
    const QMap<QString, QString> attributes{{u"server"_s, QString::fromUtf16(Keyring::Service)},
                                            {u"user"_s, key}};
    call << QVariant::fromValue(attributes);
    auto watcher =
        std::make_unique<QDBusPendingCallWatcher>(QDBusConnection::sessionBus().asyncCall(call, 5000));
    co_await qCoro(watcher.get(), &QDBusPendingCallWatcher::finished);
    const QDBusMessage reply = watcher->reply();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2) co_return false;
    const auto locked = qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().at(1));
    co_return !locked.isEmpty();
}

class DesktopKeyring final : public Keyring
{
public:
    QCoro::Task<Reply> read(QString key) override
    {
        if (!QDBusConnection::sessionBus().isConnected()) co_return noSessionBus();
        JobPtr<QKeychain::ReadPasswordJob> job(new QKeychain::ReadPasswordJob(QString::fromUtf16(Service)));
        job->setAutoDelete(false);
        job->setKey(key);
        // start() only queues the job, so the signal cannot come before the wait.
        job->start();
        co_await qCoro(job.get(), &QKeychain::Job::finished);
        Reply r = replyOf(*job);
        if (r.ok())
            r.password = job->textData();
        else if (r.status == Status::NotFound && co_await lockedEntryExists(key))
            r.status = Status::Locked;
        co_return r;
    }

    QCoro::Task<Reply> write(QString key, QString password) override
    {
        if (!QDBusConnection::sessionBus().isConnected()) co_return noSessionBus();
        JobPtr<QKeychain::WritePasswordJob> job(new QKeychain::WritePasswordJob(QString::fromUtf16(Service)));
        job->setAutoDelete(false);
        job->setKey(key);
        job->setTextData(password);
        job->start();
        co_await qCoro(job.get(), &QKeychain::Job::finished);
        co_return replyOf(*job);
    }

    QCoro::Task<Reply> remove(QString key) override
    {
        if (!QDBusConnection::sessionBus().isConnected()) co_return noSessionBus();
        JobPtr<QKeychain::DeletePasswordJob> job(
            new QKeychain::DeletePasswordJob(QString::fromUtf16(Service)));
        job->setAutoDelete(false);
        job->setKey(key);
        job->start();
        co_await qCoro(job.get(), &QKeychain::Job::finished);
        co_return replyOf(*job);
    }
};

Keyring*& installed()
{
    static Keyring* keyring = nullptr;
    return keyring;
}

} // namespace

Keyring& Keyring::instance()
{
    if (Keyring* k = installed()) return *k;
    static DesktopKeyring desktop;
    return desktop;
}

void Keyring::install(Keyring* keyring)
{
    installed() = keyring;
}

} // namespace orvella::platform
