#pragma once

#include "agent/engine/AudioClip.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

namespace orvella {

// Makes clips off the UI thread: speech from SSML with espeak-ng, and sound
// files through SoundFileDecoder. Jobs run one after another on one worker
// thread; their chunks arrive through chunkReady on the thread that owns this
// object, in order, the first one as soon as the first samples exist.
class SpeechSynthesizer : public QObject
{
    Q_OBJECT
public:
    explicit SpeechSynthesizer(QObject* parent = nullptr);
    ~SpeechSynthesizer() override;

    // Starts espeak-ng now, so the first Speak does not wait for it to load its data.
    void warmUp();
    quint64 speak(const QByteArray& ssmlUtf8, const QString& voice);
    quint64 decodeFile(const QString& path);
    // A cancelled job delivers nothing more; a running synthesis stops at its next block.
    void cancel(quint64 job);
    void cancelAll();

Q_SIGNALS:
    void chunkReady(quint64 job, const orvella::ClipChunk& chunk);

private:
    struct Worker;
    std::unique_ptr<Worker> m_worker;
};

} // namespace orvella
