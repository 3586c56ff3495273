#pragma once

// What the keyring tests look at from outside the program: the entry as
// libsecret's own tool reads it, what grep finds in the program folder, and
// the keyring locked through the Secret Service.

#include "core/mail/AccountPasswords.h"
#include "platform/Keyring.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QProcess>
#include <QTest>
#include <optional>

namespace orvella::test {

// The password the keyring holds under key for the service "Orvella"
// (QtKeychain's attributes "server" and "user"); empty when none.
inline QString keyringLookup(const QString& key)
{
    QProcess p;
    p.start(QStringLiteral("secret-tool"), {QStringLiteral("lookup"), QStringLiteral("server"),
                                            QStringLiteral("Orvella"), QStringLiteral("user"), key});
    if (!p.waitForFinished(10000)) return QStringLiteral("<secret-tool hung>");
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The files under folder that hold text (grep -r -F -l).
inline QStringList grepFolder(const QString& folder, const QString& text)
{
    QProcess p;
    p.start(QStringLiteral("grep"), {QStringLiteral("-r"), QStringLiteral("-F"), QStringLiteral("-l"),
                                     QStringLiteral("--"), text, folder});
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

// Locks the login keyring, as a screen lock or the user's "Lock" does.
inline bool lockKeyring()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"));
    call << QVariant::fromValue(
        QList<QDBusObjectPath>{QDBusObjectPath(QStringLiteral("/org/freedesktop/secrets/collection/login"))});
    return QDBusConnection::sessionBus().call(call).type() == QDBusMessage::ReplyMessage;
}

// Puts password into the keyring under key, as the program does.
inline bool keyringStore(const QString& key, const QString& password)
{
    std::optional<bool> stored;
    [](QString k, QString p, std::optional<bool>& out) -> QCoro::Task<> {
        out = (co_await platform::Keyring::instance().write(k, p)).ok();
    }(key, password, stored);
    return QTest::qWaitFor([&] { return stored.has_value(); }, 20000) && *stored;
}

// Waits until the keyring work of the last saves is done.
inline bool passwordsSettled(int timeoutMs = 20000)
{
    return QTest::qWaitFor([] { return !AccountPasswords::Busy(); }, timeoutMs);
}

} // namespace orvella::test
