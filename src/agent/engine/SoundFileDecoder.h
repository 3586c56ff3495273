#pragma once

#include "agent/engine/AudioClip.h"

#include <QString>
#include <functional>

namespace orvella {

// Reads a sound file of any format libsndfile knows and turns it into the
// engine's format (mono, AgentSampleRate, 16 bit), a block at a time.
class SoundFileDecoder
{
public:
    // Longer files are cut: a clip lives in memory while it plays.
    static constexpr int MaxSeconds = 600;

    // Calls deliver with each block of samples; stops early when cancelled()
    // turns true. Returns an empty string, or why the file could not be played.
    static QString decode(const QString& path, const std::function<void(QVector<qint16>&&)>& deliver,
                          const std::function<bool()>& cancelled);
};

} // namespace orvella
