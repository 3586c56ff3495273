#include "core/settings/Settings.h"
#include "platform/ProfileFile.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using orvella::Settings;
using orvella::test::ProgramFolder;
using orvella::test::readFile;

class tst_Settings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void defaultsWhenNoFile();
    void corrections_data();
    void corrections();
    void yesNo_data();
    void yesNo();
    void filteredSymbolsTrimmed();
    void windowsCodePageFileReadsBack();
    void saveWritesEveryKeyInOrder();
    void saveKeepsUnknownLinesAndAccounts();
    void welcomeRoundTrip_data();
    void welcomeRoundTrip();
    void wizardDecisions();
    void wizardCancelledWritesNothing();

private:
    std::unique_ptr<ProgramFolder> m_folder;
    QString ini() const { return m_folder->iniPath(); }
};

void tst_Settings::init()
{
    m_folder = std::make_unique<ProgramFolder>();
}

void tst_Settings::defaultsWhenNoFile()
{
    Settings s(m_folder->path());
    s.LoadInitial();
    QVERIFY(s.LoadSettings()); // no wizard installed: completes at once
    QVERIFY(s.m_RanWizard);
    QCOMPARE(s.m_NoNewMessages, u"No new messages"_s);
    QCOMPARE(s.m_FilteredSymbols, u"<>*~_="_s);
    QCOMPARE(s.m_CharacterName, u"merlin.acs"_s);
    QCOMPARE(s.m_FontName, u"MS Sans Serif"_s);
    QCOMPARE(s.m_WAVNewMessages, m_folder->path() + u"/Sounds/NewMail.wav"_s);
    QCOMPARE(s.m_TimeSoundFile, m_folder->path() + u"/Sounds/Clock.wav"_s);
    QCOMPARE(s.m_TimeGesture, u"Announce"_s);
    QCOMPARE(s.m_BeforeTime, u"The time now is"_s);
    QCOMPARE(s.m_MessagePrefix, u"Message from"_s);
    QCOMPARE(s.m_ReminderGesture, u"Suggest"_s);
    QCOMPARE(s.m_WelcomeGesture, u"Greet"_s);
    QCOMPARE(s.m_ReadingGesture, u"Read"_s);
    QCOMPARE(s.m_VoiceCharacter, u"Normal"_s);
    QCOMPARE(s.m_Top, -1);
    QCOMPARE(s.m_Lines, 20);
    QCOMPARE(s.m_VoiceSpeed, 150);
    QCOMPARE(s.m_VoicePitch, 50);
    QCOMPARE(s.m_FontSize, 10);
    QCOMPARE(s.m_CharacterSize, 2);
    QVERIFY(s.m_Fast && s.m_Hide && s.m_SpellUpper && s.m_ShowTips && s.m_EnableReminders);
    QVERIFY(!s.m_DontCheck && !s.m_RepeatTwice && !s.m_PopupOnReceive && !s.m_ShowPreviewPanel);
    QVERIFY(s.m_WelcomeMessage.isEmpty());
}

void tst_Settings::corrections_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("ConnectionType above 2") << u"Account"_s << u"ConnectionType"_s << u"5"_s << 1;
    QTest::newRow("ConnectionType 2 kept") << u"Account"_s << u"ConnectionType"_s << u"2"_s << 2;
    QTest::newRow("Position above 7") << u"Character"_s << u"Position"_s << u"9"_s << 0;
    QTest::newRow("CharacterSize above 4") << u"Character"_s << u"CharacterSize"_s << u"7"_s << 2;
    QTest::newRow("LastTab outside 0..1") << u"General"_s << u"LastTab"_s << u"3"_s << 0;
    QTest::newRow("LastTab negative") << u"General"_s << u"LastTab"_s << u"-1"_s << 0;
    QTest::newRow("Behavior outside 0..3") << u"Character"_s << u"Behavior"_s << u"4"_s << 0;
    QTest::newRow("MessageLines above 100") << u"General"_s << u"MessageLines"_s << u"500"_s << 20;
    QTest::newRow("MessageLines 100 kept") << u"General"_s << u"MessageLines"_s << u"100"_s << 100;
    QTest::newRow("MessageLines 0 kept") << u"General"_s << u"MessageLines"_s << u"0"_s << 0;
    // A negative count would make every retrieval fail.
    QTest::newRow("MessageLines negative") << u"General"_s << u"MessageLines"_s << u"-5"_s << 20;
    QTest::newRow("SayTimeEvery above 6") << u"General"_s << u"SayTimeEvery"_s << u"7"_s << 0;
    QTest::newRow("PromptUser outside 0..2") << u"General"_s << u"PromptUser"_s << u"3"_s << 0;
    QTest::newRow("ReminderRecur outside 0..4") << u"Reminder"_s << u"ReminderRecur"_s << u"5"_s << 0;
    QTest::newRow("leading number taken") << u"Character"_s << u"VoiceSpeed"_s << u" 180 wpm"_s << 180;
    QTest::newRow("no number gives 0") << u"Character"_s << u"VoicePitch"_s << u"high"_s << 0;
    QTest::newRow("half rounds to even") << u"Character"_s << u"FontSize"_s << u"12.5"_s << 12;
    QTest::newRow("huge value held in 32 bits") << u"General"_s << u"Top"_s << u"99999999999"_s << 2147483647;
}

