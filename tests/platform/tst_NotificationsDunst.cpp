// The notices shown by a real notification server: dunst on a private X
// server and a private session bus. A check's notice replaces the one before
// on the screen instead of standing beside it, a reminder's stands apart,
// and text that looks like markup reaches it escaped. With
// ORVELLA_SCREENSHOT_DIR=<dir> the screen is saved there as well.
#include "core/reading/NewMailNotifier.h"
#include "core/reminders/Reminder.h"
#include "core/settings/Settings.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

namespace {

const char dunstrc[] = R"([global]
    font = DejaVu Sans 11
    width = 440
    origin = top-right
    offset = 20x20
    padding = 10
    horizontal_padding = 12
    frame_width = 1
    frame_color = "#7f8fa6"
    separator_height = 2
    format = "<b>%s</b>\n%b"
    markup = full
    show_indicators = yes
    icon_position = off
[urgency_normal]
    background = "#2f3542"
    foreground = "#f1f2f6"
    timeout = 0
)";

MailMessage mail(const QString& from, const QString& subject)
{
    MailMessage m;
    m.m_FullFrom = from;
    m.m_Subject = subject;
    m.m_ID = u'<' + subject + u"@test>"_s;
    return m;
}

QString dunstctl(const QStringList& args)
{
    QProcess p;
    p.start(u"dunstctl"_s, args);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

int displayed()
{
    return dunstctl({u"count"_s, u"displayed"_s}).toInt();
}

} // namespace

class tst_NotificationsDunst : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void replacedNotStacked();
    // Only with ORVELLA_SCREENSHOT_DIR: the buttons, which dunst keeps in a menu.
    void screenshotUnderXfce();

private:
    void screenshot(const QString& name);

    QTemporaryDir m_dir;
    QProcess m_dunst;
};

void tst_NotificationsDunst::initTestCase()
{
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run on a private session bus (SESSION_BUS)");
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run on an X server (XVFB)");
    QVERIFY2(!QStandardPaths::findExecutable(u"dunst"_s).isEmpty(),
             "dunst missing: scripts/install-deps --test");
    QFile config(m_dir.filePath(u"dunstrc"_s));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(dunstrc);
    config.close();
    m_dunst.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_dunst.start(u"dunst"_s, {u"-config"_s, config.fileName()});
    QVERIFY(m_dunst.waitForStarted());
    QVERIFY2(QTest::qWaitFor(
                 [] {
                     return QDBusConnection::sessionBus().interface()->isServiceRegistered(
                         u"org.freedesktop.Notifications"_s);
                 },
                 10000),
             "dunst did not take the notification service");
}

void tst_NotificationsDunst::cleanupTestCase()
{
    m_dunst.terminate();
    if (!m_dunst.waitForFinished(5000)) m_dunst.kill();
    m_dunst.waitForFinished(5000);
}

void tst_NotificationsDunst::screenshot(const QString& name)
{
    const QString folder = qEnvironmentVariable("ORVELLA_SCREENSHOT_DIR");
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    // The corner where dunst shows its notices.
    QProcess::execute(u"import"_s, {u"-window"_s, u"root"_s, u"-crop"_s, u"500x330+780+0"_s, u"+repage"_s,
                                    folder + u'/' + name + u".png"_s});
}

