#pragma once

#include "agent/engine/SpeechTags.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace orvella {

// A Speak text turned into the SSML that espeak-ng reads, with what it takes to
// find the way back: espeak-ng reports word positions in code points of this
// document (markup included) and marks by name.
class SsmlDocument
{
public:
    // voiceName: the espeak-ng voice, e.g. "en-us".
    SsmlDocument(const SpeechText& speech, const QString& voiceName);

    const QByteArray& utf8() const { return m_utf8; }
    QString text() const { return QString::fromUtf8(m_utf8); }

    // The bookmark number of the mark named name, or false for a name this
    // document did not write.
    bool markForName(const char* name, qint32& mark) const;
    int markCount() const { return int(m_marks.size()); }
    qint32 markAt(int index) const { return m_marks.at(index); }

    // The range of SpeechText::display a word event covers; position is
    // espeak-ng's 1-based code-point position, length its length in code points.
    // False when the word lies wholly in markup.
    bool displayRange(int position, int length, qsizetype& start, qsizetype& end) const;

    // espeak-ng's scales for the tag values: pitch 0..100 (50 is its natural
    // voice) and rate in words per minute (80..450, 175 natural).
    static int espeakPitch(int hz);
    static int espeakRate(int wordsPerMinute);
    static constexpr int BaseRate = 175;

private:
    void appendMarkup(const QString& s);
    void appendText(const QString& text, qsizetype displayStart);

    QString m_doc;
    QByteArray m_utf8;
    QList<qint32> m_marks;        // mark name "k" is m_marks[k]
    QList<qsizetype> m_dispStart; // per code point of the document; -1 in markup
    QList<qsizetype> m_dispEnd;
};

} // namespace orvella
