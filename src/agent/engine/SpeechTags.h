#pragma once

#include <QList>
#include <QString>

namespace orvella {

// The voice a piece of text is spoken in, chosen with \Chr="..."\.
enum class VoiceStyle { Normal, Monotone, Whisper };

// One run of a Speak text: either words to say with the voice settings in force
// where they stand, or a bookmark.
struct SpeechPiece
{
    bool isMark = false;
    QString text;    // the words, exactly as written (empty for a mark)
    int pitch = 50;  // \Pit=\ in Hz, 50..400
    int speed = 150; // \Spd=\ in words per minute, 50..250
    VoiceStyle voice = VoiceStyle::Normal;
    qint32 mark = 0;            // \Mrk=\ number
    qsizetype displayStart = 0; // where text starts in SpeechText::display
};

// A Speak text taken apart into its tags and words. Only \Pit=n\, \Spd=n\,
// \Chr="Normal|Monotone|Whisper"\ and \Mrk=n\ are tags; everything else,
// including a backslash that opens no such tag, is text to be spoken.
struct SpeechText
{
    QList<SpeechPiece> pieces;
    QString display; // the words without tags, as the balloon shows them

    // True when there is something to say (not only bookmarks and blanks).
    bool hasWords() const;
    QList<qint32> marks() const;
};

namespace SpeechTags {

inline constexpr int MinPitch = 50;
inline constexpr int MaxPitch = 400;
inline constexpr int DefaultPitch = 50;
inline constexpr int MinSpeed = 50;
inline constexpr int MaxSpeed = 250;
inline constexpr int DefaultSpeed = 150;

SpeechText parse(const QString& text);

} // namespace SpeechTags

} // namespace orvella
