#include "WizardRig.h"
#include "support/Widgets.h"

#include "gui/wizard/WizardLink.h"
#include "platform/AutoStart.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

// The wizard's pages: the way through them, what they say, and the keyboard
// and screen-reader path.
class tst_SetupWizard : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void keyboardAloneFromWelcomeToFinish();
    void startOnConnectionPage();
    void emailFeatureOffSkipsTheAccountPages();
    void skipLinks_data();
    void skipLinks();
    void serverWithAtStays();
    void portThatCannotWorkStays_data();
    void portThatCannotWorkStays();
    void webMailCheck_data();
    void webMailCheck();
    void sayPage_data();
    void sayPage();
    void characterAtTopCentreWhileOpen();
    void everyControlHasItsLabelsName();
    void linkReadsAsPartOfItsSentence();

private:
    WizardFolders m_folders;
};

void tst_SetupWizard::initTestCase()
{
    m_folders.initTestCase();
}

void tst_SetupWizard::init()
{
    m_folders.init();
}

void tst_SetupWizard::cleanup()
{
    m_folders.cleanup();
}

void tst_SetupWizard::keyboardAloneFromWelcomeToFinish()
{
    Rig rig;
    auto w = rig.open(SetupWizard::PageWelcome);
    QTRY_VERIFY(w->isActiveWindow());
    QVERIFY(!child<QTabWidget>(w, u"tabWizard"_s)->tabBar()->isVisible());

    const auto expectPage = [&](int page, QWidget* focus, bool back, bool next) {
        QCOMPARE(w->currentPage(), page);
        QCOMPARE(focused(), focus);
        QCOMPARE(child<QPushButton>(w, u"cmdBack"_s)->isEnabled(), back);
        QCOMPARE(child<QAbstractButton>(w, u"cmdNext"_s)->isEnabled(), next);
        QCOMPARE(child<QPushButton>(w, u"cmdFinish"_s)->isEnabled(), page == SetupWizard::PageThankYou);
    };
    expectPage(0, child<QCheckBox>(w, u"chkFeatureEMail"_s), false, true);
    typeAndEnter({});
    expectPage(1, child<QAbstractButton>(w, u"cmdNext"_s), true, true);
    typeAndEnter({});
    // Each field's page waits for its value.
    expectPage(2, child<QLineEdit>(w, u"txtPOPServer"_s), true, false);
    QTest::keyClicks(focused(), u"  "_s);
    QVERIFY(!child<QAbstractButton>(w, u"cmdNext"_s)->isEnabled());
    typeAndEnter(u"pop.example.net"_s);
    expectPage(3, child<QLineEdit>(w, u"txtAccountName"_s), true, false);
    typeAndEnter(u"jo"_s);
    expectPage(4, child<QLineEdit>(w, u"txtPassword"_s), true, false);
    typeAndEnter(u"s3cret"_s);
    expectPage(5, child<QLineEdit>(w, u"txtUserName"_s), true, true);
    typeAndEnter(u"Jo"_s);
    expectPage(6, child<QRadioButton>(w, u"optAutoStartYes"_s), true, true);
    QTest::keyClick(focused(), Qt::Key_Down); // "No"
    QVERIFY(child<QRadioButton>(w, u"optAutoStartNo"_s)->isChecked());
    typeAndEnter({});
    expectPage(7, child<QRadioButton>(w, u"optModemUser"_s), true, true);
    QTest::keyClick(focused(), Qt::Key_Down);
    QVERIFY(child<QRadioButton>(w, u"optLANUser"_s)->isChecked());
    typeAndEnter({});
    expectPage(8, child<QPushButton>(w, u"cmdFinish"_s), true, false);

    // Alt+B goes back a page, Alt+N forward again.
    // (A mnemonic presses its button after a short animation.)
    QTest::keyClick(focused(), Qt::Key_B, Qt::AltModifier);
    QTRY_COMPARE(w->currentPage(), 7);
    expectPage(7, child<QRadioButton>(w, u"optLANUser"_s), true, true);
    QTest::keyClick(focused(), Qt::Key_N, Qt::AltModifier);
    QTRY_COMPARE(w->currentPage(), 8);
    expectPage(8, child<QPushButton>(w, u"cmdFinish"_s), true, false);

    typeAndEnter({});
    QVERIFY(w->m_Completed);
    QVERIFY(!w->isVisible());
    QCOMPARE(ini(u"Account"_s, u"POPServer"_s), u"pop.example.net"_s);
    QCOMPARE(ini(u"Account"_s, u"AccountName"_s), u"jo"_s);
    QCOMPARE(Account::Unscramble(ini(u"Account"_s, u"Password"_s)), u"s3cret"_s);
    QCOMPARE(ini(u"Account"_s, u"UserName"_s), u"Jo"_s);
    QCOMPARE(ini(u"Account"_s, u"ConnectionType"_s), u"2"_s);
    QVERIFY(!QFile::exists(platform::autoStartFilePath()));
}

