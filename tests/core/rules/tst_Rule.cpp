#include "core/message/MailMessage.h"
#include "core/rules/Filter.h"
#include "core/rules/Rule.h"
#include "core/settings/Settings.h"
#include "core/speech/SpeechOutput.h"
#include "gui/dialogs/RuleDialog.h"
#include "gui/widgets/Dialogs.h"
#include "platform/ProfileFile.h"
#include "support/FakeAgent.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::FakeAgent;

namespace {

const QString prefix = u"\\Pit=50\\\\Spd=150\\\\Chr=\"Normal\"\\"_s;

MailMessage message(const QString& from, const QString& subject, const QString& body = {},
                    const QString& to = {})
{
    MailMessage m;
    m.m_FullFrom = from;
    m.m_Subject = subject;
    m.m_Content = body;
    m.m_FullTo = to;
    return m;
}

Rule rule(int type, const QString& name)
{
    Rule r;
    r.m_Type = type;
    r.m_Name = name;
    return r;
}

} // namespace

class tst_Rule : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void matches_data();
    void matches();
    void sayComposes_data();
    void sayComposes();
    void nothingRulePassesOver();
    void firstMatchWins();
    void promptAnsweredNoPassesOver();
    void noMatchLeavesMessage();
    void filtersApplyToRuleText();
    void displayName();
    void loadAndSave();
    void overwriteQuestion();

private:
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<FakeAgent> m_agent;
    std::unique_ptr<SpeechOutput> m_speech;
};

void tst_Rule::init()
{
    m_settings = std::make_unique<Settings>(u"/nowhere"_s);
    m_settings->m_Hide = false;
    m_agent = std::make_unique<FakeAgent>();
    m_speech = std::make_unique<SpeechOutput>(*m_agent, *m_settings);
    Dialogs::reset();
}

void tst_Rule::matches_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("to");
    QTest::addColumn<bool>("expected");
    QTest::newRow("sender by display name, any case")
        << 0 << u"BILLING"_s << u"\"Billing Office\" <acct@example.com>"_s << u""_s << u""_s << u""_s << true;
    QTest::newRow("sender by address when name is empty")
        << 0 << u"BILLING"_s << u"<billing@example.com>"_s << u""_s << u""_s << u""_s << true;
    QTest::newRow("sender elsewhere does not match")
        << 0 << u"billing"_s << u"Ann <ann@example.com>"_s << u"billing"_s << u""_s << u""_s << false;
    QTest::newRow("subject inside a longer word")
        << 1 << u"port"_s << u"x"_s << u"Monthly Report"_s << u""_s << u""_s << true;
    QTest::newRow("body") << 2 << u"invoice"_s << u"x"_s << u""_s << u"your INVOICE is due"_s << u""_s
                          << true;
    QTest::newRow("recipient") << 3 << u"team@"_s << u"x"_s << u""_s << u""_s << u"Team <TEAM@corp.example>"_s
                               << true;
    QTest::newRow("unknown type never matches")
        << 9 << u"x"_s << u"x"_s << u"x"_s << u"x"_s << u"x"_s << false;
}

void tst_Rule::matches()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(QString, from);
    QFETCH(QString, subject);
    QFETCH(QString, body);
    QFETCH(QString, to);
    QFETCH(bool, expected);
    QCOMPARE(rule(type, name).Matches(message(from, subject, body, to)), expected);
}

void tst_Rule::sayComposes_data()
{
    QTest::addColumn<bool>("readNo");
    QTest::addColumn<QString>("myMessage");
    QTest::addColumn<bool>("sayFrom");
    QTest::addColumn<bool>("saySubject");
    QTest::addColumn<bool>("sayBody");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("expected");
    QTest::newRow("everything")
        << true << u"Boss mail"_s << true << true << true << u"Plans"_s
        << u"Message Number 3. Boss mail. Message from Ann. about Plans. \r\nbody text. "_s;
    QTest::newRow("no number") << false << u""_s << true << false << false << u"Plans"_s
                               << u"Message from Ann. "_s;
    QTest::newRow("blank subject skipped") << false << u""_s << false << true << false << u"   "_s << u""_s;
    QTest::newRow("all off speaks empty text")
        << false << u""_s << false << false << false << u"Plans"_s << u""_s;
}

