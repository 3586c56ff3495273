#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "core/speech/CharacterControl.h"
#include "core/speech/SpeechOutput.h"
#include "support/FakeAgent.h"

#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::FakeAgent;

namespace {
void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("character");
}
} // namespace

class tst_CharacterControl : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void placement_data();
    void placement();
    void placementUsesScreenOrigin();
    void stayInPlaceComesBack_data();
    void stayInPlaceComesBack();
    void sizeFactors_data();
    void sizeFactors();
    void search_data();
    void search();
    void noCharacterAnywhere();
    void loadFailure();
    void initSetsUpCharacter();
    void balloonBits_data();
    void balloonBits();
    void gestureList();
    void welcome_data();
    void welcome();
    void alwaysShow();

private:
    std::unique_ptr<QTemporaryDir> m_app, m_chars;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<FakeAgent> m_agent;
    std::unique_ptr<CharacterControl> m_control;
    QList<std::tuple<QString, bool, QString>> m_messages;
};

void tst_CharacterControl::init()
{
    m_app = std::make_unique<QTemporaryDir>();
    m_chars = std::make_unique<QTemporaryDir>();
    Program().AppPath = m_app->path();
    Program().CharactersFolder = m_chars->path();
    m_settings = std::make_unique<Settings>(m_app->path());
    m_agent = std::make_unique<FakeAgent>();
    m_control = std::make_unique<CharacterControl>(*m_agent, *m_settings);
    m_messages.clear();
    m_control->showMessage = [this](const QString& t, bool say, const QString& g) {
        m_messages.append({t, say, g});
    };
}

void tst_CharacterControl::placement_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QPoint>("expected");
    QTest::newRow("Center") << 0 << QPoint(448, 320);
    QTest::newRow("Top Center") << 1 << QPoint(448, 0);
    QTest::newRow("Bottom Center") << 2 << QPoint(448, 640);
    QTest::newRow("Top Left") << 3 << QPoint(0, 0);
    QTest::newRow("Top Right") << 4 << QPoint(896, 0);
    QTest::newRow("Bottom Left") << 5 << QPoint(0, 640);
    QTest::newRow("Bottom Right") << 6 << QPoint(896, 640);
    QTest::newRow("unknown as Center") << 9 << QPoint(448, 320);
}

void tst_CharacterControl::placement()
{
    QFETCH(int, position);
    QFETCH(QPoint, expected);
    QCOMPARE(CharacterControl::AgentPosition(position, {1024, 768}, {128, 128}), std::optional(expected));
    QCOMPARE(CharacterControl::AgentPosition(7, {1024, 768}, {128, 128}), std::nullopt);
    // Halves round to even: (1025 - 128) / 2 = 448.5 -> 448, (1027 - 128) / 2 = 449.5 -> 450.
    QCOMPARE(CharacterControl::AgentPosition(0, {1025, 768}, {128, 128})->x(), 448);
    QCOMPARE(CharacterControl::AgentPosition(0, {1027, 768}, {128, 128})->x(), 450);
}

void tst_CharacterControl::placementUsesScreenOrigin()
{
    m_control->screenGeometry = [] { return QRect(1920, 0, 1024, 768); };
    m_settings->m_Position = 6;
    m_control->SetAgentPos();
    QCOMPARE(m_agent->calls, QStringList{u"MoveTo(2816,640)"_s});
    m_agent->calls.clear();
    m_settings->m_Position = 7; // "Stay in place" never moves it
    m_control->SetAgentPos();
    QVERIFY(m_agent->calls.isEmpty());
}

// A character the user dragged somewhere stays there across a restart, when
// that place is still on the screen.
void tst_CharacterControl::stayInPlaceComesBack_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QPoint>("stored");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("stay in place") << 7 << QPoint(2100, 300) << QStringList{u"MoveTo(2100,300)"_s};
    QTest::newRow("nowhere stored yet") << 7 << QPoint(-1, -1) << QStringList();
    QTest::newRow("on a screen that is gone") << 7 << QPoint(200, 300) << QStringList();
    QTest::newRow("placed by the setting") << 6 << QPoint(2100, 300) << QStringList();
}