void tst_SetupWizard::startOnConnectionPage()
{
    Rig rig;
    auto w = rig.open(SetupWizard::PageConnection);
    QCOMPARE(w->currentPage(), 7);
    QVERIFY(!child<QPushButton>(w, u"cmdBack"_s)->isEnabled());
    child<QPushButton>(w, u"cmdBack"_s)->click();
    QCOMPARE(w->currentPage(), 7);
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    QCOMPARE(w->currentPage(), 8);
    QVERIFY(child<QPushButton>(w, u"cmdBack"_s)->isEnabled());
    child<QPushButton>(w, u"cmdBack"_s)->click();
    QCOMPARE(w->currentPage(), 7);
    QVERIFY(!child<QPushButton>(w, u"cmdBack"_s)->isEnabled());
}

void tst_SetupWizard::emailFeatureOffSkipsTheAccountPages()
{
    Rig rig;
    auto w = rig.open(SetupWizard::PageWelcome);
    child<QCheckBox>(w, u"chkFeatureEMail"_s)->setChecked(false);
    child<QCheckBox>(w, u"chkFeatureClock"_s)->setChecked(false);
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    QCOMPARE(w->currentPage(), 5);
    QVERIFY(rig.settings.m_DontCheck);
    QVERIFY(rig.settings.m_EnableReminders);
    QVERIFY(!rig.settings.m_SayTime);
    child<QPushButton>(w, u"cmdBack"_s)->click();
    QCOMPARE(w->currentPage(), 0);

    // Ticked again, the e-mail pages come back and so does mail checking.
    child<QCheckBox>(w, u"chkFeatureEMail"_s)->setChecked(true);
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    QCOMPARE(w->currentPage(), 1);
    QVERIFY(!rig.settings.m_DontCheck);
}

void tst_SetupWizard::skipLinks_data()
{
    QTest::addColumn<int>("page");
    QTest::newRow("e-mail page") << 1;
    QTest::newRow("server page") << 2;
    QTest::newRow("account name page") << 3;
}

void tst_SetupWizard::skipLinks()
{
    QFETCH(int, page);
    Rig rig;
    auto w = rig.open(page);
    auto* link = child<QTabWidget>(w, u"tabWizard"_s)
                     ->widget(page)
                     ->template findChild<WizardLink*>(u"lblSkipEmail"_s);
    QVERIFY(link);
    QTest::keyClick(link, Qt::Key_Space);
    QCOMPARE(w->currentPage(), 5);
    QVERIFY(rig.settings.m_DontCheck);
    QVERIFY(!child<QCheckBox>(w, u"chkFeatureEMail"_s)->isChecked());
}

void tst_SetupWizard::serverWithAtStays()
{
    Rig rig;
    auto w = rig.open(SetupWizard::PageServer);
    child<QLineEdit>(w, u"txtPOPServer"_s)->setText(u"jo@example.net"_s);
    Dialogs::queueAnswer(true);
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    QCOMPARE(w->currentPage(), 2);
    const auto asked = Dialogs::takeAsked();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].title, u"Orvella"_s);
    QCOMPARE(asked[0].text,
             u"The incoming mail server address should not contain the @ character. Please check "
             u"your account information for the correct incoming mail server address."_s);
    QVERIFY(rig.questions.isEmpty());
}

