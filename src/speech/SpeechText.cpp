#include "speech/SpeechText.h"

#include "message/CMessage.h"
#include "settings/CSettings.h"

using namespace Qt::Literals::StringLiterals;

namespace orvella {

QString SpeakableCase(const QString& text, bool spellUpper)
{
    if (!spellUpper)
        return text.toLower();
    for (QChar c : text)
        if (c.unicode() > 90)
            return text;
    return text.toLower();
}

QString RemoveSymbols(const QString& text, const QString& symbols)
{
    const qsizetype n = text.size();
    if (n < 6)
        return text;
    // Symbols are few; a table for the common range keeps the walk linear.
    bool ascii[128] = {};
    bool others = false;
    for (QChar c : symbols) {
        if (c.unicode() < 128)
            ascii[c.unicode()] = true;
        else
            others = true;
    }
    auto isSymbol = [&](QChar c) {
        return c.unicode() < 128 ? ascii[c.unicode()] : (others && symbols.contains(c));
    };

    QString out;
    out.reserve(n);
    const QChar* s = text.constData();
    // run = how many equal characters follow position i (capped at 5), counted
    // from the end so each position is looked at once.
    std::vector<unsigned char> following(size_t(n), 0);
    for (qsizetype i = n - 2; i >= 0; --i)
        following[size_t(i)] = s[i] == s[i + 1] ? static_cast<unsigned char>(qMin(5, following[size_t(i + 1)] + 1)) : 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (isSymbol(s[i]))
            continue;
        if (following[size_t(i)] >= 5)
            continue;
        out.append(s[i]);
    }
    return out;
}

QString SpeechTagPrefix(const CSettings& settings)
{
    return u"\\Pit="_s + QString::number(settings.m_VoicePitch) + u"\\\\Spd="_s +
           QString::number(settings.m_VoiceSpeed) + u"\\\\Chr=\""_s + settings.m_VoiceCharacter + u"\"\\"_s;
}

QString NeutralizeSpeechTags(const QString& text)
{
    if (!text.contains(u'\\'))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    for (QChar c : text) {
        out.append(c);
        if (c == u'\\')
            out.append(QChar(0x2060));
    }
    return out;
}

namespace {
bool blankOnly(const QString& s)
{
    for (QChar c : s)
        if (c != u' ')
            return false;
    return true;
}
} // namespace

QString Sentence(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1].isSpace())
        --end;
    QString s = text.left(end);
    if (end > 0) {
        const QChar last = s.back();
        if (last == u'.' || last == u'!' || last == u'?' || last == QChar(0x2026))
            return s;
    }
    return s + u'.';
}

QString ComposeSpokenParts(const CSettings& settings, const CMessage& message, bool sayFrom, bool saySubject,
                           bool sayBody)
{
    // The user's own words may carry speech tags; the message's never do.
    const auto fromMail = [&](const QString& part) {
        return NeutralizeSpeechTags(SpeakableCase(part, settings.m_SpellUpper));
    };
    QString text;
    if (sayFrom) text += Sentence(settings.m_MessagePrefix + u' ' + fromMail(message.Sender())) + u' ';
    if (saySubject && !blankOnly(message.m_Subject))
        text += Sentence(settings.m_BeforeSubject + u' ' + fromMail(message.m_Subject)) + u' ';
    if (sayBody && !blankOnly(message.m_Content))
        text += Sentence(settings.m_BeforeContent + u"\r\n"_s + fromMail(message.m_Content)) + u' ';
    return text;
}

} // namespace orvella