void tst_CharacterControl::stayInPlaceComesBack()
{
    QFETCH(int, position);
    QFETCH(QPoint, stored);
    QFETCH(QStringList, calls);
    m_control->screenGeometry = [] { return QRect(1920, 0, 1024, 768); };
    m_settings->m_Position = position;
    m_settings->m_StayLeft = stored.x();
    m_settings->m_StayTop = stored.y();
    m_control->RestoreStayInPlace();
    QCOMPARE(m_agent->calls, calls);

    // Where it stands at exit is what the next start gets.
    QFile file(m_app->filePath(u"x.acs"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(m_agent->Load(u"EMailAgent"_s, file.fileName()));
    m_agent->MoveTo(2500, 100);
    m_control->RememberStayInPlace();
    QCOMPARE(QPoint(m_settings->m_StayLeft, m_settings->m_StayTop),
             position == 7 ? QPoint(2500, 100) : stored);
}

void tst_CharacterControl::sizeFactors_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("Extra Small") << 0 << QSize(64, 64);
    QTest::newRow("Small") << 1 << QSize(96, 96);
    QTest::newRow("Regular") << 2 << QSize(128, 128);
    QTest::newRow("Large") << 3 << QSize(192, 192);
    QTest::newRow("Extra Large") << 4 << QSize(256, 256);
    QTest::newRow("unknown") << 11 << QSize(128, 128);
}

void tst_CharacterControl::sizeFactors()
{
    QFETCH(int, size);
    QFETCH(QSize, expected);
    m_settings->m_CharacterSize = size;
    m_control->SetCharacterSize();
    QCOMPARE(QSize(m_agent->Width(), m_agent->Height()), expected);
}

void tst_CharacterControl::search_data()
{
    QTest::addColumn<QStringList>("appFiles");
    QTest::addColumn<QStringList>("charFiles");
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QString>("expectedName");
    QTest::addColumn<QString>("expectedFolder"); // "app" or "chars"
    QTest::newRow("in the program folder first") << QStringList{u"vela.acs"_s} << QStringList{u"vela.acs"_s}
                                                 << u"vela.acs"_s << u"vela.acs"_s << u"app"_s;
    QTest::newRow("only in the characters folder")
        << QStringList{} << QStringList{u"vela.acs"_s} << u"vela.acs"_s << u"vela.acs"_s << u"chars"_s;
    QTest::newRow("missing: first of the program folder")
        << QStringList{u"b.acs"_s, u"a.ACS"_s, u"notes.txt"_s} << QStringList{u"c.acs"_s} << u"merlin.acs"_s
        << u"a.ACS"_s << u"app"_s;
    QTest::newRow("missing: first of the characters folder")
        << QStringList{u"readme.txt"_s} << QStringList{u"zed.acs"_s, u"vela.acs"_s} << u"merlin.acs"_s
        << u"vela.acs"_s << u"chars"_s;
    QTest::newRow("listed in lower case, stored in mixed case")
        << QStringList{} << QStringList{u"Vela.ACS"_s} << u"vela.acs"_s << u"vela.acs"_s << u"chars"_s;
}

void tst_CharacterControl::search()
{
    QFETCH(QStringList, appFiles);
    QFETCH(QStringList, charFiles);
    QFETCH(QString, configured);
    QFETCH(QString, expectedName);
    QFETCH(QString, expectedFolder);
    for (const QString& f : appFiles)
        touch(m_app->filePath(f));
    for (const QString& f : charFiles)
        touch(m_chars->filePath(f));
    m_settings->m_CharacterName = configured;
    QVERIFY(m_control->InitCharacter());
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(m_settings->m_CharacterName, expectedName);
    const QString folder = expectedFolder == u"app"_s ? m_app->path() : m_chars->path();
    QCOMPARE(QFileInfo(m_agent->loadedPath).absolutePath(), folder);
    QCOMPARE(QFileInfo(m_agent->loadedPath).fileName().toLower(), expectedName.toLower());
}

void tst_CharacterControl::noCharacterAnywhere()
{
    touch(m_app->filePath(u"merlin.txt"_s));
    QVERIFY(!m_control->InitCharacter());
    QCOMPARE(m_messages.size(), 1);
    const auto& [text, sayIt, gesture] = m_messages.first();
    QCOMPARE(
        text,
        u"Failed to find character file "_s + m_chars->path() + u"/merlin.acs\r\n"_s +
            u"Unable to run without a character. Please copy one of the character files (*.acs) to the "_s +
            m_app->path() + u" directory before you run Orvella."_s);
    QVERIFY(!sayIt);
    QCOMPARE(gesture, u"Read"_s);
    QVERIFY(!m_agent->calls.join(u' ').contains(u"Load("_s));
}

void tst_CharacterControl::loadFailure()
{
    touch(m_app->filePath(u"broken.acs"_s));
    m_settings->m_CharacterName = u"broken.acs"_s;
    m_agent->failLoad = true;
    QVERIFY(!m_control->InitCharacter());
    QCOMPARE(m_messages.size(), 1);
    const QString text = std::get<0>(m_messages.first());
    QVERIFY(
        text.startsWith(u"Failed to load character file: "_s + m_app->path() +
                        u"/broken.acs. Make sure you have at least one character installed, before running "
                        u"Orvella."_s));
    QVERIFY(!std::get<1>(m_messages.first()));
}

void tst_CharacterControl::initSetsUpCharacter()
{
    touch(m_chars->filePath(u"vela.acs"_s));
    m_settings->m_CharacterName = u"vela.acs"_s;
    m_settings->m_CharacterSize = 0;
    m_settings->m_FontName = u"DejaVu Sans"_s;
    m_settings->m_FontSize = 12;
    QVERIFY(m_control->InitCharacter());
    QCOMPARE(
        m_agent->calls.mid(0, 5),
        (QStringList{u"Unload(EMailAgent)"_s, u"Load(EMailAgent,"_s + m_chars->filePath(u"vela.acs"_s) + u')',
                     u"LanguageID(1033)"_s, u"Width(64)"_s, u"Height(64)"_s}));
    QCOMPARE(m_agent->balloonFontName, u"DejaVu Sans"_s);
    QCOMPARE(m_agent->balloonFontSize, 12);
    QStringList names;
    for (const auto& [name, caption] : CharacterControl::MenuCommands())
        names << name;
    QCOMPARE(m_agent->commandNames(), names);
    QCOMPARE(names.first(), u"Check Mail Now"_s);
    QCOMPARE(names.last(), u"Next Message"_s);
    QVERIFY(m_agent->commandEnabled(u"Check Mail Now"_s));
    QVERIFY(!m_agent->commandEnabled(u"Next Message"_s));
    QVERIFY(!m_agent->commandEnabled(u"Previous Message"_s));
}

void tst_CharacterControl::balloonBits_data()
{
    QTest::addColumn<int>("behavior");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("no balloon clears only bit 1") << 1 << 0x200003 << 0x200002;
    QTest::newRow("talking sets bit 1") << 0 << 0x200002 << 0x200003;
    QTest::newRow("thinking sets bit 1") << 2 << 0x0 << 0x1;
}

void tst_CharacterControl::balloonBits()
{
    QFETCH(int, behavior);
    QFETCH(int, before);
    QFETCH(int, after);
    m_agent->m_balloonStyle = before;
    m_settings->m_Behavior = behavior;
    m_control->SetBalloon();
    QCOMPARE(m_agent->balloonStyle(), after);
}

void tst_CharacterControl::gestureList()
{
    m_agent->animations = {u"Greet"_s, u"Reading"_s, u"Wave"_s, u"THINKING"_s, u"Processing"_s};
    QCOMPARE(GestureChoices(*m_agent), (QStringList{u"None"_s, u"Greet"_s, u"Wave"_s, u"THINKING"_s}));
}

void tst_CharacterControl::welcome_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("include");
    QTest::addColumn<QString>("text");
    QTest::newRow("name only") << u"Ann"_s << u""_s << true << u"Hello Ann."_s;
    QTest::newRow("no name") << u""_s << u""_s << true << u"Hello."_s;
    QTest::newRow("with message") << u"Ann"_s << u"Nice day."_s << true << u"Hello Ann. \r\nNice day."_s;
    QTest::newRow("message left out") << u"Ann"_s << u"Nice day."_s << false << u"Hello Ann."_s;
}

