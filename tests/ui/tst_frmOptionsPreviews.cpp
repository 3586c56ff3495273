// The options dialog's previews through the character, the character change,
// the spoken help, account security and certificates, and the keyboard.
#include "OptionsFixture.h"

#include "platform/Dialogs.h"
#include "ui/ControlNames.h"
#include "ui/OptionsAccountsPage.h"
#include "ui/OptionsCharacterPage.h"
#include "ui/OptionsGeneralPage.h"
#include "ui/OptionsWhatToSayPage.h"
#include "ui/frmOptions.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

namespace {

const QString fingerprint = u"3F:9A:00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:01:23:45:67:89:AB:CD:EF:"
                            u"10:32:54:76:98:BA"_s;

QString speak(const QString& text, const QString& voice = u"Normal"_s)
{
    return u"Speak(\\Pit=50\\\\Spd=150\\\\Chr=\""_s + voice + u"\"\\"_s + text + u")"_s;
}

QChar mnemonic(const QString& caption)
{
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != u'&') continue;
        if (caption[i + 1] == u'&') {
            ++i;
            continue;
        }
        return caption[i + 1].toLower();
    }
    return {};
}

} // namespace

class tst_frmOptionsPreviews : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void previews_data();
    void previews();
    void previewsQuietWhileFilling();
    void welcomePreview();
    void characterChangeGreetsAndRefillsGestures();
    void characterThatWillNotLoadStays();
    void cancelKeepsPreviewedFont();
    void readMeAndHelpMeAreSpoken();
    void securityNoneOnlyAfterWarning();
    void trustingAFingerprint();
    void everyControlNamedAndReachable();
    void pagesByAccelerator();
};

void tst_frmOptionsPreviews::previews_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QStringList>("spoken");
    QTest::addColumn<QString>("effect"); // a request the character must have had too

    QTest::newRow("font size") << u"cboFontSize"_s << u"12"_s
                               << QStringList{speak(u"This is how the new font size, will look."_s)}
                               << u"BalloonFontSize(12)"_s;
    QTest::newRow("size") << u"cboSize"_s << u"Large"_s << QStringList{speak(u"I am now Large"_s)}
                          << u"Width(192)"_s;
    QTest::newRow("voice") << u"cboVoiceCharacter"_s << u"Whisper"_s
                           << QStringList{speak(u"This is my new voice."_s, u"Whisper"_s)} << QString();
    QTest::newRow("reading gesture") << u"cboReadingGesture"_s << u"Sad"_s
                                     << QStringList{u"Play(Sad)"_s, speak(QString())} << QString();
    QTest::newRow("new position") << u"cboPosition"_s << u"Top Left"_s
                                  << QStringList{u"Play(GetAttention)"_s,
                                                 speak(u"I am moving to a new place."_s), u"Play(Wave)"_s,
                                                 speak(u"I am now at the Top Left"_s)}
                                  << u"MoveTo(0,0)"_s;
    QTest::newRow("present position")
        << u"cboPosition"_s << u"Center"_s << QStringList{u"Play(Wave)"_s, speak(u"I am now at the Center"_s)}
        << u"MoveTo(436,336)"_s;
}

void tst_frmOptionsPreviews::previews()
{
    QFETCH(QString, control);
    QFETCH(QString, entry);
    QFETCH(QStringList, spoken);
    QFETCH(QString, effect);
    OptionsFixture f;
    frmOptions dlg(*f.services);
    dlg.Init();
    f.agent.calls.clear();
    Choose(dlg.findChild<QComboBox*>(control), entry);
    const QStringList calls = f.agent.takeCalls();
    QStringList speech;
    for (const QString& call : calls)
        if (call.startsWith(u"Speak("_s) || call.startsWith(u"Play("_s)) speech << call;
    QCOMPARE(speech, spoken);
    if (!effect.isEmpty()) QVERIFY2(calls.contains(effect), qPrintable(calls.join(u' ')));
}

void tst_frmOptionsPreviews::previewsQuietWhileFilling()
{
    OptionsFixture f;
    frmOptions dlg(*f.services);
    QVERIFY(!dlg.Ready);
    Choose(dlg.pageCharacter->cboSize, u"Large"_s);
    dlg.Init();
    QVERIFY(dlg.Ready);
    QCOMPARE(f.takeSpeech(), QStringList());
    QCOMPARE(f.settings->m_CharacterSize, 2);
}