void tst_SetupWizard::portThatCannotWorkStays_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("above 65535") << u"99999"_s;
    QTest::newRow("0") << u"0"_s;
    QTest::newRow("empty") << QString();
}

// Next refuses a port that cannot work, with the message beside the field
// and the focus in it; the port as typed stays for the user to mend.
void tst_SetupWizard::portThatCannotWorkStays()
{
    QFETCH(QString, typed);
    Rig rig;
    auto w = rig.open(SetupWizard::PageServer);
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    child<QLineEdit>(w, u"txtPOPServer"_s)->setText(u"pop.example.net"_s);
    QWidget* port = w->findChild<QWidget*>(u"txtPort"_s);
    port->setFocus();
    QTRY_VERIFY(port->hasFocus());
    QTest::keyClick(port, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(port, Qt::Key_Delete);
    QTest::keyClicks(port, typed);
    QTest::keyClick(port, Qt::Key_Return);
    QCOMPARE(w->currentPage(), int(SetupWizard::PageServer));
    auto* message = w->findChild<QLabel*>(u"lblPortMessage"_s);
    QVERIFY(message && message->isVisible());
    const QString why = u"Type a port number from 1 to 65535."_s;
    QCOMPARE(message->text(), why);
    QCOMPARE(QAccessible::queryAccessibleInterface(message)->text(QAccessible::Name), why);
    QCOMPARE(QAccessible::queryAccessibleInterface(port)->text(QAccessible::Description), why);
    QTRY_VERIFY(port->hasFocus());
    QCOMPARE(child<QLineEdit>(w, u"txtPort"_s)->text(), typed);

    QTest::keyClick(port, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(port, u"1995"_s);
    QVERIFY(!message->isVisible());
    QTest::keyClick(port, Qt::Key_Return);
    QCOMPARE(w->currentPage(), int(SetupWizard::PageAccountName));
}

void tst_SetupWizard::webMailCheck_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("questionStart"); // after the common first paragraph; empty: no question
    QTest::addColumn<int>("option");
    QTest::addColumn<int>("atAnswer"); // the "@" question's answer, or NotAsked
    QTest::addColumn<int>("pageAfter");
    QTest::addColumn<bool>("dontCheck");
    QTest::addColumn<bool>("supportOpened");

    QTest::newRow("Yahoo server, mail checking off") << 2 << u"pop.mail.yahoo.com"_s
                                                     << u"Yahoo supports POP access but unfortunately it is "
                                                        u"disabled by default."_s
                                                     << 2 << NotAsked << 5 << true << false;
    QTest::newRow("Yahoo account name, mail checking off")
        << 3 << u"jo.yahoo"_s << u"Yahoo supports POP access"_s << 2 << NotAsked << 5 << true << false;
    QTest::newRow("Hotmail and @, used, sure")
        << 3 << u"jo@hotmail.com"_s << u"If Hotmail is your ONLY e-mail account"_s << 3 << Yes << 4 << false
        << false;
    QTest::newRow("Hotmail and @, used, not sure")
        << 3 << u"jo@HotMail.com"_s << u"If Hotmail is your ONLY e-mail account"_s << 3 << No << 3 << false
        << false;
    QTest::newRow("AOL, support page") << 2 << u"pop.aol.com"_s << u"If AOL is your ONLY e-mail account"_s
                                       << 0 << NotAsked << 2 << false << true;
    QTest::newRow("Juno, another account")
        << 3 << u"jo@juno.com"_s << u"If Juno is your ONLY e-mail account"_s << 1 << NotAsked << 3 << false
        << false;
    // Gmail's and Outlook.com's own POP servers are not web mail: their sign-in is chosen instead.
    QTest::newRow("Gmail's POP server, no question")
        << 2 << u"pop.gmail.com"_s << QString() << 0 << NotAsked << 3 << false << false;
    QTest::newRow("Outlook.com's POP server, no question")
        << 2 << u"outlook.office365.com"_s << QString() << 0 << NotAsked << 3 << false << false;
    QTest::newRow("Gmail address, used: the whole address is the name")
        << 3 << u"jo@gmail.com"_s << u"Gmail supports POP access, but"_s << 3 << NotAsked << 4 << false
        << false;
    QTest::newRow("Outlook.com, another account")
        << 2 << u"pop3.live.com"_s << u"Outlook.com lets a mail program read your mail only"_s << 1
        << NotAsked << 2 << false << false;
    QTest::newRow("standard server") << 2 << u"pop.example.net"_s << QString() << 0 << NotAsked << 3 << false
                                     << false;
    QTest::newRow("standard name with @, sure")
        << 3 << u"jo@example.net"_s << QString() << 0 << Yes << 4 << false << false;
}

void tst_SetupWizard::webMailCheck()
{
    QFETCH(int, page);
    QFETCH(QString, text);
    QFETCH(QString, questionStart);
    QFETCH(int, option);
    QFETCH(int, atAnswer);
    QFETCH(int, pageAfter);
    QFETCH(bool, dontCheck);
    QFETCH(bool, supportOpened);

    Rig rig;
    auto w = rig.open(page);
    (page == 2 ? child<QLineEdit>(w, u"txtPOPServer"_s) : child<QLineEdit>(w, u"txtAccountName"_s))
        ->setText(text);
    rig.answers = {option};
    if (atAnswer != NotAsked) Dialogs::queueAnswer(atAnswer == Yes);
    rig.settings.m_DontCheck = true; // the check itself turns mail checking back on
    child<QAbstractButton>(w, u"cmdNext"_s)->click();

    QCOMPARE(w->currentPage(), pageAfter);
    if (questionStart.isEmpty()) {
        QVERIFY(rig.questions.isEmpty());
    } else {
        QCOMPARE(rig.questions.size(), 1);
        const QString intro =
            u"Orvella works with standard Internet mail accounts (POP accounts) provided by most "
            u"Internet service providers.\r\n\r\n"_s;
        QVERIFY2(rig.questions[0].startsWith(intro + questionStart), qPrintable(rig.questions[0]));
        QVERIFY(rig.questions[0].endsWith(u"\r\n\r\nPlease select from the options below:"_s));
        QCOMPARE(rig.settings.m_DontCheck, dontCheck);
    }
    QCOMPARE(m_folders.opened,
             supportOpened ? QStringList{QString::fromUtf16(DefaultSupportURL)} : QStringList());
    const auto asked = Dialogs::takeAsked();
    QCOMPARE(asked.size(), atAnswer == NotAsked ? 0 : 1);
    if (atAnswer != NotAsked)
        QCOMPARE(asked[0].text,
                 u"Account names don't usually contain the @ character. They are usually the part "
                 u"before the @ character in your E-mail address. Are you sure that "_s +
                     text + u" is your account name?"_s);
}

void tst_SetupWizard::sayPage_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("dontCheck");
    QTest::addColumn<QStringList>("spoken");

    QTest::newRow("welcome")
        << 0 << u"Jo"_s << false
        << QStringList{u"Welcome to the Orvella Configuration Wizard"_s,
                       u"I will now help you to setup your Orvella software, so you can start "
                       u"listening to your E-mail messages, as they arrive."_s,
                       u"Besides reading E-mail, Orvella includes exciting features like Orvella "
                       u"Reminders, Orvella Clock and numerous customization options, which you'll "
                       u"learn about later."_s,
                       u"Please select the features you want to enable:"_s};
    QTest::newRow("server") << 2 << u"Jo"_s << false
                            << QStringList{u"Please fill, your incoming mail server address. If it was "
                                           u"automatically detected, make sure the value is correct."_s};
    QTest::newRow("startup, named") << 6 << u" Jo "_s << false
                                    << QStringList{
                                           u"Jo,"_s,
                                           u"Would you like Orvella to automatically run when you log in?"_s,
                                           u"If you choose 'Yes', Orvella will appear in the system tray, "
                                           u"when you log in."_s};
    QTest::newRow("connection, no name")
        << 7 << QString() << false << QStringList{u"How are you connected to the Internet?"_s};
    QTest::newRow("thank you")
        << 8 << u"Jo"_s << false
        << QStringList{
               u"Thank You, Jo."_s,
               u"You have completed the configuration step."_s,
               u"Orvella will now attempt to connect to your mail account. If you see any errors go to the "
               u"'Options' screen and check that the account information is correct."_s,
               u"After Orvella connects, send yourself an E-mail from your default E-mail program. Then "
               u"press 'Check Mail' in Orvella to see if you are able to receive messages. Make sure the "
               u"message is not retrieved  by your default mail program before Orvella has a chance to "
               u"read it."_s,
               u"Please Note: Orvella will Never delete messages from your E-mail account. This means that "
               u"when you open your regular E-mail program, all of the messages are going to be "
               u"retrieved."_s,
               u"Please press Finish to continue."_s,
               u"Hide"_s};
    QTest::newRow("thank you, mail checking off") << 8 << u"Jo"_s << true << QStringList{};
}

