#include "WizardRig.h"

#include "platform/AutoStart.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

// What the wizard shows of the account it is given, and what it writes.
class tst_frmConfigWizardFinish : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { m_folders.initTestCase(); }
    void init() { m_folders.init(); }
    void cleanup() { m_folders.cleanup(); }

    void localProxyFix_data();
    void localProxyFix();
    void detectedAccountFillsTheFields_data();
    void detectedAccountFillsTheFields();
    void securityProposesTlsAndPortFollows();
    void finishWrites_data();
    void finishWrites();
    void cancelWritesNothing();
    void runWizardIsModal_data();
    void runWizardIsModal();

private:
    WizardFolders m_folders;
};

void tst_frmConfigWizardFinish::localProxyFix_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shownServer");
    QTest::addColumn<QString>("shownName");

    QTest::newRow("proxy, user/server")
        << u"127.0.0.1"_s << u"jo/pop.example.net"_s << u"pop.example.net"_s << u"jo"_s;
    QTest::newRow("proxy, name starts with /")
        << u"127.0.0.1"_s << u"/pop.example.net"_s << QString() << u"/pop.example.net"_s;
    QTest::newRow("proxy, plain name") << u"127.0.0.1"_s << u"jo"_s << QString() << u"jo"_s;
    QTest::newRow("proxy, no name") << u"127.0.0.1"_s << QString() << QString() << QString();
    QTest::newRow("no server, user/server")
        << QString() << u"jo/pop.example.net"_s << u"pop.example.net"_s << u"jo"_s;
    QTest::newRow("own server keeps a name with /")
        << u"pop.example.net"_s << u"dept/jo"_s << u"pop.example.net"_s << u"dept/jo"_s;
}

void tst_frmConfigWizardFinish::localProxyFix()
{
    QFETCH(QString, server);
    QFETCH(QString, name);
    QFETCH(QString, shownServer);
    QFETCH(QString, shownName);

    Rig rig;
    rig.accounts.first()->m_PopServer = server;
    rig.accounts.first()->m_AccountName = name;
    auto w = rig.open(frmConfigWizard::PageServer);
    QCOMPARE(w->txtPOPServer->text(), shownServer);
    QCOMPARE(w->txtAccountName->text(), shownName);
    QCOMPARE(w->lblDetectedPOP->isVisible(), !shownServer.isEmpty());
    QCOMPARE(w->cmdNext->isEnabled(), !shownServer.isEmpty());
}

void tst_frmConfigWizardFinish::detectedAccountFillsTheFields_data()
{
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("name");

    QTest::newRow("Wine registry") << u"wine-oe"_s << u"pop.oe.example"_s << u"oe\\user"_s;
    QTest::newRow("nothing to detect") << u"empty"_s << QString() << QString();
}

void tst_frmConfigWizardFinish::detectedAccountFillsTheFields()
{
    QFETCH(QString, home);
    QFETCH(QString, server);
    QFETCH(QString, name);

    // A first start: no settings file, so every value shown was detected.
    qputenv("HOME", (QStringLiteral(ORVELLA_TEST_DATA_DIR) + u"/accounts/"_s + home).toUtf8());
    Rig rig;
    qputenv("HOME", m_folders.home.path().toUtf8());
    auto w = rig.open(frmConfigWizard::PageWelcome);
    w->cmdNext->click();
    w->cmdNext->click();
    QCOMPARE(w->currentPage(), 2);
    QCOMPARE(w->txtPOPServer->text(), server);
    QCOMPARE(w->lblDetectedPOP->isVisible(), !server.isEmpty());
    QCOMPARE(w->lblDetectedPOP->text(), u"Detected !"_s);
    QCOMPARE(w->cmdNext->isEnabled(), !server.isEmpty());
    w->txtPOPServer->setText(u"pop.example.net"_s);
    w->cmdNext->click();
    QCOMPARE(w->currentPage(), 3);
    QCOMPARE(w->txtAccountName->text(), name);
    QCOMPARE(w->lblDetectedAccountName->isVisible(), !name.isEmpty());
    QCOMPARE(w->cmdNext->isEnabled(), !name.isEmpty());
}

void tst_frmConfigWizardFinish::securityProposesTlsAndPortFollows()
{
    Rig rig;
    auto w = rig.open(frmConfigWizard::PageServer);
    QCOMPARE(w->cboSecurity->currentData().toString(), u"TLS"_s);
    QCOMPARE(w->txtPort->text(), u"995"_s);
    QCOMPARE(w->cboSecurity->count(), 2); // never a connection in clear
    w->cboSecurity->setCurrentIndex(1);
    QCOMPARE(w->cboSecurity->currentData().toString(), u"STARTTLS"_s);
    QCOMPARE(w->txtPort->text(), u"110"_s);
    w->txtPort->setText(u"1110"_s);
    w->cboSecurity->setCurrentIndex(0);
    QCOMPARE(w->txtPort->text(), u"995"_s);

    // An account that already names its security keeps it and its port.
    Rig again;
    again.accounts.first()->m_Security = u"STARTTLS"_s;
    again.accounts.first()->m_Port = 1110;
    auto w2 = again.open(frmConfigWizard::PageServer);
    QCOMPARE(w2->cboSecurity->currentData().toString(), u"STARTTLS"_s);
    QCOMPARE(w2->txtPort->text(), u"1110"_s);
}

