// The message viewer: its caption and text, the keyboard, and the opener that
// shows only a message that loads.
#include "WindowShots.h"
#include "support/Widgets.h"

#include "core/message/MailMessage.h"
#include "core/settings/Program.h"
#include "gui/dialogs/ViewWindow.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using orvella::test::child;
using namespace orvella;

namespace {

MailMessage sample()
{
    MailMessage m;
    m.m_FullFrom = u"Ann Smith <ann@example.com>"_s;
    m.m_FullTo = u"me@example.com"_s;
    m.m_Subject = u"Garden party"_s;
    m.m_Content = u"Dear all,\r\nthe party is on Sunday.\r\n\r\n> quoted\r\nAnn\r\n"_s;
    m.m_ID = u"<1@example.com>"_s;
    return m;
}

} // namespace

class tst_ViewWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void captionAndText();
    void senderWithoutName_data();
    void senderWithoutName();
    void textIsReadOnlyAndKeyboardReachable();
    void viewMessageOpensOnlyWhatLoads_data();
    void viewMessageOpensOnlyWhatLoads();
    void fitsInEveryTheme();
};

void tst_ViewWindow::captionAndText()
{
    const MailMessage m = sample();
    QCOMPARE(ViewWindow::MessageText(m),
             u"From: Ann Smith\r\nSubject: Garden party\r\n\r\n"
             u"Dear all,\r\nthe party is on Sunday.\r\n\r\n> quoted\r\nAnn\r\n"_s);
    ViewWindow dlg(m);
    QCOMPARE(dlg.windowTitle(), u"Message from Ann Smith"_s);
    QCOMPARE(child<QPlainTextEdit>(&dlg, u"txtMessage"_s)->toPlainText(),
             u"From: Ann Smith\nSubject: Garden party\n\n"
             u"Dear all,\nthe party is on Sunday.\n\n> quoted\nAnn\n"_s);
}

void tst_ViewWindow::senderWithoutName_data()
{
    QTest::addColumn<QString>("fullFrom");
    QTest::addColumn<QString>("sender");
    QTest::newRow("address only") << u"<ann@example.com>"_s << u"ann@example.com"_s;
    QTest::newRow("no From") << QString() << u"unknown sender"_s;
}

void tst_ViewWindow::senderWithoutName()
{
    QFETCH(QString, fullFrom);
    QFETCH(QString, sender);
    MailMessage m = sample();
    m.m_FullFrom = fullFrom;
    ViewWindow dlg(m);
    QCOMPARE(dlg.windowTitle(), u"Message from "_s + sender);
    QVERIFY2(child<QPlainTextEdit>(&dlg, u"txtMessage"_s)
                 ->toPlainText()
                 .startsWith(u"From: "_s + sender + u"\nSubject: Garden party\n"_s),
             qPrintable(child<QPlainTextEdit>(&dlg, u"txtMessage"_s)->toPlainText()));
}