void tst_SetupWizard::sayPage()
{
    QFETCH(int, page);
    QFETCH(QString, name);
    QFETCH(bool, dontCheck);
    QFETCH(QStringList, spoken);

    Rig rig;
    rig.settings.m_UserName = name;
    rig.settings.m_DontCheck = dontCheck;
    auto w = rig.open(page);
    QCOMPARE(rig.agent.calls.value(0), u"StopAll"_s); // the last page's words are cut off first
    QCOMPARE(rig.spoken(), spoken);

    if (page == SetupWizard::PageThankYou) {
        for (int index : {902, 903, 904})
            QCOMPARE(w->lblWizard[index]->isVisible(), !dontCheck);
        QCOMPARE(child<QLabel>(w, u"lblLastTitle"_s)->isVisible(), !dontCheck);
    }
    // "Say again" says the same once more.
    child<QPushButton>(w, u"cmdSayAgain"_s)->click();
    QCOMPARE(rig.spoken(), spoken);
}

void tst_SetupWizard::characterAtTopCentreWhileOpen()
{
    Rig rig;
    rig.settings.m_Position = 6; // bottom right
    auto w = rig.open(SetupWizard::PageWelcome);
    QCOMPARE(rig.settings.m_Position, 1);
    QVERIFY(rig.agent.takeCalls().contains(u"MoveTo(448,0)"_s));
    // The window stands clear of the character and the first lines of its balloon.
    QVERIFY2(w->frameGeometry().top() >= 128 + 48, qPrintable(QString::number(w->frameGeometry().top())));
    QVERIFY(QRect(0, 0, 1024, 768).contains(w->frameGeometry()));
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    QVERIFY(rig.agent.takeCalls().contains(u"MoveTo(448,0)"_s));
    child<QPushButton>(w, u"cmdCancel"_s)->click();
    QCOMPARE(rig.settings.m_Position, 6);
    const QStringList calls = rig.agent.takeCalls();
    QCOMPARE(calls.value(0), u"StopAll"_s);
    QCOMPARE(calls.last(), u"MoveTo(896,640)"_s);
}

