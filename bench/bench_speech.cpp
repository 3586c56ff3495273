// Speech figures: the time from Speak to the first audio handed to the sound
// server, and how long the UI thread stalls while a 200-word text is
// synthesised, each beside a reference run in the same process.
//
//   bench_speech [--runs N]
// Plays through the sound server when there is one (else the silent clock).
#include "agent/engine/AudioOutput.h"
#include "agent/engine/SpeechSynthesizer.h"
#include "agent/engine/SsmlDocument.h"
#include "agent/view/AgentEngine.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

namespace {

const QString Short = u"You have one new message."_s;

QString twoHundredWords()
{
    const QString sentence = u"The quick brown fox jumps over the lazy dog while the farmer counts his sheep "
                             u"and the children sing a song about the weather in the valley. "_s; // 30 words
    QString text;
    for (int i = 0; i < 7; ++i)
        text += sentence;
    return text.section(u' ', 0, 199) + u'.';
}

void waitMs(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

template <typename Pred> bool waitFor(Pred done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

struct Stats
{
    double min, median, max;
};

Stats stats(QList<double> v)
{
    std::sort(v.begin(), v.end());
    if (v.isEmpty()) return {0, 0, 0};
    return {v.first(), v.at(v.size() / 2), v.last()};
}

const char* modeName(AudioOutput::Mode m)
{
    switch (m) {
    case AudioOutput::Mode::Sink:
        return "sound server";
    case AudioOutput::Mode::File:
        return "audio file";
    case AudioOutput::Mode::Silent:
        return "silent clock";
    }
    return "?";
}

// The longest gap between the ticks of a 1 ms timer while work runs: how long
// the UI thread could not answer.
double longestStall(const std::function<void()>& start, const std::function<bool()>& done, int maxMs)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 worst = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, now - last);
        last = now;
    });
    tick.start();
    start();
    waitFor(done, maxMs);
    tick.stop();
    return double(worst) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser cli;
    cli.addHelpOption();
    cli.addOption({u"runs"_s, u"Trials of each measurement"_s, u"n"_s, u"20"_s});
    cli.process(app);
    const int runs = qMax(1, cli.value(u"runs"_s).toInt());

    AgentEngine agent;
    AudioOutput* audio = agent.audioOutput();
    // espeak-ng loads its data on the worker thread when the character first
    // shows itself; the figures are of a program that has done so.
    agent.Show(true);
    waitMs(500);

    // 1. Speak to the first frame handed to the sink.
    QList<double> latency;
    QElapsedTimer clock;
    bool started = false;
    QObject::connect(audio, &AudioOutput::clipStarted, &app, [&] {
        if (!started) latency.append(double(clock.nsecsElapsed()) / 1e6);
        started = true;
    });
    for (int i = 0; i < runs; ++i) {
        started = false;
        clock.start();
        agent.Speak(Short);
        if (!waitFor([&] { return started; }, 5000)) std::printf("run %d: no audio within 5 s\n", i + 1);
        agent.StopAll();
        waitMs(60);
    }
    const AudioOutput::Mode mode = audio->mode();
    // Reference: the same short text through the synthesiser alone, to its first chunk.
    QList<double> synthOnly;
    {
        SpeechSynthesizer synth;
        bool first = false;
        QObject::connect(&synth, &SpeechSynthesizer::chunkReady, &app, [&](quint64, const ClipChunk&) {
            if (!first) synthOnly.append(double(clock.nsecsElapsed()) / 1e6);
            first = true;
        });
        const SsmlDocument doc(SpeechTags::parse(Short), u"en-us"_s);
        for (int i = 0; i < runs; ++i) {
            first = false;
            clock.start();
            synth.speak(doc.utf8(), u"en-us"_s);
            waitFor([&] { return first; }, 5000);
            waitMs(30);
        }
    }
    const Stats l = stats(latency), s = stats(synthOnly);
    std::printf(
        "Speak to first audio frame handed to the %s (%d runs): min %.1f ms, median %.1f ms, max %.1f ms "
        "(goal: under 50 ms)\n",
        modeName(mode), runs, l.min, l.median, l.max);
    std::printf("  reference, the synthesiser alone to its first block:        min %.1f ms, median %.1f ms, "
                "max %.1f ms\n",
                s.min, s.median, s.max);

    // 2. The UI thread while 200 words are synthesised.
    const QString text = twoHundredWords();
    QList<double> stalls, idleStalls;
    qint64 samples = 0;
    double synthMs = 0;
    for (int i = 0; i < qMin(runs, 10); ++i) {
        idleStalls.append(longestStall([] {}, [] { return false; }, 300));
        bool complete = false;
        QElapsedTimer synthClock;
        SpeechSynthesizer synth;
        QObject::connect(&synth, &SpeechSynthesizer::chunkReady, &app, [&](quint64, const ClipChunk& c) {
            samples += c.samples.size();
            if (c.last) {
                complete = true;
                synthMs += double(synthClock.nsecsElapsed()) / 1e6;
            }
        });
        // Through the engine, as the program does it: parsing, SSML and queueing on
        // the UI thread, synthesis on the worker.
        stalls.append(longestStall(
            [&] {
                synthClock.start();
                agent.Speak(text);
                synth.speak(SsmlDocument(SpeechTags::parse(text), u"en-us"_s).utf8(), u"en-us"_s);
            },
            [&] { return complete; }, 10000));
        agent.StopAll();
        waitMs(50);
    }
    const Stats st = stats(stalls), it = stats(idleStalls);
    const int n = qMin(runs, 10);
    std::printf(
        "Longest UI-thread stall while 200 words are synthesised (%d runs): min %.1f ms, median %.1f ms, "
        "max %.1f ms (goal: none over 16 ms)\n",
        n, st.min, st.median, st.max);
    std::printf("  reference, the same event loop with nothing to do:           min %.1f ms, median %.1f ms, "
                "max %.1f ms\n",
                it.min, it.median, it.max);
    std::printf(
        "Synthesis of 200 words on the worker thread: %.1f ms for %.1f s of speech (%.0f times real time)\n",
        synthMs / n, double(samples) / n / AgentSampleRate,
        synthMs > 0 ? (double(samples) / AgentSampleRate * 1000.0) / synthMs : 0.0);
    return 0;
}
