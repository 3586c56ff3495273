#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "core/speech/SpeechOutput.h"
#include "gui/dialogs/RuleDialog.h"
#include "gui/widgets/Dialogs.h"
#include "support/FakeAgent.h"
#include "support/Widgets.h"

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
using orvella::test::child;
using namespace orvella;
using orvella::test::FakeAgent;

namespace {

const QString missingSound =
    u"The sound file you selected, does not exist. Please select an existing WAV file or "
    u"leave the sound file box empty."_s;

Rule rule(int type, const QString& name)
{
    Rule r;
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

class tst_RuleDialog : public QObject
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
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<FakeAgent> m_agent;
    std::unique_ptr<SpeechOutput> m_speech;
};

void tst_RuleDialog::init()
{
    Program().AppPath = m_app.path();
    QFile::remove(m_app.filePath(u"Rules.INI"_s));
    m_settings = std::make_unique<Settings>(m_app.path());
    m_settings->m_Hide = false;
    m_agent = std::make_unique<FakeAgent>();
    m_speech = std::make_unique<SpeechOutput>(*m_agent, *m_settings);
    Dialogs::reset();
}

void tst_RuleDialog::instructionsFollowTheType_data()
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

void tst_RuleDialog::instructionsFollowTheType()
{
    QFETCH(int, type);
    QFETCH(QString, instructions);
    QFETCH(QString, description);
    RuleList rules;
    Rule r;
    RuleDialog dlg(rules, m_speech.get());
    dlg.Init(r, m_agent.get(), RuleDialog::AddMode);
    child<QComboBox>(&dlg, u"cboRuleType"_s)->setCurrentIndex(type);
    QCOMPARE(QString(child<QLabel>(&dlg, u"lblRuleInstructions"_s)->text()).remove(u'&'), instructions);
    QCOMPARE(child<QLabel>(&dlg, u"lblRuleDescription"_s)->text(), description);
    QCOMPARE(child<QLineEdit>(&dlg, u"txtName"_s)->accessibleName(), instructions);
    QCOMPARE(child<QLabel>(&dlg, u"lblRuleInstructions"_s)->buddy(), child<QLineEdit>(&dlg, u"txtName"_s));
}

void tst_RuleDialog::fillsFromTheRule()
{
    RuleList rules;
    Rule r = rule(2, u"invoice"_s);
    r.m_WhatToSay = u"Nothing"_s;
    r.m_SoundFile = u"/x/y.wav"_s;
    r.m_MyMessage = u"Money"_s;
    r.m_SayFrom = false;
    r.m_Gesture = u"Dance"_s; // not among the character's gestures
    RuleDialog dlg(rules, m_speech.get());
    QCOMPARE(dlg.windowTitle(), u"Add Rule"_s);
    dlg.Init(r, m_agent.get(), RuleDialog::EditMode);
    QCOMPARE(child<QComboBox>(&dlg, u"cboRuleType"_s)->currentIndex(), 2);
    QCOMPARE(child<QLineEdit>(&dlg, u"txtName"_s)->text(), u"invoice"_s);
    QVERIFY(child<QRadioButton>(&dlg, u"optSayNothing"_s)->isChecked());
    QCOMPARE(child<QLineEdit>(&dlg, u"txtRuleSound"_s)->text(), u"/x/y.wav"_s);
    QCOMPARE(child<QLineEdit>(&dlg, u"txtMessage"_s)->text(), u"Money"_s);
    QVERIFY(!child<QCheckBox>(&dlg, u"chkSayFrom"_s)->isChecked());
    QVERIFY(child<QCheckBox>(&dlg, u"chkSaySubject"_s)->isChecked());
    QCOMPARE(child<QComboBox>(&dlg, u"cboGesture"_s)->currentText(), u"None"_s);
    // "None" first, then the gestures without the looping ones.
    QCOMPARE(child<QComboBox>(&dlg, u"cboGesture"_s)->itemText(0), u"None"_s);
    QVERIFY(child<QComboBox>(&dlg, u"cboGesture"_s)->findText(u"Wave"_s) > 0);
    QCOMPARE(child<QComboBox>(&dlg, u"cboGesture"_s)->findText(u"Reading"_s), -1);
}

void tst_RuleDialog::okNeedsText()
{
    RuleList rules;
    Rule r;
    RuleDialog dlg(rules, m_speech.get());
    dlg.Init(r, m_agent.get(), RuleDialog::AddMode);
    dlg.show();
    QVERIFY(!child<QPushButton>(&dlg, u"cmdOK"_s)->isEnabled());
    QTest::keyClicks(child<QLineEdit>(&dlg, u"txtName"_s), u"   "_s);
    QVERIFY(!child<QPushButton>(&dlg, u"cmdOK"_s)->isEnabled());
    // Enter presses the default button; without a text it does nothing.
    QTest::keyClick(child<QLineEdit>(&dlg, u"txtName"_s), Qt::Key_Return);
    QVERIFY(dlg.isVisible());
    QVERIFY(!dlg.m_OK);
    QTest::keyClicks(child<QLineEdit>(&dlg, u"txtName"_s), u"x"_s);
    QVERIFY(child<QPushButton>(&dlg, u"cmdOK"_s)->isEnabled());
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QVERIFY(dlg.m_OK);
    // The text is stored as typed, blanks included.
    QCOMPARE(r.m_Name, u"   x"_s);
}

void tst_RuleDialog::ignoringKeepsTheSpeakingSettings()
{
    RuleList rules;
    Rule r = rule(0, u"bob"_s);
    RuleDialog dlg(rules, m_speech.get());
    dlg.Init(r, m_agent.get(), RuleDialog::EditMode);
    QTest::keyClicks(child<QWidget>(&dlg, u"txtMessage"_s), u"Hi"_s);
    child<QCheckBox>(&dlg, u"chkSaySubject"_s)->setChecked(false);
    child<QComboBox>(&dlg, u"cboGesture"_s)
        ->setCurrentIndex(child<QComboBox>(&dlg, u"cboGesture"_s)->findText(u"Wave"_s));
    child<QRadioButton>(&dlg, u"optSayNothing"_s)->click();
    for (QWidget* w : std::initializer_list<QWidget*>{
             child<QWidget>(&dlg, u"txtMessage"_s), child<QComboBox>(&dlg, u"cboGesture"_s),
             child<QPushButton>(&dlg, u"cmdPreviewGesture"_s),
             child<QPushButton>(&dlg, u"cmdBrowseRuleSound"_s), child<QLineEdit>(&dlg, u"txtRuleSound"_s),
             child<QCheckBox>(&dlg, u"chkSayFrom"_s), child<QCheckBox>(&dlg, u"chkSaySubject"_s),
             child<QCheckBox>(&dlg, u"chkSayMessage"_s)})
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    QVERIFY(child<QPushButton>(&dlg, u"cmdOK"_s)->isEnabled());
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QVERIFY(dlg.m_OK);
    QCOMPARE(r.m_WhatToSay, u"Nothing"_s);
    QCOMPARE(r.m_MyMessage, u"Hi"_s);
    QCOMPARE(r.m_Gesture, u"Wave"_s);
    QVERIFY(!r.m_SaySubject);
    QVERIFY(Dialogs::takeAsked().isEmpty());
}

void tst_RuleDialog::missingSoundFileKeepsTheDialogOpen_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("add") << int(RuleDialog::AddMode);
    QTest::newRow("edit") << int(RuleDialog::EditMode);
}