void tst_Rule::sayComposes()
{
    QFETCH(bool, readNo);
    QFETCH(QString, myMessage);
    QFETCH(bool, sayFrom);
    QFETCH(bool, saySubject);
    QFETCH(bool, sayBody);
    QFETCH(QString, subject);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString wav = dir.filePath(u"r.wav"_s);
    QFile f(wav);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("RIFF");
    f.close();

    m_settings->m_ReadMessageNo = readNo;
    m_settings->m_BeforeSubject = u"about"_s;
    Rule r = rule(0, u"ann"_s);
    r.m_MyMessage = myMessage;
    r.m_SayFrom = sayFrom;
    r.m_SaySubject = saySubject;
    r.m_SayMessage = sayBody;
    r.m_SoundFile = wav;
    r.m_Gesture = u"Wave"_s;
    MailMessage m = message(u"Ann <ann@example.com>"_s, subject, u"body text"_s);
    m.m_MesssageIdx = 3;
    QVERIFY(r.Say(m, *m_speech));
    QCOMPARE(
        m_agent->calls,
        (QStringList{u"Show(fast)"_s, u"SpeakFile("_s + wav + u')', u"Speak(\\Mrk=3\\)"_s, u"Show(fast)"_s,
                     u"Play(Wave)"_s, u"Speak("_s + prefix + expected + u')', u"Speak(\\Mrk=100003\\)"_s}));
}

void tst_Rule::nothingRulePassesOver()
{
    Rule r = rule(1, u"spam"_s);
    r.m_WhatToSay = u"Nothing"_s;
    MailMessage m = message(u"x"_s, u"SPAM offer"_s);
    m.m_MesssageIdx = 2;
    QVERIFY(ApplyRules({r}, m, *m_speech, {}));
    QCOMPARE(m_agent->calls, (QStringList{u"Speak(\\Mrk=2\\)"_s, u"Speak(\\Mrk=100002\\)"_s}));
}

void tst_Rule::firstMatchWins()
{
    Rule a = rule(1, u"report"_s);
    a.m_MyMessage = u"first"_s;
    Rule b = rule(1, u"port"_s);
    b.m_MyMessage = u"second"_s;
    MailMessage m = message(u"x"_s, u"Report"_s);
    m.m_MesssageIdx = 1;
    QVERIFY(ApplyRules({a, b}, m, *m_speech, {}));
    const QString all = m_agent->calls.join(u'\n');
    QVERIFY(all.contains(u"first. "_s));
    QVERIFY(!all.contains(u"second"_s));
}

void tst_Rule::promptAnsweredNoPassesOver()
{
    MailMessage m = message(u"Ann <a@x>"_s, u"Hi"_s);
    m.m_MesssageIdx = 4;
    int asked = 0;
    QVERIFY(ApplyRules({rule(0, u"ann"_s)}, m, *m_speech, [&](const MailMessage&) {
        ++asked;
        return false;
    }));
    QCOMPARE(asked, 1);
    QCOMPARE(m_agent->calls, (QStringList{u"Speak(\\Mrk=4\\)"_s, u"Speak(\\Mrk=100004\\)"_s}));
}

void tst_Rule::noMatchLeavesMessage()
{
    MailMessage m = message(u"Bob <b@x>"_s, u"Hi"_s);
    int asked = 0;
    QVERIFY(
        !ApplyRules({rule(0, u"ann"_s)}, m, *m_speech, [&](const MailMessage&) { return ++asked, true; }));
    QCOMPARE(asked, 0);
    QVERIFY(m_agent->calls.isEmpty());
}

void tst_Rule::filtersApplyToRuleText()
{
    const FilterList filters{[] {
        Filter f;
        f.m_Type = 1;
        f.m_Name = u"--"_s;
        return f;
    }()};
    m_speech->applyFilters = [&](const QString& t) { return ApplyFilters(filters, t); };
    Rule r = rule(2, u"hello"_s);
    r.m_SayFrom = r.m_SaySubject = false;
    MailMessage m = message(u"x"_s, u""_s, u"hello there\r\n--\r\nsignature"_s);
    m.m_MesssageIdx = 1;
    m_settings->m_ReadMessageNo = false;
    r.Say(m, *m_speech);
    QVERIFY(m_agent->calls.contains(u"Speak("_s + prefix + u"\r\nhello there\r\n)"_s));
}

