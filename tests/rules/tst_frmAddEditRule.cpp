#include "platform/Dialogs.h"
#include "rules/frmAddEditRule.h"
#include "settings/CSettings.h"
#include "settings/Program.h"
#include "speech/SpeechOutput.h"
#include "support/FakeAgent.h"
#include "ui/ModalDialogFlag.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::FakeAgent;

namespace {

const QString missingSound =
    u"The sound file you selected, does not exist. Please select an existing WAV file or "
    u"leave the sound file box empty."_s;

CRule rule(int type, const QString& name)
{
    CRule r;
    r.m_Type = type;
    r.m_Name = name;
    return r;
}

void retype(QLineEdit* field, const QString& text)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

} // namespace

class tst_frmAddEditRule : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void instructionsFollowTheType_data();
    void instructionsFollowTheType();
    void fillsFromTheRule();
    void okNeedsText();
    void ignoringKeepsTheSpeakingSettings();
    void missingSoundFileKeepsTheDialogOpen_data();
    void missingSoundFileKeepsTheDialogOpen();
    void blankSoundPathStoredEmpty();
    void overwriteQuestion_data();
    void overwriteQuestion();
    void editingToAnotherRuleAsksNothing();
    void gesturePreview();
    void addRuleFromTheMainWindow_data();
    void addRuleFromTheMainWindow();
    void controlsNamed();

private:
    QTemporaryDir m_app;
    std::unique_ptr<CSettings> m_settings;
    std::unique_ptr<FakeAgent> m_agent;
    std::unique_ptr<SpeechOutput> m_speech;
};

void tst_frmAddEditRule::init()
{
    Program().AppPath = m_app.path();
    QFile::remove(m_app.filePath(u"Rules.INI"_s));
    m_settings = std::make_unique<CSettings>(m_app.path());
    m_settings->m_Hide = false;
    m_agent = std::make_unique<FakeAgent>();
    m_speech = std::make_unique<SpeechOutput>(*m_agent, *m_settings);
    platform::Dialogs::reset();
}

void tst_frmAddEditRule::instructionsFollowTheType_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("instructions");
    QTest::addColumn<QString>("description");
    QTest::newRow("sender") << 0 << u"Sender's name or E-mail address"_s
                            << u"Please type in the sender's name or E-mail address (or part of it)"_s;
    QTest::newRow("subject") << 1 << u"Words appearing in the message subject"_s
                             << u"Please type in the words to look for in the subject."_s;
    QTest::newRow("body") << 2 << u"Words appearing in the message body"_s
                          << u"Please type in the words to look for in the message body."_s;
    QTest::newRow("recipient") << 3 << u"Recipient's name or E-mail address"_s
                               << u"Please type in the recipient's name or E-mail address (or part of it)"_s;
}

void tst_frmAddEditRule::instructionsFollowTheType()
{
    QFETCH(int, type);
    QFETCH(QString, instructions);
    QFETCH(QString, description);
    RuleList rules;
    CRule r;
    frmAddEditRule dlg(rules, m_speech.get());
    dlg.Init(r, m_agent.get(), frmAddEditRule::AddMode);
    dlg.cboRuleType->setCurrentIndex(type);
    QCOMPARE(QString(dlg.lblRuleInstructions->text()).remove(u'&'), instructions);
    QCOMPARE(dlg.lblRuleDescription->text(), description);
    QCOMPARE(dlg.txtName->accessibleName(), instructions);
    QCOMPARE(dlg.lblRuleInstructions->buddy(), dlg.txtName);
}