void tst_SetupWizard::everyControlHasItsLabelsName()
{
    Rig rig;
    auto w = rig.open(SetupWizard::PageWelcome);
    QVERIFY(child<QTabWidget>(w, u"tabWizard"_s)->tabBar()->focusPolicy() == Qt::NoFocus);
    const QList<QWidget*> controls = w->findChildren<QWidget*>();
    int checked = 0;
    for (QWidget* c : controls) {
        const QWidget* parent = c->parentWidget();
        if (c->focusPolicy() == Qt::NoFocus || c->inherits("QTabBar") || parent->inherits("QTabBar") ||
            parent->inherits("QAbstractSpinBox") ||
            !(c->inherits("QAbstractButton") || c->inherits("QLineEdit") || c->inherits("QComboBox") ||
              c->inherits("QAbstractSpinBox")))
            continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
        QVERIFY(a);
        const QString name = a->text(QAccessible::Name);
        QVERIFY2(!name.isEmpty() && !name.contains(u'&') && !name.endsWith(u':'),
                 qPrintable(c->objectName() + u": "_s + name));
        ++checked;
    }
    QVERIFY(checked > 20);
    const auto nameOf = [](QWidget* c) {
        return QAccessible::queryAccessibleInterface(c)->text(QAccessible::Name);
    };
    QCOMPARE(nameOf(child<QLineEdit>(w, u"txtPOPServer"_s)), u"Incoming mail server (POP3)"_s);
    QCOMPARE(nameOf(child<QLineEdit>(w, u"txtAccountName"_s)), u"Account Name"_s);
    QCOMPARE(nameOf(child<QLineEdit>(w, u"txtPassword"_s)), u"Password"_s);
    QCOMPARE(nameOf(child<QLineEdit>(w, u"txtUserName"_s)), u"Name"_s);
    // A drop-down list's name is its value on Linux; its label comes through the label relation.
    const auto labels = QAccessible::queryAccessibleInterface(child<QComboBox>(w, u"cboSecurity"_s))
                            ->relations(QAccessible::Label);
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels[0].first->text(QAccessible::Name), u"Security"_s);
    QCOMPARE(nameOf(child<QLineEdit>(w, u"txtPort"_s)), u"Port"_s);
    QCOMPARE(nameOf(child<QCheckBox>(w, u"chkFeatureClock"_s)), u"Orvella Clock"_s);
    // The field that takes the focus carries the page's words for a screen reader.
    child<QLineEdit>(w, u"txtPOPServer"_s)->setText(u"pop.example.net"_s);
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    QVERIFY(QAccessible::queryAccessibleInterface(child<QLineEdit>(w, u"txtPOPServer"_s))
                ->text(QAccessible::Description)
                .startsWith(u"Please fill, your incoming mail server address."_s));
}