void tst_frmConfigWizardFinish::finishWrites_data()
{
    QTest::addColumn<bool>("modem");
    QTest::addColumn<bool>("autoStart");
    QTest::addColumn<int>("security");
    QTest::addColumn<QString>("connectionType");
    QTest::addColumn<QString>("securityKey");
    QTest::addColumn<QString>("port");

    QTest::newRow("modem, log-in start, TLS") << true << true << 0 << u"1"_s << u"TLS"_s << u"995"_s;
    QTest::newRow("network, no log-in start, STARTTLS")
        << false << false << 1 << u"2"_s << u"STARTTLS"_s << u"110"_s;
}

void tst_frmConfigWizardFinish::finishWrites()
{
    QFETCH(bool, modem);
    QFETCH(bool, autoStart);
    QFETCH(int, security);
    QFETCH(QString, connectionType);
    QFETCH(QString, securityKey);
    QFETCH(QString, port);

    // A log-in start left from an earlier installation goes when the user says No.
    platform::setAutoStart(true, u"orvella -AUTOSTART"_s);
    Rig rig;
    rig.settings.m_Position = 4;
    auto w = rig.open(frmConfigWizard::PageWelcome);
    w->txtPOPServer->setText(u" pop.example.net "_s);
    w->txtAccountName->setText(u"jo"_s);
    w->txtPassword->setText(u" pass word "_s);
    w->cboSecurity->setCurrentIndex(security);
    w->txtUserName->setText(u"Jo"_s);
    (autoStart ? w->optAutoStartYes : w->optAutoStartNo)->setChecked(true);
    (modem ? w->optModemUser : w->optLANUser)->setChecked(true);
    for (int page = 0; page < 8; ++page)
        w->cmdNext->click();
    QCOMPARE(w->currentPage(), 8);
    QVERIFY(!QFile::exists(CAccount::settingsFile()));
    w->cmdFinish->click();

    QVERIFY(w->m_Completed);
    QCOMPARE(ini(u"Account"_s, u"POPServer"_s), u"pop.example.net"_s);
    QCOMPARE(ini(u"Account"_s, u"AccountName"_s), u"jo"_s);
    QCOMPARE(CAccount::Unscramble(ini(u"Account"_s, u"Password"_s)), u" pass word "_s);
    QCOMPARE(ini(u"Account"_s, u"Security"_s), securityKey);
    QCOMPARE(ini(u"Account"_s, u"Port"_s), port);
    QCOMPARE(ini(u"Account"_s, u"UserName"_s), u"Jo"_s);
    QCOMPARE(ini(u"Account"_s, u"ConnectionType"_s), connectionType);
    QCOMPARE(ini(u"General"_s, u"DontCheck"_s), u"No"_s);
    // The character's own place, not the wizard's top centre.
    QCOMPARE(ini(u"Character"_s, u"Position"_s), u"4"_s);
    QCOMPARE(QFile::exists(platform::autoStartFilePath()), autoStart);
    QCOMPARE(rig.accounts.first()->m_PopServer, u"pop.example.net"_s);
}

void tst_frmConfigWizardFinish::cancelWritesNothing()
{
    Rig rig;
    auto w = rig.open(frmConfigWizard::PageWelcome);
    w->txtPOPServer->setText(u"pop.example.net"_s);
    w->txtAccountName->setText(u"jo"_s);
    w->txtPassword->setText(u"pw"_s);
    for (int page = 0; page < 8; ++page)
        w->cmdNext->click();
    QCOMPARE(w->currentPage(), 8);
    QTest::keyClick(w.get(), Qt::Key_Escape);
    QVERIFY(!w->isVisible());
    QVERIFY(!w->m_Completed);
    QCOMPARE(QDir(AppPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QVERIFY(!QFile::exists(platform::autoStartFilePath()));
    // The account in memory is as it was; the caller ends the program.
    QCOMPARE(rig.accounts.first()->m_PopServer, QString());
}

void tst_frmConfigWizardFinish::runWizardIsModal_data()
{
    QTest::addColumn<int>("startPage");
    QTest::addColumn<bool>("finish");
    QTest::newRow("first start, cancelled") << 0 << false;
    QTest::newRow("connection type, finished") << 7 << true;
}

void tst_frmConfigWizardFinish::runWizardIsModal()
{
    QFETCH(int, startPage);
    QFETCH(bool, finish);

    writeFile(CAccount::settingsFile(),
              "[Account]\r\nPOPServer=pop.example.net\r\nAccountName=jo\r\nPort=110\r\n"
              "Security=None\r\n");
    Rig rig;
    bool sawIt = false;
    QTimer::singleShot(0, this, [&] {
        auto* w = qobject_cast<frmConfigWizard*>(QApplication::activeModalWidget());
        QVERIFY(w);
        sawIt = w->currentPage() == startPage && w->isModal();
        if (finish) {
            w->cmdNext->click();
            w->cmdFinish->click();
        } else {
            w->cmdCancel->click();
        }
    });
    const bool completed = frmConfigWizard::RunWizard(startPage, rig.settings, rig.accounts, &rig.speech,
                                                      &rig.character, nullptr);
    QVERIFY(sawIt);
    QCOMPARE(completed, finish);
    if (finish) {
        // Opened on the connection page: only what that page asks is changed.
        QCOMPARE(ini(u"Account"_s, u"ConnectionType"_s), u"1"_s);
        QCOMPARE(ini(u"Account"_s, u"Security"_s), u"None"_s);
        QCOMPARE(ini(u"Account"_s, u"Port"_s), u"110"_s);
        QVERIFY(!QFile::exists(platform::autoStartFilePath()));
    } else {
        QCOMPARE(ini(u"Account"_s, u"ConnectionType"_s), u"<absent>"_s);
    }
}

QTEST_MAIN(tst_frmConfigWizardFinish)
#include "tst_frmConfigWizardFinish.moc"