void tst_Settings::corrections()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(int, expected);
    m_folder->writeIni((u"["_s + section + u"]\r\n"_s + key + u"="_s + stored + u"\r\n"_s).toUtf8());
    Settings s(m_folder->path());
    s.LoadInitial();
    s.LoadSettings();
    const QHash<QString, int> values{{u"ConnectionType"_s, s.m_ConnectionType},
                                     {u"Position"_s, s.m_Position},
                                     {u"CharacterSize"_s, s.m_CharacterSize},
                                     {u"LastTab"_s, s.m_LastTab},
                                     {u"Behavior"_s, s.m_Behavior},
                                     {u"MessageLines"_s, s.m_Lines},
                                     {u"SayTimeEvery"_s, s.m_SayTimeEvery},
                                     {u"PromptUser"_s, s.m_PromptUser},
                                     {u"ReminderRecur"_s, s.m_ReminderRecur},
                                     {u"VoiceSpeed"_s, s.m_VoiceSpeed},
                                     {u"VoicePitch"_s, s.m_VoicePitch},
                                     {u"FontSize"_s, s.m_FontSize},
                                     {u"Top"_s, s.m_Top}};
    QCOMPARE(values.value(key), expected);
}

void tst_Settings::yesNo_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("expected");
    QTest::newRow("YES") << u"YES"_s << true;
    QTest::newRow("Yes") << u"Yes"_s << true;
    QTest::newRow("yes") << u"yes"_s << true;
    QTest::newRow("1") << u"1"_s << false;
    QTest::newRow("true") << u"true"_s << false;
    QTest::newRow("empty") << u""_s << false;
    QTest::newRow("yes with trailing junk") << u"yesss"_s << false;
}

void tst_Settings::yesNo()
{
    QFETCH(QString, stored);
    QFETCH(bool, expected);
    m_folder->writeIni(
        (u"[General]\r\nDontCheck="_s + stored + u"\r\nPopupOnRecieve="_s + stored + u"\r\n"_s).toUtf8());
    Settings s(m_folder->path());
    s.LoadSettings();
    QCOMPARE(s.m_DontCheck, expected);
    QCOMPARE(s.m_PopupOnReceive, expected);
}

void tst_Settings::filteredSymbolsTrimmed()
{
    m_folder->writeIni("[General]\r\nFilteredSymbols=\"  <>#  \"\r\n");
    Settings s(m_folder->path());
    s.LoadSettings();
    QCOMPARE(s.m_FilteredSymbols, u"<>#"_s);
}

void tst_Settings::windowsCodePageFileReadsBack()
{
    // Shaped like a hand-edited file in the Windows code page: CR LF, keys in other
    // letter cases, an account section and keys this object does not own.
    m_folder->writeIni("[Account]\r\n"
                       "POPServer=pop.example.com\r\n"
                       "username=Ren\xE9\r\n"
                       "CONNECTIONTYPE=2\r\n"
                       "[General]\r\n"
                       "NoOfAccounts=1\r\n"
                       "dontcheck=Yes\r\n"
                       "popuponrecieve=Yes\r\n"
                       "MessageLines=35\r\n"
                       "[Character]\r\n"
                       "name=genie.acs\r\n"
                       "VoiceSpeed=170\r\n");
    Settings s(m_folder->path());
    s.LoadInitial();
    QVERIFY(s.LoadSettings());
    QVERIFY(!s.m_RanWizard);
    QCOMPARE(s.m_UserName, u"Ren\u00e9"_s);
    QCOMPARE(s.m_ConnectionType, 2);
    QVERIFY(s.m_DontCheck);
    QVERIFY(s.m_PopupOnReceive);
    QCOMPARE(s.m_Lines, 35);
    QCOMPARE(s.m_CharacterName, u"genie.acs"_s);
    QCOMPARE(s.m_VoiceSpeed, 170);
}