void tst_CharacterControl::welcome()
{
    QFETCH(QString, user);
    QFETCH(QString, message);
    QFETCH(bool, include);
    QFETCH(QString, text);
    SpeechOutput speech(*m_agent, *m_settings);
    m_control->speech = &speech;
    m_settings->m_UserName = user;
    m_settings->m_WelcomeMessage = message;
    m_settings->m_Behavior = 3; // the greeting ignores the behaviour
    m_settings->m_Hide = false;
    m_control->SayWelcome(include, true);
    QCOMPARE(m_agent->calls, (QStringList{u"Show(fast)"_s, u"Play(Greet)"_s,
                                          u"Speak(\\Pit=50\\\\Spd=150\\\\Chr=\"Normal\"\\"_s + text + u')'}));
}

void tst_CharacterControl::alwaysShow()
{
    m_settings->m_Fast = false;
    m_control->onAlwaysShowToggled(true);
    QVERIFY(!m_settings->m_Hide);
    m_control->onAlwaysShowToggled(false);
    QVERIFY(m_settings->m_Hide);
    QCOMPARE(m_agent->calls, (QStringList{u"Show(animated)"_s, u"Hide(animated)"_s}));
}

QTEST_MAIN(tst_CharacterControl)
#include "tst_CharacterControl.moc"
