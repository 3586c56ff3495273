#include "settings/CSettings.h"
#include "speech/MessageReader.h"
#include "speech/SpeechOutput.h"
#include "support/FakeAgent.h"

#include <QLabel>
#include <QTest>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::FakeAgent;

namespace {
const QString prefix = u"\\Pit=50\\\\Spd=150\\\\Chr=\"Normal\"\\"_s;

CMessage mail(int i)
{
    CMessage m;
    m.m_FullFrom = u"Sender%1 <s%1@example.com>"_s.arg(i);
    m.m_Subject = u"Subject %1"_s.arg(i);
    m.m_Content = u"Body %1\r\n"_s.arg(i);
    m.m_ID = u"<id%1@x>"_s.arg(i);
    return m;
}
} // namespace

// The reading of new mail against a recording character: what is said, in
// what order, between which bookmarks, and how the bookmark events move on.
class tst_MessageReader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void announcesCount_data();
    void announcesCount();
    void readsAllInOrderAndFinishes();
    void silentBehaviour();
    void nothingNew_data();
    void nothingNew();
    void promptOnceNo();
    void promptEachNoForSecond();
    void specifySendersPassesUnmatched();
    void rulesTakeOver();
    void repeatTwice();
    void nextOnLastFinishes();
    void previousOnFirstReplaysFirst();
    void endMarkAfterStopIgnored();
    void userHidingEndsReading();
    void tellMeReadsStoredMessage();
    void composedTextCleaned();
    void senderWithoutName_data();
    void senderWithoutName();

private:
    void give(int count);
    QStringList spokenTexts() const;

    std::unique_ptr<CSettings> m_settings;
    std::unique_ptr<FakeAgent> m_agent;
    std::unique_ptr<SpeechOutput> m_speech;
    RuleList m_rules;
    std::unique_ptr<MessageReader> m_reader;
    QStringList m_status;
    QList<bool> m_checkControls;
    QList<int> m_prompted;
    QList<bool> m_eachAnswers;
    bool m_onceAnswer = true;
    int m_iconSet = 0;
    int m_launched = 0;
};

void tst_MessageReader::init()
{
    m_settings = std::make_unique<CSettings>(u"/nowhere"_s);
    m_settings->m_Hide = false;
    m_settings->m_WAVNewMessages.clear();
    m_agent = std::make_unique<FakeAgent>();
    m_speech = std::make_unique<SpeechOutput>(*m_agent, *m_settings);
    m_rules.clear();
    m_reader = std::make_unique<MessageReader>(*m_speech, *m_settings, m_rules);
    connect(m_agent.get(), &IAgent::Bookmark, this,
            [this](int id) { m_reader->Agent1_Bookmark(id); });
    m_status.clear();
    m_checkControls.clear();
    m_prompted.clear();
    m_eachAnswers.clear();
    m_onceAnswer = true;
    m_iconSet = m_launched = 0;
    auto& h = m_reader->hooks;
    h.setStatusText = [this](const QString& t) { m_status << t; };
    h.setCheckControls = [this](bool on) { m_checkControls << on; };
    h.mainWindowVisible = [] { return false; };
    h.setNewMailIcon = [this] { ++m_iconSet; };
    h.launch = [this] { ++m_launched; };
    h.promptOnceWindow = [this](const QList<CMessage>&) { return m_onceAnswer; };
    h.promptForMessageWindow = [this](const CMessage& m) {
        m_prompted << m.m_MesssageIdx;
        return m_eachAnswers.isEmpty() ? true : m_eachAnswers.takeFirst();
    };
}

void tst_MessageReader::give(int count)
{
    for (int i = 1; i <= count; ++i)
        m_reader->NewMessages.append(mail(i));
}

// The texts spoken (tags stripped) and bookmarks, in order.
QStringList tst_MessageReader::spokenTexts() const
{
    QStringList out;
    for (const QString& c : m_agent->calls) {
        if (c.startsWith(u"Speak(\\Mrk="_s))
            out << u"#"_s + c.mid(11).chopped(2);
        else if (c.startsWith(u"Speak("_s + prefix))
            out << c.mid(6 + prefix.size()).chopped(1);
    }
    return out;
}

