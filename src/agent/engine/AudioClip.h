#pragma once

#include <QList>
#include <QString>
#include <QVector>

namespace orvella {

// The engine's one audio format: espeak-ng's own, so speech needs no
// conversion; sound files are resampled into it.
inline constexpr int AgentSampleRate = 22050;

// Something that happens at a sample of a clip.
struct ClipEvent
{
    enum Type { Word, Mark };
    Type type = Word;
    qint64 sample = 0;
    int a = 0; // Word: 1-based code-point position in the SSML; Mark: the mark's index
    int b = 0; // Word: length in code points
};

// A piece of a clip as the synthesizer or the file decoder delivers it.
struct ClipChunk
{
    QVector<qint16> samples;
    QList<ClipEvent> events;
    bool last = false;
    QString error; // set on the last chunk when the clip could not be made
};

} // namespace orvella