void tst_RuleDialog::missingSoundFileKeepsTheDialogOpen()
{
    QFETCH(int, mode);
    RuleList rules;
    Rule r = rule(0, u"bob"_s);
    const Rule before = r;
    RuleDialog dlg(rules, m_speech.get());
    dlg.Init(r, m_agent.get(), mode);
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QCOMPARE(dlg.focusWidget(), child<QLineEdit>(&dlg, u"txtName"_s)); // opened in the field it asks for
    retype(child<QLineEdit>(&dlg, u"txtName"_s), u"alice"_s);
    QTest::keyClicks(child<QLineEdit>(&dlg, u"txtRuleSound"_s), m_app.filePath(u"gone.wav"_s));
    Dialogs::queueAnswer(true);
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    const auto asked = Dialogs::takeAsked();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].title, u"Orvella"_s);
    QCOMPARE(asked[0].text, missingSound);
    QVERIFY(dlg.isVisible());
    // The notice closed, the editor is active again: the focus is back in
    // the field the notice was about, not in the rule's text.
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&dlg, &activate);
    QCOMPARE(dlg.focusWidget(), child<QLineEdit>(&dlg, u"txtRuleSound"_s));
    QVERIFY(!dlg.m_OK);
    QCOMPARE(r, before);

    // An existing file is taken.
    QFile wav(m_app.filePath(u"here.wav"_s));
    QVERIFY(wav.open(QIODevice::WriteOnly));
    wav.close();
    retype(child<QLineEdit>(&dlg, u"txtRuleSound"_s), wav.fileName());
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QVERIFY(dlg.m_OK);
    QCOMPARE(r.m_SoundFile, wav.fileName());
    QCOMPARE(r.m_Name, u"alice"_s);
}

void tst_RuleDialog::blankSoundPathStoredEmpty()
{
    RuleList rules;
    Rule r = rule(0, u"bob"_s);
    r.m_SoundFile = u"/old.wav"_s;
    RuleDialog dlg(rules, m_speech.get());
    dlg.Init(r, m_agent.get(), RuleDialog::EditMode);
    retype(child<QLineEdit>(&dlg, u"txtRuleSound"_s), u"   "_s);
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QVERIFY(dlg.m_OK);
    QCOMPARE(r.m_SoundFile, QString());
}

void tst_RuleDialog::overwriteQuestion_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes replaces the old rule") << true;
    QTest::newRow("No keeps the dialog open") << false;
}

