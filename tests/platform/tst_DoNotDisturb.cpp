// Do Not Disturb as the desktop tells it: the notification server's
// Inhibited property on a private session bus (read at the start, followed
// as it changes, gone with the server), and GNOME's show-banners setting
// (through GSettings' in-memory backend, read only on GNOME).
#include "platform/DoNotDisturb.h"
#include "support/NotificationServer.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>

#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

using namespace Qt::Literals::StringLiterals;
using orvella::platform::DoNotDisturb;
using orvella::test::NotificationServer;

class tst_DoNotDisturb : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void followsTheServersInhibited();
    void gnomeBanners_data();
    void gnomeBanners();
};

void tst_DoNotDisturb::initTestCase()
{
    // Before GSettings is first used in this process.
    qputenv("GSETTINGS_BACKEND", "memory");
}

void tst_DoNotDisturb::followsTheServersInhibited()
{
    qputenv("XDG_CURRENT_DESKTOP", "KDE");
    auto server = std::make_unique<NotificationServer>();
    QVERIFY2(server->registered(), "run on a private session bus (SESSION_BUS)");
    server->setInhibited(true);

    DoNotDisturb dnd;
    QSignalSpy changed(&dnd, &DoNotDisturb::changed);
    QVERIFY(!dnd.active());
    dnd.start();
    // Already inhibited when the program starts.
    QTRY_VERIFY(dnd.active());
    server->setInhibited(false);
    QTRY_VERIFY(!dnd.active());
    server->setInhibited(true);
    QTRY_VERIFY(dnd.active());
    QCOMPARE(changed.count(), 3);
    // The server ends (a desktop restarting its shell): nothing silences the program.
    server.reset();
    QTRY_VERIFY(!dnd.active());
    // A new one that is not inhibited is asked again.
    server = std::make_unique<NotificationServer>();
    QTest::qWait(300);
    QVERIFY(!dnd.active());
}

void tst_DoNotDisturb::gnomeBanners_data()
{
    QTest::addColumn<QByteArray>("desktop");
    QTest::addColumn<bool>("followed");
    QTest::newRow("GNOME") << QByteArray("GNOME") << true;
    QTest::newRow("Ubuntu's GNOME") << QByteArray("ubuntu:GNOME") << true;
    QTest::newRow("XFCE leaves it alone") << QByteArray("XFCE") << false;
}

void tst_DoNotDisturb::gnomeBanners()
{
    QFETCH(QByteArray, desktop);
    QFETCH(bool, followed);
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema =
        source ? g_settings_schema_source_lookup(source, "org.gnome.desktop.notifications", TRUE) : nullptr;
    if (!schema) QSKIP("GNOME's notification schema is not installed (gsettings-desktop-schemas)");
    g_settings_schema_unref(schema);
    qputenv("XDG_CURRENT_DESKTOP", desktop);
    GSettings* gnome = g_settings_new("org.gnome.desktop.notifications");
    g_settings_set_boolean(gnome, "show-banners", FALSE);

    // No notification server at all: the setting alone decides.
    DoNotDisturb dnd(QDBusConnection(u"none"_s), nullptr);
    dnd.start();
    QCOMPARE(dnd.active(), followed);
    g_settings_set_boolean(gnome, "show-banners", TRUE);
    QTRY_VERIFY(!dnd.active());
    g_settings_set_boolean(gnome, "show-banners", FALSE);
    if (followed)
        QTRY_VERIFY(dnd.active());
    else
        QVERIFY(!QTest::qWaitFor([&] { return dnd.active(); }, 300));
    g_settings_set_boolean(gnome, "show-banners", TRUE);
    g_object_unref(gnome);
}

QTEST_GUILESS_MAIN(tst_DoNotDisturb)
#include "tst_DoNotDisturb.moc"