void tst_MessageReader::announcesCount_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("announcement");
    QTest::newRow("one") << 1 << u"One New Message."_s;
    QTest::newRow("three") << 3 << u"3 New Messages."_s;
}

void tst_MessageReader::announcesCount()
{
    QFETCH(int, count);
    QFETCH(QString, announcement);
    give(count);
    m_reader->AnnounceNewMail(false, false);
    QCOMPARE(spokenTexts().first(), announcement);
    QCOMPARE(m_reader->panel.newMessages,
             count == 1 ? u"1 New Message"_s : QString::number(count) + u" New Messages"_s);
    QVERIFY(m_reader->panel.haveNewMessages);
    QCOMPARE(m_iconSet, 1); // the window is hidden: the tray shows new mail
}

void tst_MessageReader::readsAllInOrderAndFinishes()
{
    give(3);
    m_reader->AnnounceNewMail(false, false);
    QVERIFY(m_reader->ReadingActive);
    m_agent->runQueue();
    const QStringList said = spokenTexts();
    QCOMPARE(said,
             (QStringList{u"3 New Messages."_s, u"#1"_s,
                          u"1. Message from Sender1.  Subject 1. \r\nBody 1. "_s, u"#100001"_s, u"#2"_s,
                          u"2. Message from Sender2.  Subject 2. \r\nBody 2. "_s, u"#100002"_s, u"#3"_s,
                          u"3. Message from Sender3.  Subject 3. \r\nBody 3. "_s, u"#100003"_s}));
    // The reading gesture only before the first message.
    QCOMPARE(m_agent->calls.count(u"Play(Read)"_s), 1);
    QVERIFY(m_status.contains(u"Reading message number 3"_s));
    QCOMPARE(m_status.mid(m_status.size() - 2), (QStringList{u"Finished reading message(s)."_s, u"Idle."_s}));
    QVERIFY(!m_reader->ReadingActive);
    QVERIFY(m_reader->NewMessages.isEmpty());
    QCOMPARE(m_checkControls, QList<bool>{true});
    QCOMPARE(m_reader->panel.newMessages, u"Waiting For New Messages"_s);
}

void tst_MessageReader::silentBehaviour()
{
    m_settings->m_Behavior = 3;
    m_settings->m_PromptUser = 1;
    m_onceAnswer = false;
    give(2);
    m_reader->AnnounceNewMail(true, false);
    QVERIFY(m_agent->calls.isEmpty());
    QCOMPARE(m_reader->panel.newMessages, u"2 New Messages"_s);
    QCOMPARE(m_checkControls, QList<bool>{true});
    QVERIFY(!m_reader->ReadingActive);
}

void tst_MessageReader::nothingNew_data()
{
    QTest::addColumn<bool>("checkAll");
    QTest::addColumn<bool>("error");
    QTest::addColumn<QStringList>("said");
    QTest::newRow("minute tick says nothing") << false << false << QStringList{};
    QTest::newRow("user check, no mail") << true << false << QStringList{u"No new messages"_s};
    QTest::newRow("user check with error")
        << true << true << QStringList{u"Error retrieving E-mail. Check the 'Error' Tab for details."_s};
}

void tst_MessageReader::nothingNew()
{
    QFETCH(bool, checkAll);
    QFETCH(bool, error);
    QFETCH(QStringList, said);
    m_settings->m_Behavior = 3; // these texts ignore the behaviour
    m_reader->AnnounceNewMail(checkAll, error);
    QCOMPARE(spokenTexts(), said);
    if (!said.isEmpty())
        QVERIFY(m_agent->calls.contains(u"Play(Sad)"_s));
    QCOMPARE(m_checkControls, QList<bool>{true});
}

void tst_MessageReader::promptOnceNo()
{
    m_settings->m_PromptUser = 1;
    m_onceAnswer = false;
    give(2);
    m_reader->AnnounceNewMail(false, false);
    m_agent->runQueue();
    QCOMPARE(spokenTexts(), QStringList{u"2 New Messages."_s});
    QCOMPARE(m_status.last(), u"Idle."_s);
    QVERIFY(!m_reader->ReadingActive);
    QVERIFY(m_reader->NewMessages.isEmpty());
}

