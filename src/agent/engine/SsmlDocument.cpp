#include "agent/engine/SsmlDocument.h"

#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

int SsmlDocument::espeakPitch(int hz)
{
    // The program's default, 50, is the bottom of the range; it must sound like
    // espeak-ng's own voice (50), and every step up to 400 must stay audible
    // without leaving the scale (99 is its top).
    hz = qBound(SpeechTags::MinPitch, hz, SpeechTags::MaxPitch);
    return 50 + (hz - SpeechTags::MinPitch) * 49 / (SpeechTags::MaxPitch - SpeechTags::MinPitch);
}

int SsmlDocument::espeakRate(int wpm)
{
    // 150, the program's default, is espeak-ng's natural 175; its slowest is 80.
    wpm = qBound(SpeechTags::MinSpeed, wpm, SpeechTags::MaxSpeed);
    if (wpm <= SpeechTags::DefaultSpeed)
        return 80 + (wpm - SpeechTags::MinSpeed) * 95 / (SpeechTags::DefaultSpeed - SpeechTags::MinSpeed);
    return BaseRate +
           (wpm - SpeechTags::DefaultSpeed) * 125 / (SpeechTags::MaxSpeed - SpeechTags::DefaultSpeed);
}

void SsmlDocument::appendMarkup(const QString& s)
{
    m_doc += s;
    // Markup is ASCII: one code point per character.
    for (qsizetype i = 0; i < s.size(); ++i) {
        m_dispStart.append(-1);
        m_dispEnd.append(-1);
    }
}

void SsmlDocument::appendText(const QString& text, qsizetype displayStart)
{
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype at = displayStart + i;
        char32_t cp = text.at(i).unicode();
        qsizetype units = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            units = 2;
        }
        QString out;
        if (cp == u'&')
            out = u"&amp;"_s;
        else if (cp == u'<')
            out = u"&lt;"_s;
        else if (cp == u'>')
            out = u"&gt;"_s;
        else if ((cp < 0x20 && cp != u'\t' && cp != u'\n' && cp != u'\r') || cp == 0x7f ||
                 (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF)
            out = u" "_s; // not allowed in XML; a lone surrogate would not survive UTF-8
        else
            out = text.mid(i, units);
        // Every code point written for this character points back at it, so
        // an entity maps to its character whichever of its code points
        // espeak-ng reports.
        const qsizetype codePoints = out.size() == 2 && out.at(0).isHighSurrogate() ? 1 : out.size();
        m_doc += out;
        for (qsizetype k = 0; k < codePoints; ++k) {
            m_dispStart.append(at);
            m_dispEnd.append(at + units);
        }
        i += units;
    }
}

SsmlDocument::SsmlDocument(const SpeechText& speech, const QString& voiceName)
{
    appendMarkup(u"<speak>"_s);
    bool whisper = false;
    for (const SpeechPiece& p : speech.pieces) {
        if (p.isMark) {
            // espeak-ng drops a mark that directly follows a full stop unless
            // something stands between them.
            appendMarkup(u"<break time=\"0ms\"/><mark name=\"%1\"/>"_s.arg(m_marks.size()));
            m_marks.append(p.mark);
            continue;
        }
        const bool wantWhisper = p.voice == VoiceStyle::Whisper;
        if (wantWhisper != whisper) {
            if (whisper)
                appendMarkup(u"</voice>"_s);
            else
                appendMarkup(u"<voice name=\"%1+whisper\">"_s.arg(voiceName));
            whisper = wantWhisper;
        }
        const int range = p.voice == VoiceStyle::Monotone ? 0 : 50;
        // A rate percentage is taken of the base rate set before synthesis.
        const int ratePercent = espeakRate(p.speed) * 100 / BaseRate;
        appendMarkup(u"<prosody pitch=\"%1\" range=\"%2\" rate=\"%3%\">"_s.arg(espeakPitch(p.pitch))
                         .arg(range)
                         .arg(ratePercent));
        appendText(p.text, p.displayStart);
        appendMarkup(u"</prosody>"_s);
    }
    if (whisper) appendMarkup(u"</voice>"_s);
    appendMarkup(u"</speak>"_s);
    m_utf8 = m_doc.toUtf8();
}

bool SsmlDocument::markForName(const char* name, qint32& mark) const
{
    if (!name) return false;
    bool ok = false;
    const int index = QByteArray(name, qsizetype(std::strlen(name))).toInt(&ok);
    if (!ok || index < 0 || index >= m_marks.size()) return false;
    mark = m_marks.at(index);
    return true;
}

bool SsmlDocument::displayRange(int position, int length, qsizetype& start, qsizetype& end) const
{
    const qsizetype n = m_dispStart.size();
    qsizetype first = position - 1;
    qsizetype last = first + qMax(length, 1) - 1;
    if (first < 0 || first >= n) return false;
    last = qMin(last, n - 1);
    start = -1;
    end = -1;
    for (qsizetype i = first; i <= last; ++i) {
        if (m_dispStart.at(i) < 0) continue;
        if (start < 0) start = m_dispStart.at(i);
        end = m_dispEnd.at(i);
    }
    return start >= 0;
}

} // namespace orvella