void tst_frmAddEditRule::fillsFromTheRule()
{
    RuleList rules;
    CRule r = rule(2, u"invoice"_s);
    r.m_WhatToSay = u"Nothing"_s;
    r.m_SoundFile = u"/x/y.wav"_s;
    r.m_MyMessage = u"Money"_s;
    r.m_SayFrom = false;
    r.m_Gesture = u"Dance"_s; // not among the character's gestures
    frmAddEditRule dlg(rules, m_speech.get());
    QCOMPARE(dlg.windowTitle(), u"Add Rule"_s);
    dlg.Init(r, m_agent.get(), frmAddEditRule::EditMode);
    QCOMPARE(dlg.cboRuleType->currentIndex(), 2);
    QCOMPARE(dlg.txtName->text(), u"invoice"_s);
    QVERIFY(dlg.optSayNothing->isChecked());
    QCOMPARE(dlg.txtRuleSound->text(), u"/x/y.wav"_s);
    QCOMPARE(dlg.txtMessage->text(), u"Money"_s);
    QVERIFY(!dlg.chkSayFrom->isChecked());
    QVERIFY(dlg.chkSaySubject->isChecked());
    QCOMPARE(dlg.cboGesture->currentText(), u"None"_s);
    // "None" first, then the gestures without the looping ones.
    QCOMPARE(dlg.cboGesture->itemText(0), u"None"_s);
    QVERIFY(dlg.cboGesture->findText(u"Wave"_s) > 0);
    QCOMPARE(dlg.cboGesture->findText(u"Reading"_s), -1);
}

void tst_frmAddEditRule::okNeedsText()
{
    RuleList rules;
    CRule r;
    frmAddEditRule dlg(rules, m_speech.get());
    dlg.Init(r, m_agent.get(), frmAddEditRule::AddMode);
    dlg.show();
    QVERIFY(!dlg.cmdOK->isEnabled());
    QTest::keyClicks(dlg.txtName, u"   "_s);
    QVERIFY(!dlg.cmdOK->isEnabled());
    // Enter presses the default button; without a text it does nothing.
    QTest::keyClick(dlg.txtName, Qt::Key_Return);
    QVERIFY(dlg.isVisible());
    QVERIFY(!dlg.m_OK);
    QTest::keyClicks(dlg.txtName, u"x"_s);
    QVERIFY(dlg.cmdOK->isEnabled());
    dlg.cmdOK->click();
    QVERIFY(dlg.m_OK);
    // The text is stored as typed, blanks included.
    QCOMPARE(r.m_Name, u"   x"_s);
}

void tst_frmAddEditRule::ignoringKeepsTheSpeakingSettings()
{
    RuleList rules;
    CRule r = rule(0, u"bob"_s);
    frmAddEditRule dlg(rules, m_speech.get());
    dlg.Init(r, m_agent.get(), frmAddEditRule::EditMode);
    QTest::keyClicks(dlg.txtMessage, u"Hi"_s);
    dlg.chkSaySubject->setChecked(false);
    dlg.cboGesture->setCurrentIndex(dlg.cboGesture->findText(u"Wave"_s));
    dlg.optSayNothing->click();
    for (QWidget* w : std::initializer_list<QWidget*>{dlg.txtMessage, dlg.cboGesture, dlg.cmdPreviewGesture,
                                                      dlg.cmdBrowseRuleSound, dlg.txtRuleSound,
                                                      dlg.chkSayFrom, dlg.chkSaySubject, dlg.chkSayMessage})
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    QVERIFY(dlg.cmdOK->isEnabled());
    dlg.cmdOK->click();
    QVERIFY(dlg.m_OK);
    QCOMPARE(r.m_WhatToSay, u"Nothing"_s);
    QCOMPARE(r.m_MyMessage, u"Hi"_s);
    QCOMPARE(r.m_Gesture, u"Wave"_s);
    QVERIFY(!r.m_SaySubject);
    QVERIFY(platform::Dialogs::takeAsked().isEmpty());
}

void tst_frmAddEditRule::missingSoundFileKeepsTheDialogOpen_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("add") << int(frmAddEditRule::AddMode);
    QTest::newRow("edit") << int(frmAddEditRule::EditMode);
}