void tst_RuleDialog::overwriteQuestion()
{
    QFETCH(bool, yes);
    RuleList rules{rule(0, u"bob"_s), rule(1, u"bob"_s)};
    rules[0].m_MyMessage = u"old"_s;
    Rule r;
    RuleDialog dlg(rules, m_speech.get());
    dlg.Init(r, m_agent.get(), RuleDialog::AddMode);
    dlg.show();
    QTest::keyClicks(child<QLineEdit>(&dlg, u"txtName"_s), u"bob"_s);
    QTest::keyClicks(child<QWidget>(&dlg, u"txtMessage"_s), u"new"_s);
    Dialogs::queueAnswer(yes);
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    const auto asked = Dialogs::takeAsked();
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
    retype(child<QLineEdit>(&dlg, u"txtName"_s), u"carol"_s);
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QVERIFY(Dialogs::takeAsked().isEmpty());
    QVERIFY(dlg.m_OK);
}

void tst_RuleDialog::editingToAnotherRuleAsksNothing()
{
    RuleList rules{rule(0, u"bob"_s), rule(0, u"carol"_s)};
    RuleDialog dlg(rules, m_speech.get());
    dlg.Init(rules[1], m_agent.get(), RuleDialog::EditMode);
    retype(child<QLineEdit>(&dlg, u"txtName"_s), u"bob"_s);
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QVERIFY(dlg.m_OK);
    QVERIFY(Dialogs::takeAsked().isEmpty());
    QCOMPARE(rules.size(), 2);
    QCOMPARE(rules[1].m_Name, u"bob"_s);
}

void tst_RuleDialog::gesturePreview()
{
    m_settings->m_Behavior = 3; // previews speak whatever the behaviour
    RuleList rules;
    Rule r = rule(0, u"bob"_s);
    RuleDialog dlg(rules, m_speech.get());
    dlg.Init(r, m_agent.get(), RuleDialog::AddMode);
    child<QComboBox>(&dlg, u"cboGesture"_s)
        ->setCurrentIndex(child<QComboBox>(&dlg, u"cboGesture"_s)->findText(u"Sad"_s));
    m_agent->calls.clear();
    child<QPushButton>(&dlg, u"cmdPreviewGesture"_s)->click();
    QCOMPARE(m_agent->calls, (QStringList{u"Show(fast)"_s, u"Play(Sad)"_s,
                                          u"Speak(\\Pit=50\\\\Spd=150\\\\Chr=\"Normal\"\\New Message.)"_s}));
}

void tst_RuleDialog::addRuleFromTheMainWindow_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("ok");
    QTest::newRow("address, OK") << u"bob@example.com"_s << u"Add Rule for bob@example.com"_s << true;
    QTest::newRow("address, Cancel") << u"bob@example.com"_s << u"Add Rule for bob@example.com"_s << false;
    QTest::newRow("no address") << QString() << u"Add Rule"_s << true;
}

void tst_RuleDialog::addRuleFromTheMainWindow()
{
    QFETCH(QString, address);
    QFETCH(QString, caption);
    QFETCH(bool, ok);
    RuleList rules{rule(1, u"other"_s)};
    bool sawIt = false;
    QTimer::singleShot(0, this, [&] {
        auto* dlg = qobject_cast<RuleDialog*>(QApplication::activeModalWidget());
        QVERIFY(dlg);
        sawIt = QApplication::activeModalWidget() != nullptr && dlg->windowTitle() == caption &&
                child<QLineEdit>(dlg, u"txtName"_s)->text() == address &&
                child<QComboBox>(dlg, u"cboRuleType"_s)->currentIndex() == 0;
        if (address.isEmpty()) QTest::keyClicks(child<QLineEdit>(dlg, u"txtName"_s), u"typed"_s);
        (ok ? child<QPushButton>(dlg, u"cmdOK"_s) : child<QPushButton>(dlg, u"cmdCancel"_s))->click();
    });
    const bool added = RuleDialog::AddRule(address, rules, m_speech.get(), m_agent.get(), nullptr);
    QVERIFY(sawIt);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(added, ok);
    QCOMPARE(rules.size(), ok ? 2 : 1);
    QCOMPARE(QFile::exists(m_app.filePath(u"Rules.INI"_s)), ok);
    if (ok)
        QCOMPARE(LoadRules(m_app.filePath(u"Rules.INI"_s)).value(1).m_Name,
                 address.isEmpty() ? u"typed"_s : address);
}

void tst_RuleDialog::controlsNamed()
{
    RuleList rules;
    RuleDialog dlg(rules, m_speech.get());
    for (QWidget* w : dlg.findChildren<QWidget*>()) {
        if (w->objectName().isEmpty() || w->objectName().startsWith(u"qt_"_s) || qobject_cast<QLabel*>(w) ||
            qobject_cast<QGroupBox*>(w))
            continue;
        QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
    }
    QCOMPARE(child<QLineEdit>(&dlg, u"txtRuleSound"_s)->accessibleName(), u"Play this sound file"_s);
    QCOMPARE(child<QComboBox>(&dlg, u"cboGesture"_s)->accessibleName(), u"Make this gesture"_s);
    QCOMPARE(child<QPushButton>(&dlg, u"cmdCancel"_s)->text(), u"&Cancel"_s);
}

QTEST_MAIN(tst_RuleDialog)
#include "tst_RuleDialog.moc"