void tst_frmOptionsPreviews::welcomePreview()
{
    OptionsFixture f;
    frmOptions dlg(*f.services);
    dlg.Init();
    OptionsWhatToSayPage& page = *dlg.pageWhatToSay;
    QCOMPARE(page.cboWelcomeGesture->currentText(), u"Greet"_s);
    QTest::keyClicks(page.txtWelcomeMessage, u"Nice day."_s);
    Choose(page.cboWelcomeGesture, u"Wave"_s);
    QCOMPARE(f.takeSpeech(), QStringList());
    page.cmdPreviewWelcome->click();
    QCOMPARE(f.takeSpeech(), (QStringList{u"Play(Wave)"_s, speak(u"Welcome Ann.Nice day."_s)}));
}

void tst_frmOptionsPreviews::characterChangeGreetsAndRefillsGestures()
{
    OptionsFixture f;
    frmOptions dlg(*f.services);
    dlg.Init();
    QCOMPARE(dlg.pageGeneral->cboTimeGesture->currentText(), u"Announce"_s);
    // The next character has no "Announce".
    f.agent.animations.removeAll(u"Announce"_s);
    // While the dialog shows, the character's "Options" is off, also on a new character.
    f.agent.setCommandEnabled(u"Options"_s, false);
    Choose(dlg.pageCharacter->cboCharacter, u"other.acs"_s);
    QVERIFY(!f.agent.commandEnabled(u"Options"_s));
    QVERIFY(f.agent.commandEnabled(u"Read Clipboard"_s));
    const QStringList calls = f.agent.takeCalls();
    QVERIFY2(calls.contains(u"Load(EMailAgent,%1/Other.ACS)"_s.arg(f.appPath())),
             qPrintable(calls.join(u' ')));
    QVERIFY(calls.contains(u"Play(Wave)"_s));
    QVERIFY(calls.contains(speak(u"Hi Ann. My name is Fake. Thanks for selecting me."_s)));
    QCOMPARE(dlg.LoadedCharacter, u"other.acs"_s);
    QCOMPARE(f.settings->m_CharacterName, u"other.acs"_s);
    QCOMPARE(dlg.pageGeneral->cboTimeGesture->currentText(), u"None"_s);
    QCOMPARE(dlg.pageCharacter->cboReadingGesture->currentText(), u"Read"_s);

    // Choosing the loaded character again greets without loading.
    Choose(dlg.pageCharacter->cboCharacter, u"other.acs"_s);
    const QStringList again = f.agent.takeCalls();
    QVERIFY(!again.join(u' ').contains(u"Load("_s));
    QVERIFY(again.contains(speak(u"Hi Ann. My name is Fake. Thanks for selecting me."_s)));
}

void tst_frmOptionsPreviews::characterThatWillNotLoadStays()
{
    OptionsFixture f;
    const QByteArray before = f.iniBytes();
    frmOptions dlg(*f.services);
    dlg.Init();
    dlg.show();
    f.agent.failLoad = true;
    Choose(dlg.pageCharacter->cboCharacter, u"third.acs"_s);
    QCOMPARE(f.takeSpeech(), QStringList());
    QCOMPARE(f.settings->m_CharacterName, u"vela.acs"_s);
    QCOMPARE(dlg.LoadedCharacter, u"vela.acs"_s);
    QCOMPARE(dlg.pageCharacter->cboCharacter->currentText(), u"vela.acs"_s);

    // OK with a character that will not load keeps the dialog open and saves nothing.
    dlg.pageCharacter->cboCharacter->setCurrentIndex(
        dlg.pageCharacter->cboCharacter->findText(u"third.acs"_s));
    dlg.cmdOK->click();
    QVERIFY(dlg.isVisible());
    QCOMPARE(f.settings->m_CharacterName, u"vela.acs"_s);
    QCOMPARE(f.iniBytes(), before);
}

void tst_frmOptionsPreviews::cancelKeepsPreviewedFont()
{
    OptionsFixture f;
    const QByteArray before = f.iniBytes();
    frmOptions dlg(*f.services);
    dlg.Init();
    QComboBox* fonts = dlg.pageCharacter->cboFontName;
    const QString font = fonts->itemText(fonts->count() - 1);
    Choose(fonts, font);
    QCOMPARE(f.takeSpeech(), QStringList{speak(u"This is how the "_s + font + u" font, will look."_s)});
    QCOMPARE(f.agent.balloonFontName, font);
    dlg.cmdCancel->click();
    QCOMPARE(f.settings->m_FontName, font);
    QCOMPARE(f.iniBytes(), before);
}

