#include "core/message/MailMessage.h"
#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "core/speech/SpeechOutput.h"
#include "core/speech/SpeechText.h"
#include "gui/widgets/Dialogs.h"
#include "gui/widgets/WidgetHelpers.h"
#include "support/FakeAgent.h"

#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::FakeAgent;

namespace {
const QString prefix = u"\\Pit=50\\\\Spd=150\\\\Chr=\"Normal\"\\"_s;
}

class tst_SpeechOutput : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void sayAndPlay_data();
    void sayAndPlay();
    void playWavFile_data();
    void playWavFile();
    void bookmarks();
    void stopAgentDropsPendingBookmarks();
    void messageCannotInjectTags();
    void browseWav();
    void previewVoice();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<FakeAgent> m_agent;
    std::unique_ptr<SpeechOutput> m_speech;
    int m_placed = 0;
};

void tst_SpeechOutput::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    Program().AppPath = m_dir->path();
    m_settings = std::make_unique<Settings>(m_dir->path());
    m_agent = std::make_unique<FakeAgent>();
    m_speech = std::make_unique<SpeechOutput>(*m_agent, *m_settings);
    m_placed = 0;
    m_speech->placeCharacter = [this] { ++m_placed; };
    Dialogs::reset();
}

void tst_SpeechOutput::sayAndPlay_data()
{
    QTest::addColumn<int>("behavior");
    QTest::addColumn<bool>("ignoreBehavior");
    QTest::addColumn<bool>("hideSetting");
    QTest::addColumn<bool>("hideArg");
    QTest::addColumn<QStringList>("expected");
    const QStringList spoken{u"Show(fast)"_s, u"Play(Greet)"_s, u"Speak("_s + prefix + u"Hi)"_s};
    QTest::newRow("talks") << 0 << false << false << true << spoken;
    QTest::newRow("talks, no balloon") << 1 << false << false << true << spoken;
    QTest::newRow("thinks the bare text")
        << 2 << false << false << true << QStringList{u"Show(fast)"_s, u"Play(Greet)"_s, u"Think(Hi)"_s};
    QTest::newRow("silent") << 3 << false << true << true << QStringList{};
    QTest::newRow("thinks, behaviour ignored") << 2 << true << false << true << spoken;
    QTest::newRow("silent, behaviour ignored") << 3 << true << false << true << spoken;
    QTest::newRow("hides when both flags")
        << 0 << false << true << true << spoken + QStringList{u"Hide(fast)"_s};
    QTest::newRow("stays without the caller's flag") << 0 << false << true << false << spoken;
    QTest::newRow("stays without the setting") << 0 << false << false << true << spoken;
}

void tst_SpeechOutput::sayAndPlay()
{
    QFETCH(int, behavior);
    QFETCH(bool, ignoreBehavior);
    QFETCH(bool, hideSetting);
    QFETCH(bool, hideArg);
    QFETCH(QStringList, expected);
    m_settings->m_Behavior = behavior;
    m_settings->m_Hide = hideSetting;
    m_speech->SayAndPlay(u"Hi"_s, u"Greet"_s, hideArg, ignoreBehavior);
    QCOMPARE(m_agent->calls, expected);
    QCOMPARE(m_placed, expected.isEmpty() ? 0 : 1);
}

void tst_SpeechOutput::playWavFile_data()
{
    QTest::addColumn<int>("behavior");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("plays");
    QTest::newRow("talking plays") << 0 << u"sound.wav"_s << true;
    QTest::newRow("no balloon plays") << 1 << u"sound.wav"_s << true;
    QTest::newRow("thinking is silent") << 2 << u"sound.wav"_s << false;
    QTest::newRow("silent is silent") << 3 << u"sound.wav"_s << false;
    QTest::newRow("empty name") << 0 << u""_s << false;
    QTest::newRow("missing file") << 0 << u"missing.wav"_s << false;
    QTest::newRow("a folder is not a sound") << 0 << u"."_s << false;
}

void tst_SpeechOutput::playWavFile()
{
    QFETCH(int, behavior);
    QFETCH(QString, file);
    QFETCH(bool, plays);
    QFile wav(m_dir->filePath(u"sound.wav"_s));
    QVERIFY(wav.open(QIODevice::WriteOnly));
    wav.write("RIFF");
    wav.close();
    m_settings->m_Behavior = behavior;
    m_settings->m_Hide = true;
    const QString path = file.isEmpty() ? QString() : m_dir->filePath(file);
    m_speech->PlayWAVFile(path, u"None"_s, true);
    if (plays)
        QCOMPARE(m_agent->calls,
                 (QStringList{u"Show(fast)"_s, u"SpeakFile("_s + path + u')', u"Hide(fast)"_s}));
    else
        QVERIFY(m_agent->calls.isEmpty());
}

