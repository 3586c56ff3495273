#include "agent/engine/AudioOutput.h"

#include "agent/engine/WavFileWriter.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QDebug>
#include <QMediaDevices>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

constexpr int TickMs = 10;
// A fresh null sink holds playback back for about 1.6 s before it starts; a
// server that says nothing for longer than this is taken as gone.
constexpr int SinkStallMs = 3000;
constexpr int SinkRetryMs = 30000;
constexpr int IdleSettleMs = 250;

QAudioFormat agentFormat()
{
    QAudioFormat f;
    f.setSampleRate(AgentSampleRate);
    f.setChannelCount(1);
    f.setSampleFormat(QAudioFormat::Int16);
    return f;
}

} // namespace

AudioOutput::AudioOutput(const QString& filePath, QObject* parent) : QObject(parent)
{
    m_timer.setInterval(TickMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &AudioOutput::tick);
    if (!filePath.isEmpty()) {
        m_file = std::make_unique<WavFileWriter>(AgentSampleRate);
        if (m_file->open(filePath)) {
            m_mode = Mode::File;
        } else {
            qWarning("Orvella: cannot write the audio file %s (%s); the audio is not kept",
                     qPrintable(filePath), qPrintable(m_file->errorString()));
            m_file.reset();
            m_mode = Mode::Silent;
        }
    } else {
        m_mode = Mode::Sink;
    }
}

AudioOutput::~AudioOutput()
{
    m_timer.stop();
    stopSink();
}

bool AudioOutput::openSink()
{
    if (m_sinkBroken) {
        if (m_sinkRetry.isValid() && m_sinkRetry.elapsed() < SinkRetryMs) return false;
        m_sinkBroken = false;
    }
    if (!m_sink) {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) {
            fallBackToClock("no sound output device");
            return false;
        }
        m_sink = std::make_unique<QAudioSink>(device, agentFormat());
    }
    m_io = m_sink->start();
    // Without a sound server the sink sits in OpenError and never says so by signal.
    if (!m_io || m_sink->error() != QAudio::NoError) {
        m_io = nullptr;
        m_sink.reset();
        fallBackToClock("the sound server cannot be opened");
        return false;
    }
    m_written = 0;
    m_lastSinkPosition = -1;
    m_sinkStall.start();
    return true;
}

void AudioOutput::stopSink()
{
    if (m_sink && m_io) {
        m_sink->reset();
        m_sink->stop();
    }
    m_io = nullptr;
}

void AudioOutput::fallBackToClock(const char* why)
{
    if (!m_sinkBroken) qWarning("Orvella: %s; speech goes on silently", why);
    m_sinkBroken = true;
    m_sinkRetry.start();
    stopSink();
    m_clock = true;
    m_clockTimer.start();
    m_clockLastNs = 0;
    m_clockCarry = 0.0;
}

void AudioOutput::startClip()
{
    if (m_active) cut();
    m_samples = QVector<qint16>();
    m_position = 0;
    m_ended = false;
    m_announced = false;
    m_opened = false;
    m_clock = false;
    m_active = true;
    m_timer.start();
}

void AudioOutput::append(const QVector<qint16>& samples)
{
    if (!m_active) return;
    // The first block is shared with the caller's copy rather than copied: a
    // clip synthesised before its turn comes in one block.
    if (m_samples.isEmpty())
        m_samples = samples;
    else
        m_samples += samples;
    if (!m_opened && !m_samples.isEmpty()) {
        // The sound server gets the clip only once there is something to play:
        // a stream that starts empty underruns and then runs its count ahead.
        m_opened = true;
        m_clock = !(m_mode == Mode::Sink && openSink());
        if (m_clock) {
            m_clockTimer.start();
            m_clockLastNs = 0;
            m_clockCarry = 0.0;
        }
    }
    if (m_io) feedSink();
    if (!m_announced && !m_samples.isEmpty()) {
        m_announced = true;
        Q_EMIT clipStarted();
    }
}

void AudioOutput::endClip()
{
    if (!m_active) return;
    m_ended = true;
    tick();
}

void AudioOutput::cut()
{
    m_timer.stop();
    stopSink();
    m_active = false;
    m_ended = false;
    // clear() would keep the buffer; minutes of speech are megabytes.
    m_samples = QVector<qint16>();
    m_position = 0;
}

void AudioOutput::feedSink()
{
    while (m_io && m_written < m_samples.size()) {
        const qint64 freeBytes = m_sink->bytesFree();
        const qint64 n = qMin<qint64>(freeBytes / 2, m_samples.size() - m_written);
        if (n <= 0) break;
        const qint64 done =
            m_io->write(reinterpret_cast<const char*>(m_samples.constData() + m_written), n * 2);
        if (done <= 0) break;
        m_written += done / 2;
    }
}

void AudioOutput::advanceClock()
{
    const qint64 ns = m_clockTimer.nsecsElapsed();
    const double due = double(ns - m_clockLastNs) * AgentSampleRate / 1e9 + m_clockCarry;
    m_clockLastNs = ns;
    const qint64 whole = qint64(due);
    m_clockCarry = due - double(whole);
    // A clock that has nothing to play waits, as a starved sound card would.
    const qint64 next = qMin<qint64>(m_samples.size(), m_position + whole);
    if (next == m_samples.size()) m_clockCarry = 0.0;
    if (m_file && next > m_position) m_file->write(m_samples.constData() + m_position, next - m_position);
    m_position = next;
}

void AudioOutput::tick()
{
    if (!m_active) return;
    if (!m_opened) {
        // Nothing to play yet.
    } else if (m_clock) {
        advanceClock();
    } else if (m_sink) {
        feedSink();
        const QAudio::Error err = m_sink->error();
        if (err != QAudio::NoError && err != QAudio::UnderrunError) {
            fallBackToClock("the sound server failed");
        } else {
            // processedUSecs() follows what the server has played; it never
            // runs ahead of what we gave it.
            const qint64 heard = m_sink->processedUSecs() * AgentSampleRate / 1000000;
            m_position = qBound<qint64>(m_position, heard, m_written);
            if (m_position != m_lastSinkPosition) {
                m_lastSinkPosition = m_position;
                m_sinkStall.start();
            } else if (m_ended && m_written == m_samples.size() && m_sink->state() == QAudio::IdleState &&
                       m_sinkStall.elapsed() > IdleSettleMs) {
                // Everything was played; the count may stop a few samples short.
                m_position = m_written;
            } else if (m_position < m_samples.size() && m_sinkStall.elapsed() > SinkStallMs) {
                const qint64 at = m_position;
                fallBackToClock("the sound server stopped playing");
                m_position = at;
            }
        }
    }
    Q_EMIT progressed();
    if (m_active && m_ended && m_position >= m_samples.size()) {
        m_timer.stop();
        // Read before stopping: the sink's count restarts at 0 on stop().
        stopSink();
        m_active = false;
        Q_EMIT clipFinished();
        // Heard to the end: its samples go, unless the next clip has begun.
        if (!m_active) m_samples = QVector<qint16>();
    }
}

} // namespace orvella