void tst_MessageReader::promptEachNoForSecond()
{
    m_settings->m_PromptUser = 2;
    m_settings->m_ReadNoOfNewMessages = false;
    m_eachAnswers = {true, false, true};
    give(3);
    m_reader->AnnounceNewMail(false, false);
    m_agent->runQueue();
    QCOMPARE(m_prompted, (QList<int>{1, 2, 3}));
    const QStringList said = spokenTexts();
    QCOMPARE(said.mid(3, 3), (QStringList{u"#2"_s, u"#100002"_s, u"#3"_s}));
    QVERIFY(said.at(6).startsWith(u"3. "_s));
}

void tst_MessageReader::specifySendersPassesUnmatched()
{
    m_settings->m_SpecifySenders = true;
    m_settings->m_ReadNoOfNewMessages = false;
    CRule r;
    r.m_Name = u"sender2"_s;
    r.m_MyMessage = u"From the rule"_s;
    m_rules.append(r);
    give(3);
    m_reader->AnnounceNewMail(false, false);
    m_agent->runQueue();
    const QStringList said = spokenTexts();
    QCOMPARE(said.mid(0, 3), (QStringList{u"#1"_s, u"#100001"_s, u"#2"_s}));
    QVERIFY(said.at(3).startsWith(u"Message Number 2. From the rule. "_s));
    QCOMPARE(said.mid(4), (QStringList{u"#100002"_s, u"#3"_s, u"#100003"_s}));
    QVERIFY(!m_reader->ReadingActive);
}

void tst_MessageReader::rulesTakeOver()
{
    m_settings->m_ReadNoOfNewMessages = false;
    CRule silence;
    silence.m_Type = 1;
    silence.m_Name = u"subject 1"_s;
    silence.m_WhatToSay = u"Nothing"_s;
    m_rules.append(silence);
    give(2);
    m_reader->AnnounceNewMail(false, false);
    m_agent->runQueue();
    const QStringList said = spokenTexts();
    QCOMPARE(said.mid(0, 3), (QStringList{u"#1"_s, u"#100001"_s, u"#2"_s}));
    QVERIFY(said.at(3).startsWith(u"2. Message from Sender2"_s));
}

void tst_MessageReader::repeatTwice()
{
    m_settings->m_RepeatTwice = true;
    m_settings->m_ReadNoOfNewMessages = false;
    give(2);
    m_reader->AnnounceNewMail(false, false);
    m_agent->runQueue();
    const QStringList said = spokenTexts();
    QCOMPARE(said.size(), 8);
    QCOMPARE(said.at(0), u"#1"_s);
    QCOMPARE(said.at(1), said.at(2));
    QCOMPARE(said.at(3), u"#100001"_s);
    // The gesture plays with the second reading of message 1 only.
    const qsizetype gesture = m_agent->calls.indexOf(u"Play(Read)"_s);
    QCOMPARE(m_agent->calls.count(u"Play(Read)"_s), 1);
    QVERIFY(m_agent->calls.indexOf(u"Speak("_s + prefix + said.at(1) + u')') < gesture);
}

void tst_MessageReader::nextOnLastFinishes()
{
    give(2);
    m_reader->AnnounceNewMail(false, false);
    m_reader->Agent1_Bookmark(1);
    m_reader->Agent1_Bookmark(100001);
    m_reader->Agent1_Bookmark(2);
    QVERIFY(m_reader->panel.nextEnabled); // next stays on the last message
    QVERIFY(m_reader->panel.prevEnabled);
    m_agent->calls.clear();
    m_reader->cmdNext_Click();
    QCOMPARE(m_agent->calls.first(), u"StopAll"_s);
    QVERIFY(!m_reader->ReadingActive);
    QCOMPARE(m_status.mid(m_status.size() - 2), (QStringList{u"Finished reading message(s)."_s, u"Idle."_s}));
}

void tst_MessageReader::previousOnFirstReplaysFirst()
{
    m_settings->m_ReadNoOfNewMessages = false;
    give(2);
    m_reader->AnnounceNewMail(false, false);
    m_reader->Agent1_Bookmark(1);
    QVERIFY(!m_reader->panel.prevEnabled);
    m_agent->calls.clear();
    m_reader->cmdPrev_Click();
    QCOMPARE(m_agent->calls.first(), u"StopAll"_s);
    m_agent->pending.removeFirst(); // the bookmarks queued before the StopAll are gone anyway
    QCOMPARE(spokenTexts().first(), u"#1"_s);
    QVERIFY(spokenTexts().at(1).startsWith(u"1. "_s));
}

