// The About box: the program's name and version, and the link to the support
// page, by mouse and by keyboard; its opener keeps to one box.
#include "WindowShots.h"
#include "support/Widgets.h"

#include "core/settings/Program.h"
#include "gui/dialogs/AboutDialog.h"
#include "platform/Shell.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using orvella::test::child;
using namespace orvella;

class tst_AboutDialog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void nameAndVersion();
    void linkOpensSupportPage_data();
    void linkOpensSupportPage();
    void showAboutKeepsToOneBox();
    void fitsInEveryTheme();

private:
    QStringList m_opened;
};

void tst_AboutDialog::init()
{
    QCoreApplication::setApplicationName(u"Orvella"_s);
    QCoreApplication::setApplicationVersion(u"4.2.1"_s);
    Program().SupportURL = u"https://orvella.example/support"_s;
    m_opened.clear();
    platform::setShellRecorder(&m_opened);
}

void tst_AboutDialog::cleanup()
{
    platform::setShellRecorder(nullptr);
}

void tst_AboutDialog::nameAndVersion()
{
    AboutDialog dlg;
    QCOMPARE(dlg.windowTitle(), u"About Orvella"_s);
    QCOMPARE(child<QLabel>(&dlg, u"lblProductName"_s)->text(), u"Orvella 4.2.1"_s);
    QVERIFY(child<QLabel>(&dlg, u"lblEngine"_s)->text().contains(u"espeak-ng"_s));

    QCoreApplication::setApplicationVersion(QString());
    AboutDialog plain;
    QCOMPARE(child<QLabel>(&plain, u"lblProductName"_s)->text(), u"Orvella"_s);
}

void tst_AboutDialog::linkOpensSupportPage_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("opened");
    QTest::newRow("support page") << u"https://help.example.org/orvella"_s
                                  << u"https://help.example.org/orvella"_s;
    QTest::newRow("ampersand stays text")
        << u"https://example.org/?a=1&b=2"_s << u"https://example.org/?a=1&b=2"_s;
    QTest::newRow("none configured") << QString() << QString::fromUtf16(DefaultSupportURL);
}

void tst_AboutDialog::linkOpensSupportPage()
{
    QFETCH(QString, address);
    QFETCH(QString, opened);
    Program().SupportURL = address;
    AboutDialog dlg;
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QCOMPARE(QAccessible::queryAccessibleInterface(child<QPushButton>(&dlg, u"lblLink"_s))
                 ->text(QAccessible::Name),
             opened);
    QCOMPARE(
        QAccessible::queryAccessibleInterface(child<QPushButton>(&dlg, u"cmdOK"_s))->text(QAccessible::Name),
        u"OK"_s);
    QCOMPARE(QAccessible::queryAccessibleInterface(child<QPushButton>(&dlg, u"lblLink"_s))->role(),
             QAccessible::Button);

    // From the keyboard: OK has the focus, Shift+Tab reaches the link, Space opens it.
    QCOMPARE(QApplication::focusWidget(), child<QPushButton>(&dlg, u"cmdOK"_s));
    QTest::keyClick(child<QPushButton>(&dlg, u"cmdOK"_s), Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), child<QPushButton>(&dlg, u"lblLink"_s));
    QTest::keyClick(child<QPushButton>(&dlg, u"lblLink"_s), Qt::Key_Space);
    QCOMPARE(m_opened, QStringList{opened});
    QTest::mouseClick(child<QPushButton>(&dlg, u"lblLink"_s), Qt::LeftButton);
    QCOMPARE(m_opened, (QStringList{opened, opened}));
    QVERIFY(dlg.isVisible());
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QVERIFY(!dlg.isVisible());
}

void tst_AboutDialog::showAboutKeepsToOneBox()
{
    bool flagWhileOpen = false;
    int boxes = 0;
    QTimer::singleShot(100, this, [&] {
        auto* dlg = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
        QVERIFY(dlg);
        flagWhileOpen = QApplication::activeModalWidget() != nullptr;
        // The tray menu's About while the box shows.
        AboutDialog::ShowAbout(nullptr);
        for (QWidget* w : QApplication::topLevelWidgets())
            boxes += qobject_cast<AboutDialog*>(w) && w->isVisible();
        QVERIFY(QApplication::activeModalWidget());
        child<QPushButton>(dlg, u"cmdOK"_s)->click();
    });
    AboutDialog::ShowAbout(nullptr);
    QVERIFY(flagWhileOpen);
    QCOMPARE(boxes, 1);
    QVERIFY(!QApplication::activeModalWidget());
}

void tst_AboutDialog::fitsInEveryTheme()
{
    test::forEachTheme([&](const QString& suffix) {
        AboutDialog dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        test::verifyInside(&dlg);
        test::saveScreenshot(&dlg, u"about"_s + suffix);
    });
}

QTEST_MAIN(tst_AboutDialog)
#include "tst_AboutDialog.moc"