void tst_frmAddEditRule::missingSoundFileKeepsTheDialogOpen()
{
    QFETCH(int, mode);
    RuleList rules;
    CRule r = rule(0, u"bob"_s);
    const CRule before = r;
    frmAddEditRule dlg(rules, m_speech.get());
    dlg.Init(r, m_agent.get(), mode);
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QCOMPARE(dlg.focusWidget(), dlg.txtName); // opened in the field it asks for
    retype(dlg.txtName, u"alice"_s);
    QTest::keyClicks(dlg.txtRuleSound, m_app.filePath(u"gone.wav"_s));
    platform::Dialogs::queueAnswer(true);
    dlg.cmdOK->click();
    const auto asked = platform::Dialogs::takeAsked();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].title, u"Orvella"_s);
    QCOMPARE(asked[0].text, missingSound);
    QVERIFY(dlg.isVisible());
    // The notice closed, the editor is active again: the focus is back in
    // the field the notice was about, not in the rule's text.
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&dlg, &activate);
    QCOMPARE(dlg.focusWidget(), dlg.txtRuleSound);
    QVERIFY(!dlg.m_OK);
    QCOMPARE(r, before);

    // An existing file is taken.
    QFile wav(m_app.filePath(u"here.wav"_s));
    QVERIFY(wav.open(QIODevice::WriteOnly));
    wav.close();
    retype(dlg.txtRuleSound, wav.fileName());
    dlg.cmdOK->click();
    QVERIFY(dlg.m_OK);
    QCOMPARE(r.m_SoundFile, wav.fileName());
    QCOMPARE(r.m_Name, u"alice"_s);
}

void tst_frmAddEditRule::blankSoundPathStoredEmpty()
{
    RuleList rules;
    CRule r = rule(0, u"bob"_s);
    r.m_SoundFile = u"/old.wav"_s;
    frmAddEditRule dlg(rules, m_speech.get());
    dlg.Init(r, m_agent.get(), frmAddEditRule::EditMode);
    retype(dlg.txtRuleSound, u"   "_s);
    dlg.cmdOK->click();
    QVERIFY(dlg.m_OK);
    QCOMPARE(r.m_SoundFile, QString());
}

void tst_frmAddEditRule::overwriteQuestion_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes replaces the old rule") << true;
    QTest::newRow("No keeps the dialog open") << false;
}

void tst_frmAddEditRule::overwriteQuestion()
{
    QFETCH(bool, yes);
    RuleList rules{rule(0, u"bob"_s), rule(1, u"bob"_s)};
    rules[0].m_MyMessage = u"old"_s;
    CRule r;
    frmAddEditRule dlg(rules, m_speech.get());
    dlg.Init(r, m_agent.get(), frmAddEditRule::AddMode);
    dlg.show();
    QTest::keyClicks(dlg.txtName, u"bob"_s);
    QTest::keyClicks(dlg.txtMessage, u"new"_s);
    platform::Dialogs::queueAnswer(yes);
    dlg.cmdOK->click();
    const auto asked = platform::Dialogs::takeAsked();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].title, u"Rule already exists"_s);
    QCOMPARE(asked[0].text,
             u"A Rule for bob already exists.\r\n\r\nWould you like to overwrite the current Rule?"_s);
    QCOMPARE(dlg.m_OK, yes);
    QCOMPARE(dlg.isVisible(), !yes);
    if (yes) {
        // The subject rule of the same text is another rule and stays.
        QCOMPARE(rules.size(), 1);
        QCOMPARE(rules[0].m_Type, 1);
        return;
    }
    QCOMPARE(rules.size(), 2);
    QCOMPARE(rules[0].m_MyMessage, u"old"_s);
    // A changed text is asked about again only when it repeats a rule.
    retype(dlg.txtName, u"carol"_s);
    dlg.cmdOK->click();
    QVERIFY(platform::Dialogs::takeAsked().isEmpty());
    QVERIFY(dlg.m_OK);
}