void tst_frmOptionsPreviews::readMeAndHelpMeAreSpoken()
{
    OptionsFixture f;
    frmOptions dlg(*f.services);
    dlg.Init();
    OptionsAccountsPage& page = *dlg.pageAccounts;
    page.cmdNotice->click();
    for (QPushButton* help : page.cmdHelpMe)
        help->click();
    page.cmdHelpMe_Click(4);
    QCOMPARE(f.shown.size(), 5);
    for (const ShownMessage& m : f.shown) {
        QVERIFY(m.sayIt);
        QCOMPARE(m.gesture, u"Suggest"_s);
    }
    QVERIFY(f.shown[0].text.startsWith(u"Orvella does not delete E-mail messages from the mail server."_s));
    QVERIFY(f.shown[1].text.contains(u"(Example: pop.example.com)"_s));
    QVERIFY(f.shown[1].text.contains(u"contact support@orvella.example if"_s));
    QVERIFY(f.shown[2].text.startsWith(u"How do I find out what is my account name?"_s));
    QVERIFY(f.shown[3].text.startsWith(u"How do I find out what is my E-mail password?"_s));
    QVERIFY(f.shown[4].text.contains(u"the system's dialer"_s));
    QVERIFY(!f.shown[4].text.contains(u"Windows"_s));

    // Four buttons share the caption, too many for a letter each: F1 in a
    // field (or on its button) gives that field's help.
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    const std::pair<QWidget*, int> fields[] = {{page.txtPOPServer, 1},
                                               {page.txtAccountName, 2},
                                               {page.txtPassword, 3},
                                               {page.optLANUser, 4},
                                               {page.cmdHelpMe[1], 2}};
    for (const auto& [field, shown] : fields) {
        f.shown.clear();
        field->setFocus();
        QTest::keyClick(field, Qt::Key_F1);
        QCOMPARE(f.shown.size(), 1);
        QCOMPARE(f.shown[0].text, OptionsAccountsPage::HelpText(shown - 1));
    }
}

void tst_frmOptionsPreviews::securityNoneOnlyAfterWarning()
{
    OptionsFixture f;
    frmOptions dlg(*f.services);
    dlg.Init();
    OptionsAccountsPage& page = *dlg.pageAccounts;
    CAccount& account = *f.accounts.first();
    QCOMPARE(page.cboSecurity->currentText(), u"Auto"_s);

    platform::Dialogs::queueAnswer(false);
    Choose(page.cboSecurity, u"None"_s);
    const auto asked = platform::Dialogs::takeAsked();
    QCOMPARE(asked.size(), 1);
    QVERIFY(asked[0].text.contains(u"clear text"_s));
    QCOMPARE(page.cboSecurity->currentText(), u"Auto"_s);

    // TLS takes its own port; back to STARTTLS the plain one.
    Choose(page.cboSecurity, u"TLS"_s);
    QCOMPARE(page.txtPort->text(), u"995"_s);
    Choose(page.cboSecurity, u"STARTTLS"_s);
    QCOMPARE(page.txtPort->text(), u"110"_s);
    QVERIFY(platform::Dialogs::takeAsked().isEmpty());

    platform::Dialogs::queueAnswer(true);
    Choose(page.cboSecurity, u"None"_s);
    QCOMPARE(platform::Dialogs::takeAsked().size(), 1);
    QCOMPARE(page.cboSecurity->currentText(), u"None"_s);
    // The account itself changes on OK.
    QCOMPARE(account.m_Security, u"Auto"_s);
    dlg.cmdOK->click();
    QCOMPARE(account.m_Security, u"None"_s);
    QCOMPARE(account.m_Port, 110);
    QCOMPARE(f.ini(u"Account"_s, u"Security"_s), u"None"_s);
}

void tst_frmOptionsPreviews::trustingAFingerprint()
{
    OptionsFixture f;
    CAccount& account = *f.accounts.first();
    frmOptions plain(*f.services);
    plain.Init();
    QVERIFY(!plain.pageAccounts->FrameCertificate->isVisibleTo(&plain));

    account.m_RejectedCertificate = fingerprint;
    frmOptions dlg(*f.services);
    dlg.Init();
    dlg.show();
    OptionsAccountsPage& page = *dlg.pageAccounts;
    QVERIFY(page.FrameCertificate->isVisible());
    QCOMPARE(page.lblFingerprint->text(), fingerprint.left(48) + u'\n' + fingerprint.mid(48));
    QCOMPARE(page.lblFingerprint->text().remove(u'\n'), fingerprint);
    // A screen reader reads the fingerprint itself, whole, beside the label's name.
    QCOMPARE(page.lblFingerprint->accessibleDescription(), fingerprint);
    QVERIFY(page.cmdTrustCertificate->isVisible());
    QVERIFY(!page.cmdForgetCertificate->isVisible());
    page.cmdTrustCertificate->click();
    QVERIFY(!page.cmdTrustCertificate->isVisible());
    QVERIFY(page.cmdForgetCertificate->isVisible());
    QVERIFY(page.lblCertificate->text().contains(u"trusts"_s));
    dlg.cmdOK->click();
    QVERIFY(!dlg.isVisible());
    QCOMPARE(account.m_TrustedCertificate, fingerprint);
    QVERIFY(account.m_RejectedCertificate.isEmpty());
    QCOMPARE(f.ini(u"Account"_s, u"TrustedCertificate"_s), fingerprint);
    // The refused fingerprint itself is never stored.
    QVERIFY(!f.iniBytes().contains("Rejected"));
}

