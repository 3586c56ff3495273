// The character's request queue and its events, with the real engine, the
// shipped character and real speech, played by the silent clock (no sound
// server is reachable from this test).
#include "agent/engine/AudioOutput.h"
#include "agent/engine/CharacterFile.h"
#include "agent/view/AgentEngine.h"
#include "agent/view/BalloonWindow.h"
#include "agent/view/CharacterWindow.h"
#include "core/settings/Program.h"
#include "support/AgentEventLog.h"

#include <QMenu>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <cmath>
#include <memory>
#include <sndfile.h>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using test::AgentEventLog;

namespace {

const QString Character = QStringLiteral(ORVELLA_SOURCE_CHARACTER);
const QString LongText = u"This is a long sentence that takes the character several seconds to say, "
                         u"so there is time to interrupt it in the middle."_s;

int animationMs(const QString& name)
{
    CharacterFile c;
    c.load(Character);
    return c.animations().at(c.findAnimation(name)).durationMs();
}

bool writeTone(const QString& path, int rate, int channels, double seconds)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f) return false;
    const int frames = int(rate * seconds);
    std::vector<short> data(size_t(frames) * size_t(channels));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            data[size_t(i * channels + c)] = short(9000 * std::sin(i * 2 * M_PI * 440 / rate));
    sf_writef_short(f, data.data(), frames);
    sf_close(f);
    return true;
}

} // namespace

class TestAgentQueue : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<AgentEngine> agent;
    AgentEventLog* log = nullptr;
    QString tracePath;

    QStringList trace() const { return AgentEventLog::kinds(AgentEventLog::readTrace(tracePath)); }
    qint64 traceTime(const QString& entry) const
    {
        const QList<QJsonObject> lines = AgentEventLog::readTrace(tracePath);
        const QStringList k = AgentEventLog::kinds(lines);
        const qsizetype i = k.indexOf(entry);
        return i < 0 ? -1 : lines.at(i).value(u"ms"_s).toInteger();
    }
    bool waitIdle(int ms = 20000)
    {
        return QTest::qWaitFor([this] { return !agent->isBusy(); }, ms);
    }