void tst_Settings::saveWritesEveryKeyInOrder()
{
    Settings s(m_folder->path());
    s.LoadInitial();
    s.LoadSettings();
    s.m_DontCheck = true;
    s.m_Lines = 42;
    s.Save();

    const QString text = QString::fromUtf8(readFile(ini()));
    QVERIFY(!text.contains(u'\n') || text.count(u"\r\n"_s) == text.count(u'\n'));
    // Sections in order, keys in table order, booleans as Yes/No.
    QStringList seen;
    QString section;
    for (const QString& line : text.split(u"\r\n"_s, Qt::SkipEmptyParts)) {
        if (line.startsWith(u'[')) {
            section = line.mid(1, line.size() - 2);
            continue;
        }
        seen << section + u'/' + line.section(u'=', 0, 0);
    }
    QStringList expected;
    for (const auto& [sec, key] : Settings::savedKeys())
        expected << sec + u'/' + key;
    QCOMPARE(seen, expected);
    QVERIFY(text.contains(u"[General]\r\nDontCheck=Yes\r\nEnableReminders=Yes\r\n"_s));
    QVERIFY(text.contains(u"PopupOnRecieve=No\r\n"_s));
    QVERIFY(text.contains(u"MessageLines=42\r\n"_s));
}

void tst_Settings::saveKeepsUnknownLinesAndAccounts()
{
    m_folder->writeIni("[Account]\r\nPOPServer=pop.example.com\r\nPassword=679*1372*2079*\r\n"
                       "[General]\r\nNoOfAccounts=2\r\nSomeFutureKey=kept\r\n"
                       "[Account 2]\r\nPOPServer=other\r\n"
                       "[Character]\r\nHide=No\r\nname=vela.acs\r\n");
    Settings s(m_folder->path());
    s.LoadInitial();
    s.LoadSettings();
    s.Save();
    const QString text = QString::fromUtf8(readFile(ini()));
    QVERIFY(text.contains(u"POPServer=pop.example.com\r\n"_s));
    QVERIFY(text.contains(u"Password=679*1372*2079*\r\n"_s));
    QVERIFY(text.contains(u"NoOfAccounts=2\r\n"_s));
    QVERIFY(text.contains(u"SomeFutureKey=kept\r\n"_s));
    QVERIFY(text.contains(u"[Account 2]\r\nPOPServer=other\r\n"_s));
    // Keys an older file held in another order come out in the table's order.
    QVERIFY(text.contains(u"[Character]\r\nName=vela.acs\r\nFast=Yes\r\nHide=No\r\n"_s));
}

void tst_Settings::welcomeRoundTrip_data()
{
    QTest::addColumn<QString>("message");
    QTest::newRow("comma kept") << u"Good morning, dear friend, welcome back"_s;
    QTest::newRow("quote kept") << u"Say \"cheese\" now"_s;
    QTest::newRow("two lines") << u"line one\nline two"_s;
    QTest::newRow("empty") << u""_s;
    QTest::newRow("accents") << u"Ça va très bien"_s;
}

void tst_Settings::welcomeRoundTrip()
{
    QFETCH(QString, message);
    Settings s(m_folder->path());
    s.m_WelcomeMessage = message;
    s.Save();
    QVERIFY(readFile(m_folder->filePath(u"Welcome.txt"_s)).endsWith("\"\r\n"));
    Settings t(m_folder->path());
    t.LoadInitial();
    QCOMPARE(t.m_WelcomeMessage, message);
}

void tst_Settings::wizardDecisions()
{
    QList<int> pages;
    auto runWith = [&](bool answer) {
        Settings s(m_folder->path());
        s.wizardRunner = [&](int page) {
            pages << page;
            return answer;
        };
        s.LoadInitial();
        return std::pair{s.LoadSettings(), s.m_RanWizard};
    };

    // No file: the wizard from its first page.
    QCOMPARE(runWith(true), std::pair(true, true));
    // A file without a connection type: the wizard from page 7.
    m_folder->writeIni("[General]\r\nDontCheck=No\r\n");
    QCOMPARE(runWith(true), std::pair(true, true));
    m_folder->writeIni("[Account]\r\nConnectionType=0\r\n");
    QCOMPARE(runWith(false), std::pair(false, true));
    // A chosen connection type: no wizard.
    m_folder->writeIni("[Account]\r\nConnectionType=1\r\n");
    QCOMPARE(runWith(false), std::pair(true, false));
    QCOMPARE(pages, (QList<int>{0, 7, 7}));
}

void tst_Settings::wizardCancelledWritesNothing()
{
    Settings s(m_folder->path());
    s.wizardRunner = [](int) { return false; };
    s.LoadInitial();
    QVERIFY(!s.LoadSettings());
    QVERIFY(QDir(m_folder->path()).entryList(QDir::Files).isEmpty());
}

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_Settings.moc"