void tst_NotificationsDunst::replacedNotStacked()
{
    Settings settings(m_dir.path());
    const RuleList rules;
    platform::DesktopNotifications notifications;
    NewMailNotifier notifier(notifications, settings, rules);
    auto settled = [&] { return QTest::qWaitFor([&] { return !notifications.busy(); }, 5000); };

    notifier.NewMailArrived({mail(u"Ann Example <ann@example.test>"_s, u"Lunch on Friday?"_s)});
    QVERIFY(settled());
    QVERIFY(QTest::qWaitFor([] { return displayed() == 1; }, 5000));
    notifier.NewMailArrived({mail(u"\"Bob Stone\" <bob@example.test>"_s, u"Minutes of <Monday> & more"_s),
                             mail(u"Cleo <cleo@example.test>"_s, u"Re: Lunch on Friday?"_s),
                             mail(u"news@shop.example"_s, u"Spring catalogue"_s),
                             mail(u"Dan <dan@example.test>"_s, u"Photos"_s),
                             mail(u"Eve <eve@example.test>"_s, u"Tickets"_s)});
    QVERIFY(settled());
    QTest::qWait(300);
    QCOMPARE(displayed(), 1);
    screenshot(u"notification-new-mail"_s);

    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    notifications.show(Reminder::NotificationSlot(u"r1"_s),
                       Reminder::Notice(u"Call the dentist about Tuesday's appointment."_s,
                                        QDateTime(QDate(2024, 5, 6), QTime(16, 0))));
    QVERIFY(settled());
    QVERIFY(QTest::qWaitFor([] { return displayed() == 2; }, 5000));
    screenshot(u"notification-new-mail-and-reminder"_s);

    // What the server shows, read back from its history.
    dunstctl({u"close-all"_s});
    QVERIFY(QTest::qWaitFor([] { return displayed() == 0; }, 5000));
    const QJsonArray history = QJsonDocument::fromJson(dunstctl({u"history"_s}).toUtf8())
                                   .object()
                                   .value(u"data"_s)
                                   .toArray()
                                   .at(0)
                                   .toArray();
    QStringList summaries, bodies;
    for (const QJsonValue& v : history) {
        summaries << v[u"summary"_s][u"data"_s].toString();
        bodies << v[u"body"_s][u"data"_s].toString();
    }
    QVERIFY2(summaries.contains(u"5 New Messages"_s), qPrintable(summaries.join(u" | "_s)));
    QVERIFY2(summaries.contains(u"Reminder!"_s), qPrintable(summaries.join(u" | "_s)));
    QVERIFY2(!summaries.contains(u"1 New Message"_s), qPrintable(summaries.join(u" | "_s)));
    const QString mailBody = bodies.value(summaries.indexOf(u"5 New Messages"_s));
    // dunst reads markup; what it keeps is what it was sent, which it shows
    // as "Minutes of <Monday> & more".
    QVERIFY2(mailBody.contains(u"Bob Stone: Minutes of &lt;Monday&gt; &amp; more"_s), qPrintable(mailBody));
    QVERIFY2(mailBody.contains(u"and 2 more"_s), qPrintable(mailBody));
}

void tst_NotificationsDunst::screenshotUnderXfce()
{
    const QString xfce = u"/usr/lib/x86_64-linux-gnu/xfce4/notifyd/xfce4-notifyd"_s;
    if (qEnvironmentVariableIsEmpty("ORVELLA_SCREENSHOT_DIR") || !QFile::exists(xfce))
        QSKIP("screenshots only, with xfce4-notifyd installed");
    cleanupTestCase();
    QProcess notifyd;
    notifyd.start(xfce, {});
    QVERIFY(notifyd.waitForStarted());
    QVERIFY(QTest::qWaitFor(
        [] {
            return QDBusConnection::sessionBus().interface()->isServiceRegistered(
                u"org.freedesktop.Notifications"_s);
        },
        10000));
    Settings settings(m_dir.path());
    const RuleList rules;
    platform::DesktopNotifications notifications;
    NewMailNotifier notifier(notifications, settings, rules);
    notifier.NewMailArrived({mail(u"Ann Example <ann@example.test>"_s, u"Lunch on Friday?"_s),
                             mail(u"\"Bob Stone\" <bob@example.test>"_s, u"Minutes of <Monday> & more"_s)});
    QVERIFY(QTest::qWaitFor([&] { return !notifications.busy(); }, 5000));
    QTest::qWait(1500); // the notice fades in
    screenshot(u"notification-new-mail-xfce"_s);
    notifyd.terminate();
    notifyd.waitForFinished(5000);
}

QTEST_MAIN(tst_NotificationsDunst)
#include "tst_NotificationsDunst.moc"