void tst_MessageReader::endMarkAfterStopIgnored()
{
    give(2);
    m_reader->AnnounceNewMail(false, false);
    m_reader->Agent1_Bookmark(1);
    m_reader->cmdStopReading_Click();
    QVERIFY(!m_reader->ReadingActive);
    m_agent->runQueue(); // StopAll dropped the queue: nothing moves on
    m_reader->Agent1_Bookmark(100001); // and a late end mark is ignored
    QVERIFY(!m_reader->ReadingActive);
    QCOMPARE(m_reader->CurrentMessageNo, 0);
    QCOMPARE(m_status.last(), u"Idle."_s);
}

void tst_MessageReader::userHidingEndsReading()
{
    give(1);
    m_reader->AnnounceNewMail(false, false);
    m_reader->Agent1_Hide(IAgent::CauseProgramHid);
    QVERIFY(m_reader->ReadingActive);
    m_reader->Agent1_Hide(IAgent::CauseUserHid);
    QVERIFY(!m_reader->ReadingActive);
    QCOMPARE(m_status.last(), u"Idle."_s);
}

void tst_MessageReader::tellMeReadsStoredMessage()
{
    QTemporaryDir dir;
    CMessage m = mail(7);
    m.m_FullFrom = u"Stored One"_s;
    QFile f(dir.filePath(u"x.tem"_s));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("\"<id>\"\r\n\"20260101120000\"\r\n\"Stored One\"\r\n\"Old news\"\r\n\"Hello\r\n\"\r\n");
    f.close();
    m_settings->m_Hide = true;
    m_reader->cmdTellMe_Click(f.fileName());
    QCOMPARE(spokenTexts(), QStringList{u"Message from Stored One.  Old news. \r\nHello. "_s});
    QVERIFY(m_agent->calls.contains(u"Hide(fast)"_s));
    m_agent->calls.clear();
    m_reader->cmdTellMe_Click(dir.filePath(u"missing.tem"_s));
    QVERIFY(m_agent->calls.isEmpty());
}

void tst_MessageReader::composedTextCleaned()
{
    m_settings->m_SayFrom = false;
    m_settings->m_SaySubject = false;
    m_settings->m_BeforeContent = u"It says"_s;
    CMessage m;
    m.m_Content = u"*Hi* there ............ \\Mrk=5\\"_s;
    const QString text = m_reader->ComposeMessageText(m);
    // The body's backslashes are kept from opening a speech tag.
    QCOMPARE(text, u"It says\r\nHi there ..... \\\u2060Mrk5\\\u2060. "_s);
}

void tst_MessageReader::senderWithoutName_data()
{
    QTest::addColumn<QString>("fullFrom");
    QTest::addColumn<QString>("sender");
    QTest::newRow("display name") << u"Ann <ann@example.com>"_s << u"Ann"_s;
    QTest::newRow("address only") << u"<ann@example.com>"_s << u"ann@example.com"_s;
    QTest::newRow("no From") << QString() << u"unknown sender"_s;
}

// The panel's "From:" line and the spoken sentence always name somebody.
void tst_MessageReader::senderWithoutName()
{
    QFETCH(QString, fullFrom);
    QFETCH(QString, sender);
    CMessage m = mail(1);
    m.m_FullFrom = fullFrom;
    m_reader->NewMessages.append(m);
    QStringList shown;
    m_reader->hooks.panelChanged = [&](const MessageReader::Panel& panel) {
        if (!panel.from.isEmpty() && !shown.contains(panel.from)) shown << panel.from;
    };
    m_reader->AnnounceNewMail(false, false);
    m_agent->runQueue();
    QCOMPARE(shown, QStringList{sender});
    const QString said = spokenTexts().join(u'|');
    QVERIFY2(said.contains(u"1. Message from "_s + sender + u".  Subject 1."_s), qPrintable(said));
}

QTEST_MAIN(tst_MessageReader)
#include "tst_MessageReader.moc"