void tst_Rule::displayName()
{
    QCOMPARE(rule(0, u"a"_s).DisplayName(), u"Look for \"a\" in sender's name or E-mail address."_s);
    QCOMPARE(rule(1, u"a"_s).DisplayName(), u"Look for \"a\" in message subject."_s);
    QCOMPARE(rule(2, u"a"_s).DisplayName(), u"Look for \"a\" in message body."_s);
    QCOMPARE(rule(3, u"a"_s).DisplayName(), u"Look for \"a\" in recipient's name or E-mail address."_s);
    QCOMPARE(rule(5, u"a"_s).DisplayName(), u"Look for \"a\" in "_s);
}

void tst_Rule::loadAndSave()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Rules.INI"_s);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Rule 1]\r\nName=boss\r\nSayFrom=YES\r\nSaySubject=true\r\nSayMessage=1\r\nType=abc\r\n"
            "[Rule 2]\r\nName=BOSS\r\nType=1\r\n"
            "[Rule 3]\r\nName=news\r\nType=1\r\nWhatToSay=Nothing\r\nGesture=Sad\r\n"
            "[Rule 5]\r\nName=unreachable\r\n");
    f.close();
    platform::invalidateProfileCache();
    RuleList rules = LoadRules(path);
    QCOMPARE(rules.size(), 2);
    QCOMPARE(rules[0].m_Name, u"boss"_s);
    QCOMPARE(rules[0].m_Type, 0);
    QVERIFY(rules[0].m_SayFrom && !rules[0].m_SaySubject && !rules[0].m_SayMessage);
    QCOMPARE(rules[0].m_Gesture, u"Read"_s);
    QCOMPARE(rules[1].m_WhatToSay, u"Nothing"_s);
    QCOMPARE(rules[1].m_Gesture, u"Sad"_s);

    rules.append(rule(3, u"me@"_s));
    rules.removeAt(1);
    QVERIFY(SaveRules(rules, path));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    f.close();
    QCOMPARE(text,
             u"[Rule 1]\r\nName=boss\r\nWhatToSay=\r\nType=0\r\nMyMessage=\r\nGesture=Read\r\nSoundFile=\r\n"
             u"SayFrom=Yes\r\nSaySubject=No\r\nSayMessage=No\r\n"
             u"[Rule 2]\r\nName=me@\r\nWhatToSay=\r\nType=3\r\nMyMessage=\r\nGesture=Read\r\nSoundFile=\r\n"
             u"SayFrom=Yes\r\nSaySubject=Yes\r\nSayMessage=Yes\r\n"_s);
    QCOMPARE(LoadRules(path), rules);
}

void tst_Rule::overwriteQuestion()
{
    RuleList rules{rule(0, u"Ann"_s), rule(1, u"Ann"_s)};
    // Another type, or another letter case, is another rule.
    QVERIFY(!ConfirmRuleOverwrite(rules, rule(2, u"Ann"_s)));
    QVERIFY(!ConfirmRuleOverwrite(rules, rule(1, u"ann"_s)));
    QVERIFY(Dialogs::takeAsked().isEmpty());

    Dialogs::queueAnswer(false);
    QVERIFY(ConfirmRuleOverwrite(rules, rule(1, u"Ann"_s)));
    QCOMPARE(rules.size(), 2);
    const auto asked = Dialogs::takeAsked();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].title, u"Rule already exists"_s);
    QCOMPARE(asked[0].text,
             u"A Rule for Ann already exists.\r\n\r\nWould you like to overwrite the current Rule?"_s);

    Dialogs::queueAnswer(true);
    QVERIFY(!ConfirmRuleOverwrite(rules, rule(1, u"Ann"_s)));
    QCOMPARE(rules, RuleList{rule(0, u"Ann"_s)});
}

QTEST_MAIN(tst_Rule)
#include "tst_Rule.moc"
