// Bookmark timing against the audio the listener gets, with the silent clock
// (no sound server) and with the audio file; the audio file's contents.
#include "agent/engine/AudioOutput.h"
#include "agent/engine/SpeechSynthesizer.h"
#include "agent/engine/SsmlDocument.h"
#include "agent/view/AgentEngine.h"
#include "core/AgentTrace.h"
#include "core/settings/Program.h"
#include "support/AgentEventLog.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <memory>
#include <sndfile.h>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

namespace {

const QString Text = u"\\Mrk=1\\Good evening. The first message is from Paul.\\Mrk=2\\ "
                     u"He asks whether you will come to dinner on Friday.\\Mrk=3\\"_s;

struct Synthesis
{
    QVector<qint16> samples;
    QList<qint64> marks;
};

bool synthesize(const QString& text, Synthesis& out)
{
    SsmlDocument doc(SpeechTags::parse(text), u"en-us"_s);
    SpeechSynthesizer synth;
    bool done = false;
    QObject::connect(&synth, &SpeechSynthesizer::chunkReady, &synth, [&](quint64, const ClipChunk& c) {
        out.samples += c.samples;
        for (const ClipEvent& e : c.events) {
            if (e.type == ClipEvent::Mark) out.marks.append(e.sample);
        }
        done = done || c.last;
    });
    synth.speak(doc.utf8(), u"en-us"_s);
    return QTest::qWaitFor([&] { return done; }, 10000);
}

QVector<qint16> readWav(const QString& path, SF_INFO& info)
{
    info = SF_INFO{};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    QVector<qint16> out;
    if (!f) return out;
    if (info.frames < 0 || info.frames > 50 * AgentSampleRate || info.channels != 1) {
        qWarning("unexpected WAV header: %lld frames, %d channels", qint64(info.frames), info.channels);
        sf_close(f);
        info.frames = -1;
        return out;
    }
    out.resize(info.frames * info.channels);
    sf_readf_short(f, out.data(), info.frames);
    sf_close(f);
    return out;
}

} // namespace

class TestAgentAudio : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // Runs Text through a fresh engine; returns the bookmark times measured
    // from the moment its audio started.
    QList<qint64> speakAndTime(AgentEngine& agent)
    {
        qint64 started = -1;
        QList<qint64> marks;
        QObject listening; // the connections end with this call
        connect(agent.audioOutput(), &AudioOutput::clipStarted, &listening,
                [&] { started = AgentTrace::now(); });
        connect(&agent, &IAgent::Bookmark, &listening, [&](int) { marks.append(AgentTrace::now()); });
        agent.Speak(Text);
        if (!QTest::qWaitFor([&] { return !agent.isBusy(); }, 20000)) return {};
        for (qint64& m : marks)
            m -= started;
        return marks;
    }

private Q_SLOTS:
    void cleanup() { Program().AudioFile.clear(); }

    void bookmarksFollowTheSilentClock()
    {
        Synthesis expected;
        QVERIFY(synthesize(Text, expected));
        QCOMPARE(expected.marks.size(), 3);
        AgentEngine agent;
        QCOMPARE(agent.audioOutput()->mode(), AudioOutput::Mode::Sink); // asked for, but there is no server
        const QList<qint64> fired = speakAndTime(agent);
        QCOMPARE(agent.audioOutput()->mode(), AudioOutput::Mode::Silent);
        QCOMPARE(fired.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const qint64 due = expected.marks.at(i) * 1000 / AgentSampleRate;
            qInfo("bookmark %d: due %lld ms, fired %lld ms", i + 1, due, fired.at(i));
            QVERIFY2(std::abs(fired.at(i) - due) <= 50,
                     qPrintable(u"bookmark %1 off by %2 ms"_s.arg(i + 1).arg(fired.at(i) - due)));
        }
    }

    void audioFileHoldsTheStream()
    {
        Synthesis expected;
        QVERIFY(synthesize(Text, expected));
        const QString path = m_dir.filePath(u"speech.wav"_s);
        Program().AudioFile = path;
        AgentEngine agent;
        QCOMPARE(agent.audioOutput()->mode(), AudioOutput::Mode::File);

        // Half-way through, the file is already a complete WAV file of what
        // was heard so far: a program killed now leaves it playable.
        bool checkedMidway = false;
        QTimer::singleShot(1500, this, [&] {
            SF_INFO info;
            const QVector<qint16> part = readWav(path, info);
            QFile raw(path);
            raw.open(QIODevice::ReadOnly);
            const QByteArray bytes = raw.readAll();
            const quint32 riff = qFromLittleEndian<quint32>(bytes.constData() + 4);
            checkedMidway = info.samplerate == AgentSampleRate && info.channels == 1 &&
                            info.frames > AgentSampleRate && info.frames < expected.samples.size() &&
                            riff == quint32(bytes.size() - 8);
        });
        QVector<qint16> played;
        connect(agent.audioOutput(), &AudioOutput::clipFinished, this,
                [&] { played = agent.audioOutput()->samples(); });
        const QList<qint64> fired = speakAndTime(agent);
        QVERIFY(checkedMidway);
        QCOMPARE(fired.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const qint64 due = expected.marks.at(i) * 1000 / AgentSampleRate;
            QVERIFY2(std::abs(fired.at(i) - due) <= 50,
                     qPrintable(u"bookmark %1 off by %2 ms"_s.arg(i + 1).arg(fired.at(i) - due)));
        }
        SF_INFO info;
        const QVector<qint16> written = readWav(path, info);
        QCOMPARE(info.samplerate, AgentSampleRate);
        // Exactly what was played; espeak-ng's output varies by a few samples from run to run.
        QVERIFY(std::abs(played.size() - expected.samples.size()) < AgentSampleRate / 100);
        QCOMPARE(written.size(), played.size());
        QVERIFY(written == played);
        // Heard to the end, the speech is let go of: a long message would be megabytes.
        QVERIFY(agent.audioOutput()->samples().isEmpty());

        // A second speech follows the first; StopAll cuts it, and nothing more is written.
        agent.Speak(Text);
        QVERIFY(QTest::qWaitFor(
            [&] {
                return agent.audioOutput()->playing() && agent.audioOutput()->position() > AgentSampleRate;
            },
            5000));
        agent.StopAll();
        const qint64 sizeAtStop = QFileInfo(path).size();
        QTest::qWait(500);
        QCOMPARE(QFileInfo(path).size(), sizeAtStop);
        readWav(path, info);
        // The second speech is in the file as far as it was heard, a second or so.
        QVERIFY(info.frames >= played.size() + AgentSampleRate);
        QVERIFY(info.frames < played.size() + 2 * AgentSampleRate);
    }

    void unwritableAudioFile()
    {
        Program().AudioFile = m_dir.filePath(u"no/such/folder/speech.wav"_s);
        AgentEngine agent;
        // It says why, and speech goes on without the file.
        QCOMPARE(agent.audioOutput()->mode(), AudioOutput::Mode::Silent);
        test::AgentEventLog log(&agent);
        agent.Speak(u"Still here.\\Mrk=1\\"_s);
        QVERIFY(QTest::qWaitFor([&] { return !agent.isBusy(); }, 10000));
        QCOMPARE(log.bookmarks(), (QList<int>{1}));
    }
};

QTEST_MAIN(TestAgentAudio)
#include "tst_AgentAudio.moc"
