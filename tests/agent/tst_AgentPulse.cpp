// Speech through a real sound server: a private PulseAudio with a null sink
// (the "pulseaudio" fixture), whose monitor is recorded while the engine speaks.
#include "agent/engine/AudioOutput.h"
#include "agent/engine/SpeechSynthesizer.h"
#include "agent/engine/SsmlDocument.h"
#include "agent/view/AgentEngine.h"
#include "core/AgentTrace.h"
#include "support/PulseRecorder.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>
#include <cmath>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

namespace {

// What espeak-ng makes of a text: its samples and where its marks fall.
struct Synthesis
{
    QVector<qint16> samples;
    QMap<int, qint64> marks; // mark index -> sample
};

bool synthesize(const QString& text, Synthesis& out)
{
    SsmlDocument doc(SpeechTags::parse(text), u"en-us"_s);
    SpeechSynthesizer synth;
    bool done = false;
    QObject::connect(&synth, &SpeechSynthesizer::chunkReady, &synth, [&](quint64, const ClipChunk& c) {
        out.samples += c.samples;
        for (const ClipEvent& e : c.events) {
            if (e.type == ClipEvent::Mark) out.marks.insert(e.a, e.sample);
        }
        done = done || c.last;
    });
    synth.speak(doc.utf8(), u"en-us"_s);
    return QTest::qWaitFor([&] { return done; }, 10000);
}

// First sample of a 5 ms window whose level passes threshold.
qint64 onset(const QVector<qint16>& s, qint64 from = 0, double threshold = 400)
{
    const int win = AgentSampleRate / 200;
    for (qint64 i = from; i + win <= s.size(); i += win / 2) {
        double sum = 0;
        for (int k = 0; k < win; ++k)
            sum += double(s[i + k]) * s[i + k];
        if (std::sqrt(sum / win) > threshold) {
            for (qint64 k = i; k < i + win; ++k) {
                if (std::abs(s[k]) > threshold) return k;
            }
            return i;
        }
    }
    return -1;
}

// Share of 50 ms windows in [from, to) that sound like speech rather than silence.
double voicedShare(const QVector<qint16>& s, qint64 from, qint64 to)
{
    const int win = AgentSampleRate / 20;
    int voiced = 0, total = 0;
    for (qint64 i = from; i + win <= to; i += win) {
        double sum = 0;
        for (int k = 0; k < win; ++k)
            sum += double(s[i + k]) * s[i + k];
        ++total;
        if (std::sqrt(sum / win) > 500) ++voiced;
    }
    return total ? double(voiced) / total : 0.0;
}

} // namespace

class TestAgentPulse : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariable("PULSE_SERVER").isEmpty(),
                 "the test needs the private PulseAudio server");
    }

    void speechIsHeardAndBookmarksFollowTheAudio()
    {
        const QString text = u"\\Mrk=1\\Good morning. You have two new messages.\\Mrk=2\\ "
                             u"The first one is from Anna, about the garden party on Sunday.\\Mrk=3\\"_s;
        Synthesis expected;
        QVERIFY(synthesize(text, expected));
        QCOMPARE(expected.marks.size(), 3);

        test::PulseRecorder recorder;
        QVERIFY(recorder.start());
        // A fresh null sink holds playback back unless someone already listens.
        QTest::qWait(2500);

        AgentEngine agent;
        QVERIFY(agent.Load(u"EMailAgent"_s, QStringLiteral(ORVELLA_SOURCE_CHARACTER)));
        QMap<int, double> fired;
        connect(&agent, &IAgent::Bookmark, this,
                [&](int id) { fired.insert(id, double(AgentTrace::now())); });
        agent.Speak(text);
        QTRY_VERIFY_WITH_TIMEOUT(!agent.isBusy(), 20000);
        QCOMPARE(agent.audioOutput()->mode(), AudioOutput::Mode::Sink);
        QTest::qWait(300);
        recorder.stop();

        const QVector<qint16> rec = recorder.samples();
        const qint64 heardFrom = onset(rec);
        QVERIFY2(heardFrom >= 0, "the recording is silent");
        const qint64 spokenFrom = onset(expected.samples);
        QVERIFY(spokenFrom >= 0);
        const qint64 length = expected.samples.size() - spokenFrom;
        QVERIFY(heardFrom + length <= rec.size());
        // Speech, not noise or silence: most of its stretch carries sound.
        const double share = voicedShare(rec, heardFrom, heardFrom + length);
        QVERIFY2(share > 0.5, qPrintable(u"only %1 of the speech is audible"_s.arg(share)));

        QCOMPARE(fired.keys(), (QList<int>{1, 2, 3}));
        const double heardAt = recorder.timeOfSample(heardFrom);
        for (int index = 0; index < 3; ++index) {
            const double due =
                heardAt + double(expected.marks.value(index) - spokenFrom) * 1000.0 / AgentSampleRate;
            const double late = fired.value(index + 1) - due;
            qInfo("bookmark %d fired %+.0f ms from its place in the recording", index + 1, late);
            QVERIFY2(std::abs(late) <= 100,
                     qPrintable(u"bookmark %1 is %2 ms off"_s.arg(index + 1).arg(late)));
        }
    }

    void stopAllCutsTheSound()
    {
        test::PulseRecorder recorder;
        QVERIFY(recorder.start());
        QTest::qWait(2500);
        AgentEngine agent;
        agent.Speak(
            u"This sentence is long enough to be cut short in its middle, and then it goes on and on."_s);
        QTRY_VERIFY_WITH_TIMEOUT(agent.audioOutput()->position() > AgentSampleRate, 10000);
        const double stoppedAt = double(AgentTrace::now());
        agent.StopAll();
        QTest::qWait(1000);
        recorder.stop();
        const QVector<qint16> rec = recorder.samples();
        qint64 lastLoud = -1;
        const int win = AgentSampleRate / 100;
        for (qint64 i = 0; i + win <= rec.size(); i += win) {
            double sum = 0;
            for (int k = 0; k < win; ++k)
                sum += double(rec[i + k]) * rec[i + k];
            if (std::sqrt(sum / win) > 300) lastLoud = i + win;
        }
        QVERIFY(lastLoud > 0);
        const double silentAfter = recorder.timeOfSample(lastLoud) - stoppedAt;
        qInfo("sound stopped %.0f ms after StopAll", silentAfter);
        QVERIFY2(silentAfter < 250, qPrintable(u"sound went on %1 ms after StopAll"_s.arg(silentAfter)));
    }

    // Closing the sound server's stream runs the event loop: an engine that
    // goes while it speaks, with more queued, must not be called back half
    // destroyed (AddressSanitizer and UndefinedBehaviorSanitizer tell).
    void endsWhileSpeaking()
    {
        auto agent = std::make_unique<AgentEngine>();
        QVERIFY(agent->Load(u"EMailAgent"_s, QStringLiteral(ORVELLA_SOURCE_CHARACTER)));
        agent->Speak(u"This sentence is long enough to be still playing when the engine goes."_s);
        QTRY_VERIFY_WITH_TIMEOUT(agent->audioOutput()->position() > AgentSampleRate / 4, 10000);
        QCOMPARE(agent->audioOutput()->mode(), AudioOutput::Mode::Sink);
        agent->Speak(u"And one more."_s); // its start is queued
        QPointer<QObject> speech = agent->findChild<QObject*>();
        agent.reset();
        QVERIFY(speech.isNull());
        QTest::qWait(200); // whatever was queued for it has nowhere to go
    }
};

QTEST_MAIN(TestAgentPulse)
#include "tst_AgentPulse.moc"