void tst_frmAddEditRule::editingToAnotherRuleAsksNothing()
{
    RuleList rules{rule(0, u"bob"_s), rule(0, u"carol"_s)};
    frmAddEditRule dlg(rules, m_speech.get());
    dlg.Init(rules[1], m_agent.get(), frmAddEditRule::EditMode);
    retype(dlg.txtName, u"bob"_s);
    dlg.cmdOK->click();
    QVERIFY(dlg.m_OK);
    QVERIFY(platform::Dialogs::takeAsked().isEmpty());
    QCOMPARE(rules.size(), 2);
    QCOMPARE(rules[1].m_Name, u"bob"_s);
}

void tst_frmAddEditRule::gesturePreview()
{
    m_settings->m_Behavior = 3; // previews speak whatever the behaviour
    RuleList rules;
    CRule r = rule(0, u"bob"_s);
    frmAddEditRule dlg(rules, m_speech.get());
    dlg.Init(r, m_agent.get(), frmAddEditRule::AddMode);
    dlg.cboGesture->setCurrentIndex(dlg.cboGesture->findText(u"Sad"_s));
    m_agent->calls.clear();
    dlg.cmdPreviewGesture->click();
    QCOMPARE(m_agent->calls, (QStringList{u"Show(fast)"_s, u"Play(Sad)"_s,
                                          u"Speak(\\Pit=50\\\\Spd=150\\\\Chr=\"Normal\"\\New Message.)"_s}));
}

void tst_frmAddEditRule::addRuleFromTheMainWindow_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("ok");
    QTest::newRow("address, OK") << u"bob@example.com"_s << u"Add Rule for bob@example.com"_s << true;
    QTest::newRow("address, Cancel") << u"bob@example.com"_s << u"Add Rule for bob@example.com"_s << false;
    QTest::newRow("no address") << QString() << u"Add Rule"_s << true;
}

void tst_frmAddEditRule::addRuleFromTheMainWindow()
{
    QFETCH(QString, address);
    QFETCH(QString, caption);
    QFETCH(bool, ok);
    RuleList rules{rule(1, u"other"_s)};
    bool flag = false;
    const ModalDialogFlag modal{[&] { return flag; }, [&](bool on) { flag = on; }};
    bool sawIt = false;
    QTimer::singleShot(0, this, [&] {
        auto* dlg = qobject_cast<frmAddEditRule*>(QApplication::activeModalWidget());
        QVERIFY(dlg);
        sawIt = flag && dlg->windowTitle() == caption && dlg->txtName->text() == address &&
                dlg->cboRuleType->currentIndex() == 0;
        if (address.isEmpty()) QTest::keyClicks(dlg->txtName, u"typed"_s);
        (ok ? dlg->cmdOK : dlg->cmdCancel)->click();
    });
    const bool added = frmAddEditRule::AddRule(address, rules, m_speech.get(), m_agent.get(), modal, nullptr);
    QVERIFY(sawIt);
    QVERIFY(!flag);
    QCOMPARE(added, ok);
    QCOMPARE(rules.size(), ok ? 2 : 1);
    QCOMPARE(QFile::exists(m_app.filePath(u"Rules.INI"_s)), ok);
    if (ok)
        QCOMPARE(LoadRules(m_app.filePath(u"Rules.INI"_s)).value(1).m_Name,
                 address.isEmpty() ? u"typed"_s : address);
}

void tst_frmAddEditRule::controlsNamed()
{
    RuleList rules;
    frmAddEditRule dlg(rules, m_speech.get());
    for (QWidget* w : dlg.findChildren<QWidget*>()) {
        if (w->objectName().isEmpty() || w->objectName().startsWith(u"qt_"_s) || qobject_cast<QLabel*>(w) ||
            qobject_cast<QGroupBox*>(w))
            continue;
        QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
    }
    QCOMPARE(dlg.txtRuleSound->accessibleName(), u"Play this sound file"_s);
    QCOMPARE(dlg.cboGesture->accessibleName(), u"Make this gesture"_s);
    QCOMPARE(dlg.cmdCancel->text(), u"&Cancel"_s);
}

QTEST_MAIN(tst_frmAddEditRule)
#include "tst_frmAddEditRule.moc"
