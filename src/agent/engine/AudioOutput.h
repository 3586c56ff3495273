#pragma once

#include "agent/engine/AudioClip.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QVector>
#include <memory>

class QAudioSink;
class QIODevice;

namespace orvella {

class WavFileWriter;

// Plays one clip at a time and tells how much of it the listener has heard.
// Three ways out: the sound server through QAudioSink; a WAV file (when the
// program was asked for one); or, with no sound server, a silent clock. The
// file and the silent clock consume the audio in real time, so bookmarks and
// the queue advance the same way whichever is used.
class AudioOutput : public QObject
{
    Q_OBJECT
public:
    enum class Mode { Sink, File, Silent };

    // filePath non-empty: all audio goes to that WAV file.
    explicit AudioOutput(const QString& filePath, QObject* parent = nullptr);
    ~AudioOutput() override;

    // Begins a new clip; its position starts at 0. Ends any clip still playing.
    void startClip();
    void append(const QVector<qint16>& samples);
    // No more samples will come for this clip.
    void endClip();
    // Stops at once; nothing more of this clip is heard.
    void cut();

    bool playing() const { return m_active; }
    // Samples of the current clip the listener has heard so far.
    qint64 position() const { return m_position; }
    // The current clip's samples; they are let go once it has been heard
    // (still there while clipFinished is handled).
    qint64 received() const { return m_samples.size(); }
    const QVector<qint16>& samples() const { return m_samples; }
    // How the current (or next) clip is played: Silent once the sound server
    // could not be reached (it is tried again now and then).
    Mode mode() const { return m_mode == Mode::Sink && m_sinkBroken ? Mode::Silent : m_mode; }

Q_SIGNALS:
    // The first samples of a clip were handed to the sound server (or clock).
    void clipStarted();
    // While a clip plays, every few milliseconds.
    void progressed();
    // Every sample of the clip was heard.
    void clipFinished();

private:
    void tick();
    void feedSink();
    bool openSink();
    void stopSink();
    void fallBackToClock(const char* why);
    void advanceClock();

    Mode m_mode = Mode::Silent;
    QTimer m_timer;
    QVector<qint16> m_samples;
    bool m_active = false;
    bool m_ended = false;
    bool m_announced = false;
    bool m_opened = false; // the clip's first samples went out
    qint64 m_position = 0;
    // The sound server.
    std::unique_ptr<QAudioSink> m_sink;
    QIODevice* m_io = nullptr;
    qint64 m_written = 0;
    bool m_sinkBroken = false;
    QElapsedTimer m_sinkRetry;
    QElapsedTimer m_sinkStall;
    qint64 m_lastSinkPosition = -1;
    // The clock (file and silent).
    bool m_clock = false;
    QElapsedTimer m_clockTimer;
    qint64 m_clockLastNs = 0;
    double m_clockCarry = 0.0;
    std::unique_ptr<WavFileWriter> m_file;
};

} // namespace orvella
