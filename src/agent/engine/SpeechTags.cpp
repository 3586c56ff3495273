#include "agent/engine/SpeechTags.h"

#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

bool SpeechText::hasWords() const
{
    for (const SpeechPiece& p : pieces) {
        if (p.isMark) continue;
        for (QChar c : p.text) {
            if (!c.isSpace()) return true;
        }
    }
    return false;
}

QList<qint32> SpeechText::marks() const
{
    QList<qint32> out;
    for (const SpeechPiece& p : pieces) {
        if (p.isMark) out.append(p.mark);
    }
    return out;
}

namespace {

// A decimal number of at most 10 digits, no sign, no blanks; false when it is
// anything else or does not fit in 32 bits.
bool parseNumber(QStringView s, qint64& out)
{
    if (s.isEmpty() || s.size() > 10) return false;
    qint64 v = 0;
    for (QChar c : s) {
        if (c < u'0' || c > u'9') return false;
        v = v * 10 + (c.unicode() - u'0');
    }
    if (v > std::numeric_limits<qint32>::max()) return false;
    out = v;
    return true;
}

struct Tag
{
    enum Kind { Pitch, Speed, Voice, Mark } kind;
    qint64 number = 0;
    VoiceStyle voice = VoiceStyle::Normal;
};

// Reads the tag whose opening backslash is at text[start]; returns the index
// just past its closing backslash, or -1 when no known, well-formed tag starts here.
qsizetype readTag(const QString& text, qsizetype start, Tag& tag)
{
    const qsizetype close = text.indexOf(u'\\', start + 1);
    if (close < 0) return -1;
    const QStringView body = QStringView(text).mid(start + 1, close - start - 1);
    const qsizetype eq = body.indexOf(u'=');
    if (eq != 3) return -1;
    const QStringView name = body.left(3);
    const QStringView value = body.mid(4);
    if (name.compare(u"Chr", Qt::CaseInsensitive) == 0) {
        if (value.size() < 2 || value.front() != u'"' || value.back() != u'"') return -1;
        const QStringView v = value.mid(1, value.size() - 2);
        if (v.compare(u"Normal", Qt::CaseInsensitive) == 0)
            tag.voice = VoiceStyle::Normal;
        else if (v.compare(u"Monotone", Qt::CaseInsensitive) == 0)
            tag.voice = VoiceStyle::Monotone;
        else if (v.compare(u"Whisper", Qt::CaseInsensitive) == 0)
            tag.voice = VoiceStyle::Whisper;
        else
            return -1;
        tag.kind = Tag::Voice;
        return close + 1;
    }
    if (name.compare(u"Pit", Qt::CaseInsensitive) == 0)
        tag.kind = Tag::Pitch;
    else if (name.compare(u"Spd", Qt::CaseInsensitive) == 0)
        tag.kind = Tag::Speed;
    else if (name.compare(u"Mrk", Qt::CaseInsensitive) == 0)
        tag.kind = Tag::Mark;
    else
        return -1;
    if (!parseNumber(value, tag.number)) return -1;
    return close + 1;
}

} // namespace

SpeechText SpeechTags::parse(const QString& text)
{
    SpeechText out;
    int pitch = DefaultPitch;
    int speed = DefaultSpeed;
    VoiceStyle voice = VoiceStyle::Normal;
    QString run;

    auto flushText = [&] {
        if (run.isEmpty()) return;
        SpeechPiece p;
        p.text = run;
        p.pitch = pitch;
        p.speed = speed;
        p.voice = voice;
        p.displayStart = out.display.size();
        out.display += run;
        out.pieces.append(p);
        run.clear();
    };

    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c != u'\\') {
            run += c;
            ++i;
            continue;
        }
        Tag tag;
        const qsizetype next = readTag(text, i, tag);
        if (next < 0) {
            run += c;
            ++i;
            continue;
        }
        flushText();
        switch (tag.kind) {
        case Tag::Pitch:
            pitch = int(qBound(qint64(MinPitch), tag.number, qint64(MaxPitch)));
            break;
        case Tag::Speed:
            speed = int(qBound(qint64(MinSpeed), tag.number, qint64(MaxSpeed)));
            break;
        case Tag::Voice:
            voice = tag.voice;
            break;
        case Tag::Mark: {
            SpeechPiece p;
            p.isMark = true;
            p.mark = qint32(tag.number);
            p.displayStart = out.display.size();
            out.pieces.append(p);
            break;
        }
        }
        i = next;
    }
    flushText();
    return out;
}

} // namespace orvella
