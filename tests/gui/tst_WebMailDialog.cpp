#include "gui/wizard/WebMailDialog.h"
#include "support/Widgets.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using orvella::test::child;
using namespace orvella;

class tst_WebMailDialog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void recognisedServices_data();
    void recognisedServices();
    void questionTexts_data();
    void questionTexts();
    void chosenOption_data();
    void chosenOption();
    void optionsNamedByTheirText();
};

void tst_WebMailDialog::recognisedServices_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("service");

    QTest::newRow("Hotmail server") << u"pop3.HOTMAIL.com"_s << u"Hotmail"_s;
    QTest::newRow("Hotmail before Yahoo") << u"hotmail.yahoo"_s << u"Hotmail"_s;
    QTest::newRow("AOL server") << u"pop.aol.com"_s << u"AOL"_s;
    QTest::newRow("AOL address") << u"jo@aol.com"_s << u"AOL"_s;
    QTest::newRow("AOL inside another name") << u"pop.gaol.com"_s << QString();
    QTest::newRow("Yahoo anywhere") << u"pop.mail.yahoo.co.uk"_s << u"Yahoo"_s;
    QTest::newRow("Juno address") << u"Jo@Juno.com"_s << u"Juno"_s;
    QTest::newRow("Gmail server") << u"pop.gmail.com"_s << u"Gmail"_s;
    QTest::newRow("Google Mail address") << u"jo@googlemail.com"_s << u"Gmail"_s;
    QTest::newRow("Outlook.com address") << u"jo@outlook.com"_s << u"Outlook.com"_s;
    QTest::newRow("Outlook.com server") << u"outlook.office365.com"_s << u"Outlook.com"_s;
    QTest::newRow("Live server") << u"pop3.live.com"_s << u"Outlook.com"_s;
    QTest::newRow("MSN address") << u"jo@msn.com"_s << u"Outlook.com"_s;
    QTest::newRow("live.com inside another name") << u"mail.olive.com"_s << QString();
    QTest::newRow("outlook.com running on") << u"outlook.community.example"_s << QString();
    QTest::newRow("standard server") << u"pop.example.net"_s << QString();
    QTest::newRow("empty") << QString() << QString();
}

void tst_WebMailDialog::recognisedServices()
{
    QFETCH(QString, text);
    QFETCH(QString, service);
    QCOMPARE(WebMailService(text), service);
}

void tst_WebMailDialog::questionTexts_data()
{
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("middle");
    const QString outlook =
        u"Outlook.com lets a mail program read your mail only after you sign in through "
        u"Microsoft's own sign-in page, never with your password: use outlook.office365.com as "
        u"the incoming mail server and sign in with \"Microsoft account (Outlook.com)\"."_s;

    QTest::newRow("Yahoo")
        << u"Yahoo"_s
        << u"Yahoo supports POP access but unfortunately it is disabled by default. To learn how "
           u"to enable POP access in your Yahoo mail account, please visit our online support "
           u"page."_s;
    QTest::newRow("AOL")
        << u"AOL"_s
        << u"If AOL is your ONLY e-mail account, please visit our online support page to find "
           u"out if Orvella can work with your AOL account. If you have other e-mail accounts "
           u"(Yahoo mail supports POP accounts), you might want to use them instead."_s;
    QTest::newRow("Hotmail")
        << u"Hotmail"_s
        << u"If Hotmail is your ONLY e-mail account, please visit our online support page to "
           u"find out if Orvella can work with your Hotmail account. If you have other e-mail "
           u"accounts (Yahoo mail supports POP accounts), you might want to use them "
           u"instead.\r\n\r\nHotmail addresses are Outlook.com accounts now. "_s +
               outlook;
    QTest::newRow("Outlook.com") << u"Outlook.com"_s
                                 << outlook +
                                        u" If you have other e-mail accounts, you might want to use them "
                                        u"instead."_s;
}

void tst_WebMailDialog::questionTexts()
{
    QFETCH(QString, service);
    QFETCH(QString, middle);
    QCOMPARE(WebMailQuestion(service), u"Orvella works with standard Internet mail accounts (POP accounts) "
                                       u"provided by most Internet service providers.\r\n\r\n"_s +
                                           middle + u"\r\n\r\nPlease select from the options below:"_s);
}

void tst_WebMailDialog::chosenOption_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("option");

    QTest::newRow("OK at once") << u"ok"_s << 0;
    QTest::newRow("arrow keys and Enter") << u"keys"_s << 3;
    QTest::newRow("click on option 2's text") << u"label2"_s << 2;
    QTest::newRow("click on option 3's text") << u"label3"_s << 3;
    // Closed without OK: nothing is taken, whatever was selected.
    QTest::newRow("option 3, then closed") << u"close"_s << 1;
    QTest::newRow("option 3, then Escape") << u"escape"_s << 1;
}

void tst_WebMailDialog::chosenOption()
{
    QFETCH(QString, how);
    QFETCH(int, option);

    bool shown = false;
    QTimer::singleShot(0, this, [&] {
        auto* dlg = qobject_cast<WebMailDialog*>(QApplication::activeModalWidget());
        QVERIFY(dlg);
        shown = child<QLabel>(dlg, u"lblQuestion"_s)->text() == u"question"_s &&
                dlg->windowTitle() == u"Orvella Configuration Wizard"_s && dlg->optWhatToDo[0]->isChecked();
        if (how == u"keys"_s) {
            dlg->activateWindow();
            QTRY_VERIFY(dlg->isActiveWindow());
            QCOMPARE(QApplication::focusWidget(), dlg->optWhatToDo[0]);
            for (int i = 0; i < 3; ++i)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            return;
        }
        if (how == u"label2"_s || how == u"label3"_s)
            QTest::mouseClick(dlg->lblWhatToDo[how.back().digitValue()], Qt::LeftButton);
        if (how == u"close"_s || how == u"escape"_s) {
            dlg->optWhatToDo[3]->setChecked(true);
            if (how == u"close"_s)
                dlg->close();
            else
                QTest::keyClick(dlg, Qt::Key_Escape);
            return;
        }
        child<QPushButton>(dlg, u"cmdOK"_s)->click();
    });
    QCOMPARE(WebMailDialog::Ask(u"question"_s, nullptr), option);
    QVERIFY(shown);
}

void tst_WebMailDialog::optionsNamedByTheirText()
{
    WebMailDialog dlg;
    for (int i = 0; i < 4; ++i) {
        const QString name =
            QAccessible::queryAccessibleInterface(dlg.optWhatToDo[i])->text(QAccessible::Name);
        const QString text = i < 2 ? dlg.optWhatToDo[i]->text() : dlg.lblWhatToDo[i]->text();
        QCOMPARE(name, text);
    }
    QCOMPARE(
        QAccessible::queryAccessibleInterface(child<QPushButton>(&dlg, u"cmdOK"_s))->text(QAccessible::Name),
        u"OK"_s);
}

QTEST_MAIN(tst_WebMailDialog)
#include "tst_WebMailDialog.moc"
