// The message viewer: its caption and text, the keyboard, and the opener that
// shows only a message that loads.
#include "WindowShots.h"

#include "message/CMessage.h"
#include "settings/Program.h"
#include "ui/ModalDialogFlag.h"
#include "ui/frmView.h"

#include <QAccessible>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

namespace {

CMessage sample()
{
    CMessage m;
    m.m_FullFrom = u"Ann Smith <ann@example.com>"_s;
    m.m_FullTo = u"me@example.com"_s;
    m.m_Subject = u"Garden party"_s;
    m.m_Content = u"Dear all,\r\nthe party is on Sunday.\r\n\r\n> quoted\r\nAnn\r\n"_s;
    m.m_ID = u"<1@example.com>"_s;
    return m;
}

} // namespace

class tst_frmView : public QObject
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

void tst_frmView::captionAndText()
{
    const CMessage m = sample();
    QCOMPARE(frmView::MessageText(m), u"From: Ann Smith\r\nSubject: Garden party\r\n\r\n"
                                      u"Dear all,\r\nthe party is on Sunday.\r\n\r\n> quoted\r\nAnn\r\n"_s);
    frmView dlg(m);
    QCOMPARE(dlg.windowTitle(), u"Message from Ann Smith"_s);
    QCOMPARE(dlg.txtMessage->toPlainText(), u"From: Ann Smith\nSubject: Garden party\n\n"
                                            u"Dear all,\nthe party is on Sunday.\n\n> quoted\nAnn\n"_s);
}

void tst_frmView::senderWithoutName_data()
{
    QTest::addColumn<QString>("fullFrom");
    QTest::addColumn<QString>("sender");
    QTest::newRow("address only") << u"<ann@example.com>"_s << u"ann@example.com"_s;
    QTest::newRow("no From") << QString() << u"unknown sender"_s;
}

void tst_frmView::senderWithoutName()
{
    QFETCH(QString, fullFrom);
    QFETCH(QString, sender);
    CMessage m = sample();
    m.m_FullFrom = fullFrom;
    frmView dlg(m);
    QCOMPARE(dlg.windowTitle(), u"Message from "_s + sender);
    QVERIFY2(dlg.txtMessage->toPlainText().startsWith(u"From: "_s + sender + u"\nSubject: Garden party\n"_s),
             qPrintable(dlg.txtMessage->toPlainText()));
}

void tst_frmView::textIsReadOnlyAndKeyboardReachable()
{
    CMessage m = sample();
    for (int i = 0; i < 200; ++i)
        m.m_Content += u"Line %1 of a long message\r\n"_s.arg(i);
    frmView dlg(m);
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QCOMPARE(QAccessible::queryAccessibleInterface(dlg.txtMessage)->text(QAccessible::Name), u"Message"_s);
    QCOMPARE(QAccessible::queryAccessibleInterface(dlg.cmdOK)->text(QAccessible::Name), u"OK"_s);

    // The text has the focus; typing changes nothing, the keys scroll it.
    QCOMPARE(QApplication::focusWidget(), dlg.txtMessage);
    const QString before = dlg.txtMessage->toPlainText();
    QTest::keyClicks(dlg.txtMessage, u"xyz"_s);
    QTest::keyClick(dlg.txtMessage, Qt::Key_Delete);
    QCOMPARE(dlg.txtMessage->toPlainText(), before);
    QCOMPARE(dlg.txtMessage->verticalScrollBar()->value(), 0);
    QTest::keyClick(dlg.txtMessage, Qt::Key_End, Qt::ControlModifier);
    QVERIFY(dlg.txtMessage->verticalScrollBar()->value() > 0);

    // Tab leaves the text for OK; Enter closes the window from either.
    QTest::keyClick(dlg.txtMessage, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), dlg.cmdOK);
    QTest::keyClick(dlg.cmdOK, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), dlg.txtMessage);
    QTest::keyClick(dlg.txtMessage, Qt::Key_Return);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

void tst_frmView::viewMessageOpensOnlyWhatLoads_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("opens");
    QTest::newRow("stored message") << u"stored"_s << true;
    QTest::newRow("file gone") << u"gone"_s << false;
    QTest::newRow("not a message file") << u"damaged"_s << false;
    QTest::newRow("no file named") << QString() << false;
}

void tst_frmView::viewMessageOpensOnlyWhatLoads()
{
    QFETCH(QString, file);
    QFETCH(bool, opens);
    QTemporaryDir folder;
    Program().AppPath = folder.path();
    QString path;
    if (file == u"stored"_s) {
        CMessage m = sample();
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

    bool flag = false, flagWhileOpen = false;
    QString caption;
    const ModalDialogFlag modal{[&] { return flag; }, [&](bool on) { flag = on; }};
    QTimer::singleShot(100, this, [&] {
        if (auto* dlg = qobject_cast<frmView*>(QApplication::activeModalWidget())) {
            flagWhileOpen = flag;
            caption = dlg->windowTitle();
            dlg->cmdOK->click();
        }
    });
    QCOMPARE(frmView::ViewMessage(path, modal, nullptr), opens);
    QCOMPARE(flagWhileOpen, opens);
    QCOMPARE(caption, opens ? u"Message from Ann Smith"_s : QString());
    QVERIFY(!flag);
    QTest::qWait(150); // the timer fires while what it looks at still exists
}

void tst_frmView::fitsInEveryTheme()
{
    CMessage m = sample();
    m.m_Content = u"Dear all,\r\n\r\nthe garden party is on Sunday at three. Bring a chair if you have "
                  u"one to spare, and something for the table.\r\n\r\n"
                  u"> Shall we move it indoors if it rains?\r\n> Tom\r\n\r\n"
                  u"Yes: the hall is booked from two.\r\n\r\n-- \r\nAnn Smith\r\nGarden club secretary\r\n"_s;
    test::forEachTheme([&](const QString& suffix) {
        frmView dlg(m);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        test::verifyInside(&dlg);
        test::saveScreenshot(&dlg, u"view"_s + suffix);
    });
}

QTEST_MAIN(tst_frmView)
#include "tst_frmView.moc"