void tst_SpeechOutput::bookmarks()
{
    QSignalSpy marks(m_agent.get(), &IAgent::Bookmark);
    m_speech->SendBookmark(3);
    m_speech->SayAndPlay(u"text"_s, u"None"_s, false, false);
    m_speech->SendBookmarkPair(4);
    QCOMPARE(m_agent->calls,
             (QStringList{u"Speak(\\Mrk=3\\)"_s, u"Show(fast)"_s, u"Speak("_s + prefix + u"text)"_s,
                          u"Speak(\\Mrk=4\\)"_s, u"Speak(\\Mrk=100004\\)"_s}));
    m_agent->runQueue();
    QCOMPARE(marks.size(), 3);
    QCOMPARE(marks.at(0).at(0).toInt(), 3);
    QCOMPARE(marks.at(1).at(0).toInt(), 4);
    QCOMPARE(marks.at(2).at(0).toInt(), 100004);
}

void tst_SpeechOutput::stopAgentDropsPendingBookmarks()
{
    QSignalSpy marks(m_agent.get(), &IAgent::Bookmark);
    m_settings->m_Hide = true;
    m_speech->SendBookmark(1);
    m_speech->SayAndPlay(u"message one"_s, u"Read"_s, false, false);
    m_speech->SendBookmark(100001);
    m_speech->StopAgent();
    QCOMPARE(m_agent->calls.mid(m_agent->calls.size() - 2), (QStringList{u"StopAll"_s, u"Hide(fast)"_s}));
    m_agent->runQueue();
    QCOMPARE(marks.size(), 0);
}

// Speech tags work in the user's own words (the welcome, "BeforeTime", a
// rule's message) and never in a message's, where a "\\Mrk=100001\\" would
// fire a bookmark and move the reading on.
void tst_SpeechOutput::messageCannotInjectTags()
{
    m_speech->SayAndPlay(u"\\Spd=200\\Hello"_s, u"None"_s, false, false);
    QCOMPARE(m_agent->calls.last(), u"Speak("_s + prefix + u"\\Spd=200\\Hello)"_s);

    m_settings->m_BeforeSubject = u"\\Pit=80\\About"_s;
    MailMessage message;
    message.m_FullFrom = u"Eve \\Spd=50\\ <eve@example.org>"_s;
    message.m_Subject = u"evil \\Mrk=100001\\"_s;
    message.m_Content = u"and \\Chr=\"Whisper\"\\"_s;
    const QString composed = ComposeSpokenParts(*m_settings, message, true, true, true);
    QVERIFY(composed.contains(u"\\Pit=80\\About"_s));
    for (const QString& tag : {u"\\Spd="_s, u"\\Mrk="_s, u"\\Chr="_s})
        QVERIFY2(!composed.contains(tag), qPrintable(tag));
}

void tst_SpeechOutput::browseWav()
{
    QFile wav(m_dir->filePath(u"Sounds/chime.wav"_s));
    QDir().mkpath(m_dir->filePath(u"Sounds"_s));
    QVERIFY(wav.open(QIODevice::WriteOnly));
    wav.write("RIFF");
    wav.close();
    QLineEdit box(u"old.wav"_s);

    Dialogs::queueFileName(QString()); // cancelled
    BrowseForSound(&box, nullptr, m_speech.get());
    QCOMPARE(box.text(), u"old.wav"_s);
    QVERIFY(m_agent->calls.isEmpty());

    Dialogs::queueFileName(wav.fileName());
    BrowseForSound(&box, nullptr, m_speech.get());
    QCOMPARE(box.text(), wav.fileName());
    QCOMPARE(m_agent->calls, (QStringList{u"Show(fast)"_s, u"SpeakFile("_s + wav.fileName() + u')'}));
    const auto asked = Dialogs::takeAsked();
    QCOMPARE(asked.size(), 2);
    QCOMPARE(asked.at(0).title, u"Please select WAV file"_s);
    QCOMPARE(asked.at(0).text, m_dir->path() + u"/Sounds"_s);
}

void tst_SpeechOutput::previewVoice()
{
    m_settings->m_Behavior = 3; // the sample ignores the behaviour
    m_settings->m_Hide = true;
    m_settings->m_VoiceSpeed = 200;
    m_speech->previewVoice();
    QCOMPARE(
        m_agent->calls,
        (QStringList{u"Show(fast)"_s, u"Play(Read)"_s,
                     u"Speak(\\Pit=50\\\\Spd=200\\\\Chr=\"Normal\"\\This is the speed, in which I will speak "
                     u"and the way I will sound.)"_s,
                     u"Hide(fast)"_s}));
}

QTEST_MAIN(tst_SpeechOutput)
#include "tst_SpeechOutput.moc"