void tst_ViewWindow::textIsReadOnlyAndKeyboardReachable()
{
    MailMessage m = sample();
    for (int i = 0; i < 200; ++i)
        m.m_Content += u"Line %1 of a long message\r\n"_s.arg(i);
    ViewWindow dlg(m);
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QCOMPARE(QAccessible::queryAccessibleInterface(child<QPlainTextEdit>(&dlg, u"txtMessage"_s))
                 ->text(QAccessible::Name),
             u"Message"_s);
    QCOMPARE(
        QAccessible::queryAccessibleInterface(child<QPushButton>(&dlg, u"cmdOK"_s))->text(QAccessible::Name),
        u"OK"_s);

    // The text has the focus; typing changes nothing, the keys scroll it.
    QCOMPARE(QApplication::focusWidget(), child<QPlainTextEdit>(&dlg, u"txtMessage"_s));
    const QString before = child<QPlainTextEdit>(&dlg, u"txtMessage"_s)->toPlainText();
    QTest::keyClicks(child<QPlainTextEdit>(&dlg, u"txtMessage"_s), u"xyz"_s);
    QTest::keyClick(child<QPlainTextEdit>(&dlg, u"txtMessage"_s), Qt::Key_Delete);
    QCOMPARE(child<QPlainTextEdit>(&dlg, u"txtMessage"_s)->toPlainText(), before);
    QCOMPARE(child<QPlainTextEdit>(&dlg, u"txtMessage"_s)->verticalScrollBar()->value(), 0);
    QTest::keyClick(child<QPlainTextEdit>(&dlg, u"txtMessage"_s), Qt::Key_End, Qt::ControlModifier);
    QVERIFY(child<QPlainTextEdit>(&dlg, u"txtMessage"_s)->verticalScrollBar()->value() > 0);

    // Tab leaves the text for OK; Enter closes the window from either.
    QTest::keyClick(child<QPlainTextEdit>(&dlg, u"txtMessage"_s), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), child<QPushButton>(&dlg, u"cmdOK"_s));
    QTest::keyClick(child<QPushButton>(&dlg, u"cmdOK"_s), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), child<QPlainTextEdit>(&dlg, u"txtMessage"_s));
    QTest::keyClick(child<QPlainTextEdit>(&dlg, u"txtMessage"_s), Qt::Key_Return);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

void tst_ViewWindow::viewMessageOpensOnlyWhatLoads_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("opens");
    QTest::newRow("stored message") << u"stored"_s << true;
    QTest::newRow("file gone") << u"gone"_s << false;
    QTest::newRow("not a message file") << u"damaged"_s << false;
    QTest::newRow("no file named") << QString() << false;
}

void tst_ViewWindow::viewMessageOpensOnlyWhatLoads()
{
    QFETCH(QString, file);
    QFETCH(bool, opens);
    QTemporaryDir folder;
    Program().AppPath = folder.path();
    QString path;
    if (file == u"stored"_s) {
        MailMessage m = sample();
        QVERIFY(m.Save());
        path = m.Path();
    } else if (file == u"gone"_s) {
        path = folder.filePath(u"msg/20240101120000.tem"_s);
    } else if (file == u"damaged"_s) {
        path = folder.filePath(u"damaged.tem"_s);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\x01\x02 not a message");
    }

    bool flagWhileOpen = false;
    QString caption;
    QTimer::singleShot(100, this, [&] {
        if (auto* dlg = qobject_cast<ViewWindow*>(QApplication::activeModalWidget())) {
            flagWhileOpen = QApplication::activeModalWidget() != nullptr;
            caption = dlg->windowTitle();
            child<QPushButton>(dlg, u"cmdOK"_s)->click();
        }
    });
    QCOMPARE(ViewWindow::ViewMessage(path, nullptr), opens);
    QCOMPARE(flagWhileOpen, opens);
    QCOMPARE(caption, opens ? u"Message from Ann Smith"_s : QString());
    QVERIFY(!QApplication::activeModalWidget());
    QTest::qWait(150); // the timer fires while what it looks at still exists
}

void tst_ViewWindow::fitsInEveryTheme()
{
    MailMessage m = sample();
    m.m_Content = u"Dear all,\r\n\r\nthe garden party is on Sunday at three. Bring a chair if you have "
                  u"one to spare, and something for the table.\r\n\r\n"
                  u"> Shall we move it indoors if it rains?\r\n> Tom\r\n\r\n"
                  u"Yes: the hall is booked from two.\r\n\r\n-- \r\nAnn Smith\r\nGarden club secretary\r\n"_s;
    test::forEachTheme([&](const QString& suffix) {
        ViewWindow dlg(m);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        test::verifyInside(&dlg);
        test::saveScreenshot(&dlg, u"view"_s + suffix);
    });
}

QTEST_MAIN(tst_ViewWindow)
#include "tst_ViewWindow.moc"