namespace {

// The columns of widget that hold ink: the first and the last (-1 when none).
std::pair<int, int> inkColumns(QWidget* widget)
{
    const QImage image = widget->grab().toImage();
    const QRgb background = image.pixel(0, 0);
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (qGray(image.pixel(x, y)) < qGray(background) - 60) {
                if (first < 0) first = x;
                last = x;
                break;
            }
    return {first, last};
}

} // namespace

// "Please Click Here, to find out ...": the link stands between its words as
// a word does, with a blank before it and none before the comma.
void tst_SetupWizard::linkReadsAsPartOfItsSentence()
{
    Rig rig;
    auto w = rig.open(SetupWizard::PageEMail);
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    WizardLink* link = child<WizardLink>(w, u"lblClickHere"_s);
    QLabel *before = nullptr, *after = nullptr;
    for (QLabel* label : link->parentWidget()->findChildren<QLabel*>()) {
        if (label->text() == u"Please"_s) before = label;
        if (label->text().startsWith(u", to find out"_s)) after = label;
    }
    QVERIFY(before && after);
    const auto [pleaseFirst, pleaseLast] = inkColumns(before);
    const auto [linkFirst, linkLast] = inkColumns(link);
    const auto [commaFirst, commaLast] = inkColumns(after);
    QVERIFY(pleaseLast >= 0 && linkFirst >= 0 && commaFirst >= 0);
    const int blank = link->x() + linkFirst - (before->x() + pleaseLast);
    const int beforeComma = after->x() + commaFirst - (link->x() + linkLast);
    const int space = after->fontMetrics().horizontalAdvance(u' ');
    const QString gaps =
        u"blank %1, before the comma %2, a space %3"_s.arg(blank).arg(beforeComma).arg(space);
    QVERIFY2(blank >= space, qPrintable(gaps));
    QVERIFY2(beforeComma < space && beforeComma < blank, qPrintable(gaps));
}

QTEST_MAIN(tst_SetupWizard)
#include "tst_SetupWizard.moc"
