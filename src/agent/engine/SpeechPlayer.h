#pragma once

#include "agent/engine/AudioClip.h"
#include "agent/engine/SpeechTags.h"

#include <QList>
#include <QObject>
#include <QVector>
#include <functional>
#include <memory>

namespace orvella {

class AudioOutput;
class SpeechSynthesizer;
class SsmlDocument;

// Plays the character's speech and sounds, one clip at a time. A clip is
// prepared when its request is queued (synthesis starts at once, off the UI
// thread) and played when its turn comes; its bookmarks fire as the listener
// hears their place, and words and loudness are reported as they are heard.
class SpeechPlayer : public QObject
{
    Q_OBJECT
public:
    struct Clip
    {
        quint64 job = 0; // 0: nothing to make (bookmarks only)
        SpeechText speech;
        std::unique_ptr<SsmlDocument> ssml;
        QVector<qint16> samples;
        bool complete = false;
        QString error;
        struct Word
        {
            qint64 sample;
            qsizetype end; // the text up to here is shown once the word is heard
        };
        QList<Word> words;
        struct Mark
        {
            qint32 id = 0;
            qint64 sample = -1; // -1 until synthesis has placed it
            bool fired = false;
        };
        QList<Mark> marks;
        bool playing = false;
        qint64 handed = 0; // samples given to the audio output
        int nextWord = 0;
        ~Clip();
    };
    using ClipPtr = std::shared_ptr<Clip>;

    // audioFile non-empty: the audio goes to that WAV file.
    explicit SpeechPlayer(const QString& audioFile, QObject* parent = nullptr);
    ~SpeechPlayer() override;

    // The espeak-ng voice for a Windows language ID (1033 is US English).
    static QString voiceForLanguage(int languageId);

    ClipPtr prepareSpeech(const QString& text, const QString& voice);
    // Loads the speech engine ahead of the first words (the first speech
    // loads it anyway); a program that never speaks never holds it.
    void warmUp();
    ClipPtr prepareSound(const QString& path);
    // Plays clip. Bookmarks go to the mark handler, in order; finished() at the
    // end. A clip with nothing to hear fires its bookmarks and finishes at once.
    void play(const ClipPtr& clip);
    // Silences the clip that plays now; its bookmarks still to come never fire.
    void stop();
    // Forgets one prepared clip, or every clip, stopping their synthesis.
    void drop(const ClipPtr& clip);
    void dropAll();

    // Called for each bookmark as it is heard; returns false when the clip was
    // stopped meanwhile (the handler may stop it), so nothing more follows.
    std::function<bool(qint32)> markHandler;

    AudioOutput* audio() const { return m_audio; }
    bool isPlaying() const { return m_current != nullptr; }

Q_SIGNALS:
    // The text of the playing speech is heard up to this index of its display text.
    void wordsHeard(qsizetype upTo);
    // The loudness (RMS, 0..1) of what is heard now.
    void loudness(double level);
    void finished();

private:
    void onChunk(quint64 job, const ClipChunk& chunk);
    void onProgress();
    void onAudioFinished();
    bool fireMarksUpTo(qint64 sample);
    void finish();

    SpeechSynthesizer* m_synth;
    AudioOutput* m_audio;
    QList<ClipPtr> m_pending; // being synthesised or decoded
    ClipPtr m_current;
    quint64 m_playSerial = 0;
};

} // namespace orvella