void tst_frmOptionsPreviews::everyControlNamedAndReachable()
{
    OptionsFixture f;
    frmOptions dlg(*f.services);
    dlg.Init();
    const QList<QWidget*> controls = dlg.findChildren<QWidget*>();
    for (QWidget* w : controls) {
        const bool input = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                           qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractItemView*>(w);
        if (!input || w->objectName().isEmpty() || w->objectName().startsWith(u"qt_"_s)) continue;
        QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        QVERIFY2(!w->accessibleName().contains(u'&') && !w->accessibleName().endsWith(u':'),
                 qPrintable(w->accessibleName()));
        QVERIFY2(w->focusPolicy() & Qt::TabFocus, qPrintable(w->objectName()));
    }
    QCOMPARE(dlg.pageAccounts->txtPOPServer->accessibleName(), u"Incoming mail server (POP3)"_s);
    QCOMPARE(dlg.pageWhatToSay->txtFilteredSymbols->accessibleName(),
             u"Don't read the following characters"_s);
    QCOMPARE(dlg.pageCharacter->cboBehavior->accessibleName(), u"Character Behavior"_s);
    QCOMPARE(dlg.pageGeneral->chkAutoStart->accessibleName(),
             u"Start Orvella in the system tray when I log in"_s);

    // A label's accelerator reaches its field, and no two controls a page
    // shows (with the page captions and Cancel) share an accelerator.
    for (int i = 0; i < dlg.tabOptions->count(); ++i) {
        QWidget* page = dlg.tabOptions->widget(i);
        QHash<QChar, QString> taken;
        auto take = [&](const QString& caption) {
            const QChar m = mnemonic(caption);
            if (m.isNull()) return;
            QVERIFY2(!taken.contains(m), qPrintable(caption + u" and "_s + taken.value(m)));
            taken.insert(m, caption);
        };
        for (int t = 0; t < dlg.tabOptions->count(); ++t)
            take(dlg.tabOptions->tabText(t));
        take(dlg.cmdCancel->text());
        for (QLabel* label : page->findChildren<QLabel*>()) {
            if (!mnemonic(label->text()).isNull()) QVERIFY2(label->buddy(), qPrintable(label->text()));
            if (label->isVisibleTo(page)) take(label->text());
        }
        for (QAbstractButton* b : page->findChildren<QAbstractButton*>())
            if (b->isVisibleTo(page)) take(b->text());
        for (QGroupBox* g : page->findChildren<QGroupBox*>())
            take(g->title());
        if (QTest::currentTestFailed()) return;
    }
}

void tst_frmOptionsPreviews::pagesByAccelerator()
{
    OptionsFixture f;
    frmOptions dlg(*f.services);
    dlg.Init();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    const std::pair<Qt::Key, int> keys[] = {{Qt::Key_G, 1}, {Qt::Key_H, 2}, {Qt::Key_W, 3},
                                            {Qt::Key_U, 4}, {Qt::Key_F, 5}, {Qt::Key_A, 0}};
    for (const auto& [key, page] : keys) {
        QTest::keyClick(&dlg, key, Qt::AltModifier);
        QCOMPARE(dlg.tabOptions->currentIndex(), page);
    }
    // A field's label takes it there.
    QTest::keyClick(&dlg, Qt::Key_O, Qt::AltModifier);
    QTRY_COMPARE(QApplication::focusWidget(), dlg.pageAccounts->txtPort);
    dlg.tabOptions->setCurrentIndex(1);
    QTest::keyClick(&dlg, Qt::Key_E, Qt::AltModifier);
    QTRY_COMPARE(QApplication::focusWidget(), dlg.pageGeneral->txtUserName);
}

QTEST_MAIN(tst_frmOptionsPreviews)
#include "tst_frmOptionsPreviews.moc"