private Q_SLOTS:
    void init()
    {
        static int n = 0;
        tracePath = m_dir.filePath(u"trace%1.jsonl"_s.arg(++n));
        Program().TraceFile = tracePath;
        agent = std::make_unique<AgentEngine>();
        QVERIFY2(agent->Load(u"EMailAgent"_s, Character), qPrintable(agent->loadError()));
        agent->setIdleDelay(600000, 600000); // no idle animations unless a test asks
        log = new AgentEventLog(agent.get());
    }

    void cleanup()
    {
        agent.reset();
        Program().TraceFile.clear();
    }

    void showPlaySpeakHidePlayInTurn()
    {
        agent->Show(false);
        QVERIFY(agent->Play(u"Wave"_s));
        agent->Speak(u"Hello there, good to see you.\\Mrk=7\\"_s);
        agent->Hide(false);
        QVERIFY(waitIdle());
        QCOMPARE(trace(), (QStringList{u"show false"_s, u"shown 4"_s, u"play Wave"_s,
                                       u"speak Hello there, good to see you.\\Mrk=7\\"_s, u"bookmark 7"_s,
                                       u"hide false"_s, u"hidden 3"_s}));
        QCOMPARE(log->events(), (QStringList{u"show 4"_s, u"bookmark 7"_s, u"hide 3"_s}));
        // Each began when the one before it was done.
        QVERIFY(traceTime(u"play Wave"_s) - traceTime(u"show false"_s) >= animationMs(u"Show"_s) - 20);
        const qint64 speak = traceTime(u"speak Hello there, good to see you.\\Mrk=7\\"_s);
        QVERIFY(speak - traceTime(u"play Wave"_s) >= animationMs(u"Wave"_s) - 20);
        QVERIFY(traceTime(u"bookmark 7"_s) - speak >= 1000); // the words take well over a second
        QVERIFY(traceTime(u"hidden 3"_s) - traceTime(u"hide false"_s) >= animationMs(u"Hide"_s) - 20);
        QVERIFY(!agent->Visible());
    }

    void bookmarkBetweenTwoTexts()
    {
        agent->Speak(u"One, two, three."_s);
        agent->Speak(u"\\Mrk=1\\"_s);
        agent->Speak(u"Four."_s);
        agent->Speak(u"\\Mrk=100001\\"_s);
        QVERIFY(waitIdle());
        QCOMPARE(trace(), (QStringList{u"speak One, two, three."_s, u"speak \\Mrk=1\\"_s, u"bookmark 1"_s,
                                       u"speak Four."_s, u"speak \\Mrk=100001\\"_s, u"bookmark 100001"_s}));
        // The bookmark waits until the first text has been heard.
        QVERIFY(traceTime(u"bookmark 1"_s) - traceTime(u"speak One, two, three."_s) >= 700);
        QCOMPARE(log->bookmarks(), (QList<int>{1, 100001}));
    }

    void stopAllDropsWhatIsQueued()
    {
        agent->Show(true);
        agent->Speak(u"\\Mrk=1\\"_s + LongText + u"\\Mrk=2\\"_s);
        agent->Speak(u"\\Mrk=100001\\"_s);
        agent->Speak(u"\\Mrk=2\\"_s);
        agent->Speak(u"And more words.\\Mrk=100002\\"_s);
        QVERIFY(QTest::qWaitFor(
            [this] {
                return agent->audioOutput()->playing() &&
                       agent->audioOutput()->position() > AgentSampleRate / 2;
            },
            10000));
        agent->StopAll();
        QVERIFY(!agent->isBusy());
        QVERIFY(!agent->audioOutput()->playing());
        QTest::qWait(1500);
        QCOMPARE(log->bookmarks(), (QList<int>{1}));
        QVERIFY(agent->Visible());
        // The program hides the character right after stopping it.
        agent->Hide(true);
        QVERIFY(waitIdle());
        QCOMPARE(log->events().last(), u"hide 3"_s);
        QVERIFY(trace().contains(u"stopall"_s));
    }

    void stopAllFromABookmarkHandler()
    {
        // As the reading does: a bookmark's handler stops everything and queues afresh.
        connect(agent.get(), &IAgent::Bookmark, this, [this](int id) {
            if (id == 1) {
                agent->StopAll();
                agent->Speak(u"\\Mrk=2\\"_s);
            } else if (id == 2) {
                agent->Speak(u"Short.\\Mrk=4\\"_s);
            }
        });
        agent->Speak(u"\\Mrk=1\\"_s);
        agent->Speak(u"Never said.\\Mrk=3\\"_s);
        QVERIFY(waitIdle());
        QTest::qWait(200);
        QCOMPARE(log->events().join(u","_s), u"bookmark 1,bookmark 2,bookmark 4"_s);
        QVERIFY(!trace().contains(u"speak Never said.\\Mrk=3\\"_s));
    }

    void stopEndsOnlyTheCurrentRequest()
    {
        agent->Speak(LongText + u"\\Mrk=8\\"_s);
        agent->Speak(u"\\Mrk=9\\"_s);
        QVERIFY(QTest::qWaitFor(
            [this] {
                return agent->audioOutput()->playing() &&
                       agent->audioOutput()->position() > AgentSampleRate / 2;
            },
            10000));
        agent->Stop();
        QVERIFY(log->bookmarks().isEmpty()); // the next request starts from the event loop
        QVERIFY(waitIdle(2000));
        QCOMPARE(log->bookmarks(), (QList<int>{9}));
        QVERIFY(trace().contains(u"stop"_s));
    }

    void eventsArriveOnTheUiThread()
    {
        QList<QThread*> threads;
        connect(
            agent.get(), &IAgent::Bookmark, this, [&](int) { threads.append(QThread::currentThread()); },
            Qt::DirectConnection);
        agent->Speak(u"\\Mrk=9\\"_s);
        // Nothing fires inside the call that queues it: handlers would run in
        // the middle of the caller's own procedure.
        QVERIFY(log->events().isEmpty());
        agent->Speak(u"A few words.\\Mrk=1\\ And a few more.\\Mrk=2\\"_s);
        QVERIFY(waitIdle());
        QCOMPARE(log->bookmarks(), (QList<int>{9, 1, 2}));
        QCOMPARE(threads.size(), 3);
        for (QThread* t : threads)
            QCOMPARE(t, qApp->thread());
    }

    void showAndHideEvents()
    {
        agent->Show(true);
        agent->Show(true); // already shown: nothing happens
        QVERIFY(waitIdle());
        QVERIFY(agent->Visible());
        QVERIFY(agent->characterWindow()->isVisible());
        agent->Hide(true);
        agent->Hide(true);
        QVERIFY(waitIdle());
        QVERIFY(!agent->characterWindow()->isVisible());
        QCOMPARE(log->events(), (QStringList{u"show 4"_s, u"hide 3"_s}));
        // The show event comes as the character appears, before its animation ends.
        agent->Show(false);
        QVERIFY(QTest::qWaitFor([this] { return log->events().size() == 3; }, 1000));
        QVERIFY(agent->isBusy());
        QVERIFY(waitIdle());
    }

    void nothingAnimatesWhileHidden()
    {
        const int frame = agent->characterWindow()->currentFrame();
        QVERIFY(agent->Play(u"Wave"_s));
        QVERIFY(waitIdle(200)); // done at once: there is nothing to see
        QCOMPARE(agent->characterWindow()->currentFrame(), frame);
        agent->setIdleDelay(30, 40);
        QTest::qWait(500);
        QCOMPARE(agent->characterWindow()->currentFrame(), frame);
        // Shown, the idle animations start after their pause.
        agent->Show(true);
        QVERIFY(QTest::qWaitFor([&] { return agent->characterWindow()->currentFrame() != frame; }, 5000));
    }

    void idlePausesGrowAndStartOver()
    {
        agent->setIdleDelay(1000, 1000);
        agent->Show(true);
        QVERIFY(waitIdle());
        QVERIFY(QTest::qWaitFor([&] { return agent->idlePause() == 1000; }, 1000));
        // Each idle animation makes the next pause a quarter longer, up to four times the first.
        QList<int> pauses;
        for (int i = 0; i < 8; ++i) {
            QVERIFY(agent->playIdle(u"Idle1_1"_s));
            QCOMPARE(agent->idlePause(), -1); // no pause runs while it plays
            QVERIFY(QTest::qWaitFor([&] { return agent->idlePause() > 0; }, 5000));
            pauses << agent->idlePause();
        }
        QCOMPARE(pauses, (QList<int>{1250, 1562, 1953, 2441, 3051, 3814, 4000, 4000}));
        // Anything the character does starts over at the first pause.
        agent->Speak(u"Hello."_s);
        QVERIFY(waitIdle());
        QVERIFY(QTest::qWaitFor([&] { return agent->idlePause() > 0; }, 1000));
        QCOMPARE(agent->idlePause(), 1000);
    }

    void animations()
    {
        QVERIFY(!agent->Play(u"NoSuchThing"_s));
        QVERIFY(!agent->Play(u"None"_s));
        QVERIFY(agent->Play(u"wave"_s)); // names ignore case
        CharacterFile c;
        c.load(Character);
        QCOMPARE(agent->AnimationNames(), c.animationNames());
        // A looping animation gives way to the next request after a pass.
        agent->Show(true);
        QVERIFY(agent->Play(u"Reading"_s));
        agent->Speak(u"\\Mrk=1\\"_s);
        QVERIFY(QTest::qWaitFor([this] { return !log->bookmarks().isEmpty(); },
                                animationMs(u"Reading"_s) + 2000));
    }

    void menu()
    {
        agent->AddCommand(u"Check Mail Now"_s, u"&Check Mail Now"_s);
        agent->AddCommand(u"Options"_s, u"&Options"_s);
        agent->AddCommand(u"Next Message"_s, u"&Next Message"_s);
        agent->setCommandEnabled(u"Next Message"_s, false);
        QCOMPARE(agent->commandNames(), (QStringList{u"Check Mail Now"_s, u"Options"_s, u"Next Message"_s}));
        QVERIFY(agent->commandEnabled(u"Options"_s));
        QVERIFY(!agent->commandEnabled(u"Next Message"_s));
        QVERIFY(!agent->commandEnabled(u"Unknown"_s));

        std::unique_ptr<QMenu> menu(agent->createMenu());
        const QList<QAction*> actions = menu->actions();
        QCOMPARE(actions.size(), 5);
        QCOMPARE(actions.at(0)->text(), u"&Check Mail Now"_s);
        QCOMPARE(actions.at(1)->text(), u"&Options"_s);
        QVERIFY(!actions.at(2)->isEnabled());
        QVERIFY(actions.at(3)->isSeparator());
        QCOMPARE(actions.at(4)->text(), u"&Hide"_s);

        agent->Show(true);
        QVERIFY(waitIdle());
        actions.at(1)->trigger();
        QCOMPARE(log->events().last(), u"command Options"_s);
        QVERIFY(trace().contains(u"command Options"_s));

        // Hiding from the menu is the user's doing, and silences what was to come.
        agent->Speak(LongText + u"\\Mrk=1\\"_s);
        agent->Speak(u"\\Mrk=2\\"_s);
        QVERIFY(QTest::qWaitFor(
            [this] { return agent->audioOutput()->playing() && agent->audioOutput()->position() > 0; },
            5000));
        actions.at(4)->trigger();
        QVERIFY(waitIdle(3000));
        QTest::qWait(300);
        QCOMPARE(log->events().last(), u"hide 1"_s);
        QVERIFY(log->bookmarks().isEmpty());
        QVERIFY(!agent->Visible());
        QVERIFY(trace().contains(u"hidden 1"_s));
    }

    void doubleClickAndDrag()
    {
        agent->MoveTo(100, 100);
        agent->Show(true);
        QVERIFY(waitIdle());
        CharacterWindow* w = agent->characterWindow();
        QTest::mouseDClick(w, Qt::LeftButton, {}, QPoint(64, 64));
        QCOMPARE(log->events().last(), u"dblclick"_s);
        QVERIFY(trace().contains(u"dblclick"_s));
        QTest::mousePress(w, Qt::LeftButton, {}, QPoint(60, 60));
        QTest::mouseMove(w, QPoint(90, 80));
        QTest::mouseMove(w, QPoint(110, 95));
        QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(110, 95));
        // Each move is relative to where the window stands by then.
        QCOMPARE(agent->Left(), 180);
        QCOMPARE(agent->Top(), 155);
    }

    void loadingAndSize()
    {
        QVERIFY(agent->isLoaded());
        QCOMPARE(agent->Name(), u"Vela"_s);
        QCOMPARE(agent->OriginalWidth(), 128);
        QCOMPARE(agent->OriginalHeight(), 128);
        agent->setWidth(64);
        agent->setHeight(96);
        QCOMPARE(agent->Width(), 64);
        QCOMPARE(agent->characterWindow()->size(), QSize(64, 96));
        QVERIFY(!agent->Load(u"EMailAgent"_s, Character));
        QVERIFY2(agent->loadError().contains(u"unload it first"_s), qPrintable(agent->loadError()));
        agent->Unload(u"SomeoneElse"_s);
        QVERIFY(agent->isLoaded());
        agent->Unload(u"EMailAgent"_s);
        QVERIFY(!agent->isLoaded());
        QVERIFY(agent->AnimationNames().isEmpty());
        QVERIFY(!agent->Load(u"EMailAgent"_s, m_dir.filePath(u"missing.acs"_s)));
        QVERIFY2(agent->loadError().contains(u"does not exist"_s), qPrintable(agent->loadError()));
        QVERIFY(!agent->isLoaded());
        QVERIFY(agent->Load(u"EMailAgent"_s, Character));
        QCOMPARE(agent->Width(), 128); // a fresh character has its own size again
    }

    void moveToWaitsItsTurn()
    {
        agent->MoveTo(10, 10);
        QVERIFY(waitIdle());
        agent->Speak(u"Just a moment."_s);
        agent->MoveTo(300, 200);
        QTest::qWait(100);
        QCOMPARE(agent->Left(), 10);
        QVERIFY(waitIdle());
        QCOMPARE(agent->Left(), 300);
        QCOMPARE(agent->Top(), 200);
    }

    void soundFilesAsSpeech()
    {
        const QString tone = m_dir.filePath(u"tone.wav"_s);
        QVERIFY(writeTone(tone, 44100, 2, 0.6));
        const QString junk = m_dir.filePath(u"junk.wav"_s);
        QFile j(junk);
        QVERIFY(j.open(QIODevice::WriteOnly));
        j.write("RIFF\x10\x00\x00\x00WAVEfmt garbage garbage");
        j.close();

        agent->SpeakFile(tone);
        agent->Speak(u"\\Mrk=1\\"_s);
        agent->SpeakFile(m_dir.filePath(u"missing.wav"_s));
        agent->Speak(u"\\Mrk=2\\"_s);
        agent->SpeakFile(junk);
        agent->Speak(u"\\Mrk=3\\"_s);
        QVERIFY(waitIdle());
        QCOMPARE(log->bookmarks(), (QList<int>{1, 2, 3}));
        // The sound is played in full, at its own speed, before the bookmark.
        const qint64 played = traceTime(u"bookmark 1"_s) - traceTime(u"sound "_s + tone);
        QVERIFY2(played >= 580 && played < 1500, qPrintable(QString::number(played)));
        // A file that cannot be played takes no time.
        QVERIFY(traceTime(u"bookmark 2"_s) - traceTime(u"bookmark 1"_s) < 300);
    }

    void thoughtBalloon()
    {
        agent->Think(u"Not shown: hidden."_s);
        QVERIFY(waitIdle(200));
        agent->Show(true);
        agent->Think(u"A quiet thought."_s);
        BalloonWindow* b = agent->balloonWindow();
        QVERIFY(QTest::qWaitFor([b] { return b->isVisible(); }, 2000));
        QVERIFY(b->isThought());
        QCOMPARE(b->visibleText(), u"A quiet thought."_s);
        QVERIFY(waitIdle(6000));
        QVERIFY(!b->isVisible());
        agent->setBalloonStyle(0);
        agent->Think(u"Balloons are off."_s);
        QVERIFY(waitIdle(200));
        QVERIFY(trace().contains(u"think A quiet thought."_s));
    }

    void speechBalloonFollowsTheWords()
    {
        agent->Show(true);
        const QString words = u"One two three four five six seven eight nine ten."_s;
        agent->Speak(u"\\Spd=150\\"_s + words);
        BalloonWindow* b = agent->balloonWindow();
        QVERIFY(QTest::qWaitFor([b] { return b->isVisible() && b->revealed() > 0; }, 3000));
        QVERIFY(b->revealed() < words.size());
        QVERIFY(QTest::qWaitFor([b, &words] { return b->revealed() == words.size(); }, 8000));
        QCOMPARE(b->visibleText(), words);
        QVERIFY(waitIdle());
        QVERIFY(QTest::qWaitFor([b] { return !b->isVisible(); }, 2000));

        agent->setBalloonStyle(agent->balloonStyle() & ~IAgent::BalloonOn);
        agent->Speak(u"No balloon now."_s);
        bool seen = false;
        while (agent->isBusy()) {
            seen = seen || b->isVisible();
            QTest::qWait(20);
        }
        QVERIFY(!seen);
    }

    void mouthMovesWithTheSound()
    {
        agent->Show(true);
        agent->Speak(u"Hello, my dear friend. How are you doing today?"_s);
        QSet<int> levels;
        while (agent->isBusy()) {
            levels.insert(agent->characterWindow()->speakingMouth());
            QTest::qWait(15);
        }
        levels.remove(-1);
        QVERIFY2(levels.size() >= 3, qPrintable(QString::number(levels.size())));
        QCOMPARE(agent->characterWindow()->speakingMouth(), -1);
    }
};

QTEST_MAIN(TestAgentQueue)
#include "tst_AgentQueue.moc"
