#pragma once

// The private Dovecot that tests/scripts/dovecot-start.sh runs for the tests
// (CTest fixture "dovecot"), seen from C++: where it listens, its users and
// certificate, and delivery into its Maildirs. Header-only so benchmarks can
// use it without the test support library.

#include "core/pop3/Pop3Client.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QThread>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace orvella::test {

class DovecotFixture
{
public:
    // Where the CTest fixture keeps the instance of this build tree.
    static QString defaultDir()
    {
        const QString build = qEnvironmentVariable("ORVELLA_TEST_BUILD_DIR");
        return build.isEmpty() ? QString() : build + QStringLiteral("/test-services/dovecot");
    }

    // Reads <dir>/dovecot.env; nullopt with *error set when it is missing.
    static std::optional<DovecotFixture> load(const QString& dir = defaultDir(), QString* error = nullptr)
    {
        QFile f(dir + QStringLiteral("/dovecot.env"));
        if (dir.isEmpty() || !f.open(QIODevice::ReadOnly)) {
            if (error)
                *error = QStringLiteral("%1 is missing: the Dovecot fixture did not run (dovecot-start.sh)")
                             .arg(f.fileName());
            return std::nullopt;
        }
        DovecotFixture d;
        d.dir = dir;
        for (const QByteArray& raw : f.readAll().split('\n')) {
            const qsizetype eq = raw.indexOf('=');
            if (eq <= 0) continue;
            QString value = QString::fromUtf8(raw.mid(eq + 1)).trimmed();
            if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
                value = value.mid(1, value.size() - 2);
            d.m_env.insert(QString::fromUtf8(raw.left(eq)), value);
        }
        d.host = d.m_env.value(QStringLiteral("DOVECOT_HOST"));
        d.pop3Port = d.m_env.value(QStringLiteral("DOVECOT_POP3_PORT")).toInt();
        d.pop3sPort = d.m_env.value(QStringLiteral("DOVECOT_POP3S_PORT")).toInt();
        d.oauthPort = d.m_env.value(QStringLiteral("DOVECOT_OAUTH_PORT")).toInt();
        d.imapPort = d.m_env.value(QStringLiteral("DOVECOT_IMAP_PORT")).toInt();
        d.imapsPort = d.m_env.value(QStringLiteral("DOVECOT_IMAPS_PORT")).toInt();
        d.certSha256 = d.m_env.value(QStringLiteral("DOVECOT_CERT_SHA256"));
        d.certFile = d.m_env.value(QStringLiteral("DOVECOT_CERT_FILE"));
        d.users = d.m_env.value(QStringLiteral("DOVECOT_USERS")).split(u' ', Qt::SkipEmptyParts);
        d.uid = d.m_env.value(QStringLiteral("DOVECOT_UID")).toInt();
        d.gid = d.m_env.value(QStringLiteral("DOVECOT_GID")).toInt();
        if (d.host.isEmpty() || d.pop3Port <= 0 || d.pop3sPort <= 0 || d.users.isEmpty()) {
            if (error) *error = QStringLiteral("%1 is incomplete").arg(f.fileName());
            return std::nullopt;
        }
        return d;
    }

    QString password(const QString& user) const
    {
        return m_env.value(QStringLiteral("DOVECOT_PASSWORD_") + user);
    }
    // The password of user on the POP3S port: its own for a user whose
    // password depends on the port (keyring4), else the same as on POP3.
    QString pop3sPassword(const QString& user) const
    {
        const QString own = m_env.value(QStringLiteral("DOVECOT_POP3S_PASSWORD_") + user);
        return own.isEmpty() ? password(user) : own;
    }
    QString maildir(const QString& user) const
    {
        return m_env.value(QStringLiteral("DOVECOT_MAILDIR_") + user);
    }

    // Account settings for user: plain port, "None" security unless changed.
    PopServerSettings settings(const QString& user) const
    {
        PopServerSettings s;
        s.host = host;
        s.port = pop3Port;
        s.user = user;
        s.password = password(user);
        s.security = QStringLiteral("None");
        s.connectTimeoutMs = 10000;
        s.responseTimeoutMs = 20000;
        return s;
    }

    // Delivers messages in order (POP3 numbers them in this order). CR LF
    // becomes LF as in any Maildir; Dovecot sends CR LF again.
    bool deliver(const QString& user, const QList<QByteArray>& messages) const
    {
        const QString box = maildir(user);
        if (box.isEmpty()) return false;
        // Dovecot orders new mail by the time in the name, then by the
        // microseconds after "M": a counter there keeps delivery order.
        static qint64 counter = 0;
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        for (const QByteArray& message : messages) {
            QByteArray data = message;
            data.replace("\r\n", "\n");
            const QString name = QStringLiteral("%1.M%2P%3.orvella")
                                     .arg(now)
                                     .arg(++counter, 6, 10, QLatin1Char('0'))
                                     .arg(QCoreApplication::applicationPid());
            const QString tmp = box + QStringLiteral("/tmp/") + name;
            QFile f(tmp);
            if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) return false;
            f.close();
            const QByteArray native = QFile::encodeName(tmp);
            if (::chown(native.constData(), uid_t(uid), gid_t(gid)) != 0 ||
                ::chmod(native.constData(), 0600) != 0)
                return false;
            if (!QFile::rename(tmp, box + QStringLiteral("/new/") + name)) return false;
        }
        return true;
    }

    // Removes every message of user, and Dovecot's index of them. Meant for
    // when no session of that user is open; a session that just logged off
    // may still be writing its index for a moment, so this retries briefly.
    bool clear(const QString& user) const
    {
        const QString box = maildir(user);
        if (box.isEmpty()) return false;
        for (int attempt = 0; attempt < 50; ++attempt) {
            if (clearOnce(box)) return true;
            QThread::msleep(20);
        }
        return false;
    }

    QString dir;
    QString host;
    int pop3Port = 0;
    int pop3sPort = 0;
    // Where Dovecot's oauth2 passdb asks whether an access token is good
    // (POST /introspect on 127.0.0.1); a test that signs in with a token runs
    // the introspection server there. Nothing listens there otherwise, and
    // Dovecot answers every token sign-in with -ERR [SYS/TEMP].
    int oauthPort = 0;
    int imapPort = 0;
    int imapsPort = 0;
    QString certSha256; // "AA:BB:..." upper case
    QString certFile;
    QStringList users;
    int uid = 0;
    int gid = 0;

private:
    static bool clearOnce(const QString& box)
    {
        QDir dir(box);
        for (const QFileInfo& entry :
             dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
            const QString name = entry.fileName();
            if (entry.isDir() && (name == u"cur" || name == u"new" || name == u"tmp")) {
                QDir sub(entry.filePath());
                for (const QString& file : sub.entryList(QDir::Files | QDir::Hidden))
                    sub.remove(file);
            } else if (entry.isDir()) {
                QDir(entry.filePath()).removeRecursively();
            } else {
                dir.remove(name);
            }
        }
        // Done when only the three empty folders are left.
        const QStringList left = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        if (left.size() != 3) return false;
        for (const QString& sub : left) {
            if (!QDir(box + u'/' + sub).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
                return false;
        }
        return true;
    }

    QHash<QString, QString> m_env;
};

} // namespace orvella::test
