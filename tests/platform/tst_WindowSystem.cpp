// The window system chosen before the application object exists: XWayland
// wherever an X server is there, whatever the session's Qt variable asks,
// unless the program's own variable says otherwise.
#include "platform/WindowSystem.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using orvella::platform::chooseQtPlatform;
using orvella::platform::WindowSystemEnvironment;

class tst_WindowSystem : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void choice_data();
    void choice();
};

void tst_WindowSystem::choice_data()
{
    QTest::addColumn<QString>("own");
    QTest::addColumn<QString>("qt");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("expected"); // empty: QT_QPA_PLATFORM is left as it is

    QTest::newRow("X11 session") << QString() << QString() << u":0"_s << u"xcb"_s;
    QTest::newRow("Wayland session with XWayland") << QString() << QString() << u":1"_s << u"xcb"_s;
    QTest::newRow("session asks for wayland") << QString() << u"wayland"_s << u":1"_s << u"xcb"_s;
    QTest::newRow("session asks for wayland, then xcb")
        << QString() << u"wayland;xcb"_s << u":1"_s << u"xcb"_s;
    QTest::newRow("wayland-egl with options") << QString() << u"wayland-egl:foo=1"_s << u":1"_s << u"xcb"_s;
    QTest::newRow("Wayland in capitals") << QString() << u"Wayland"_s << u":1"_s << u"xcb"_s;
    QTest::newRow("xcb first stays") << QString() << u"xcb;wayland"_s << u":1"_s << QString();
    QTest::newRow("offscreen stays") << QString() << u"offscreen"_s << u":1"_s << QString();
    QTest::newRow("blank list is no choice") << QString() << u" ; "_s << u":1"_s << u"xcb"_s;
    QTest::newRow("no X server: native") << QString() << u"wayland"_s << QString() << QString();
    QTest::newRow("no X server, nothing set") << QString() << QString() << QString() << QString();
    QTest::newRow("own variable: wayland") << u"wayland"_s << u"xcb"_s << u":1"_s << u"wayland"_s;
    QTest::newRow("own variable without X server") << u"wayland"_s << QString() << QString() << u"wayland"_s;
    QTest::newRow("own variable trimmed") << u" xcb "_s << u"wayland"_s << u":1"_s << u"xcb"_s;
    QTest::newRow("blank own variable is none") << u"  "_s << u"wayland"_s << u":1"_s << u"xcb"_s;
}

void tst_WindowSystem::choice()
{
    QFETCH(QString, own);
    QFETCH(QString, qt);
    QFETCH(QString, display);
    QFETCH(QString, expected);
    QCOMPARE(chooseQtPlatform(WindowSystemEnvironment{own, qt, display}), expected);
}

QTEST_APPLESS_MAIN(tst_WindowSystem)
#include "tst_WindowSystem.moc"
