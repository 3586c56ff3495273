#include "agent/engine/SpeechPlayer.h"

#include "agent/engine/AudioOutput.h"
#include "agent/engine/SpeechSynthesizer.h"
#include "agent/engine/SsmlDocument.h"

#include <QCoreApplication>
#include <QDebug>
#include <cmath>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {
constexpr qint64 Everything = std::numeric_limits<qint64>::max();
}

SpeechPlayer::Clip::~Clip() = default;

SpeechPlayer::SpeechPlayer(const QString& audioFile, QObject* parent)
    : QObject(parent), m_synth(new SpeechSynthesizer(this)), m_audio(new AudioOutput(audioFile, this))
{
    connect(m_synth, &SpeechSynthesizer::chunkReady, this, &SpeechPlayer::onChunk);
    connect(m_audio, &AudioOutput::progressed, this, &SpeechPlayer::onProgress);
    connect(m_audio, &AudioOutput::clipFinished, this, &SpeechPlayer::onAudioFinished);
}

void SpeechPlayer::warmUp()
{
    m_synth->warmUp();
}

SpeechPlayer::~SpeechPlayer()
{
    m_synth->cancelAll();
    m_audio->cut();
    // Closing the sound server's stream runs the event loop: the audio goes
    // while this player is whole, and nothing queued for it runs after.
    m_synth->disconnect(this);
    m_audio->disconnect(this);
    QCoreApplication::removePostedEvents(this);
    delete m_audio;
    m_audio = nullptr;
    QCoreApplication::removePostedEvents(this);
}

QString SpeechPlayer::voiceForLanguage(int id)
{
    switch (id & 0x3ff) { // the primary language
    case 0x09:
        return id == 2057 ? u"en-gb"_s : u"en-us"_s;
    case 0x07:
        return u"de"_s;
    case 0x0c:
        return u"fr"_s;
    case 0x0a:
        return u"es"_s;
    case 0x10:
        return u"it"_s;
    case 0x13:
        return u"nl"_s;
    case 0x16:
        return id == 1046 ? u"pt-br"_s : u"pt"_s;
    case 0x1d:
        return u"sv"_s;
    case 0x06:
        return u"da"_s;
    case 0x14:
        return u"nb"_s;
    case 0x0b:
        return u"fi"_s;
    case 0x15:
        return u"pl"_s;
    case 0x05:
        return u"cs"_s;
    case 0x19:
        return u"ru"_s;
    default:
        return u"en-us"_s;
    }
}

SpeechPlayer::ClipPtr SpeechPlayer::prepareSpeech(const QString& text, const QString& voice)
{
    auto clip = std::make_shared<Clip>();
    clip->speech = SpeechTags::parse(text);
    for (qint32 id : clip->speech.marks())
        clip->marks.append({id, -1, false});
    if (clip->speech.hasWords()) {
        // Synthesis starts now, while earlier requests still play.
        clip->ssml = std::make_unique<SsmlDocument>(clip->speech, voice);
        clip->job = m_synth->speak(clip->ssml->utf8(), voice);
        m_pending.append(clip);
    } else {
        clip->complete = true;
    }
    return clip;
}

SpeechPlayer::ClipPtr SpeechPlayer::prepareSound(const QString& path)
{
    auto clip = std::make_shared<Clip>();
    clip->job = m_synth->decodeFile(path);
    m_pending.append(clip);
    return clip;
}

void SpeechPlayer::drop(const ClipPtr& clip)
{
    if (!clip) return;
    if (clip->job && !clip->complete) m_synth->cancel(clip->job);
    m_pending.removeOne(clip);
    if (clip == m_current) stop();
}

void SpeechPlayer::dropAll()
{
    m_synth->cancelAll();
    m_pending.clear();
    stop();
}

void SpeechPlayer::stop()
{
    ++m_playSerial;
    if (m_current) m_current->playing = false;
    m_current.reset();
    m_audio->cut();
}

void SpeechPlayer::play(const ClipPtr& clip)
{
    stop();
    m_current = clip;
    const quint64 serial = m_playSerial;
    if (!clip->job || (clip->complete && clip->samples.isEmpty())) {
        // Bookmarks alone (or a clip that could not be made): their place is
        // here, after everything before them was heard.
        if (!clip->error.isEmpty()) qWarning("Orvella: %s", qPrintable(clip->error));
        if (fireMarksUpTo(Everything) && serial == m_playSerial) finish();
        return;
    }
    clip->playing = true;
    clip->nextWord = 0;
    m_audio->startClip();
    if (!clip->samples.isEmpty()) {
        m_audio->append(clip->samples);
        clip->handed = clip->samples.size();
    }
    if (clip->complete) m_audio->endClip();
}

void SpeechPlayer::finish()
{
    m_current.reset();
    ++m_playSerial;
    Q_EMIT finished();
}

void SpeechPlayer::onChunk(quint64 job, const ClipChunk& chunk)
{
    ClipPtr clip;
    for (const ClipPtr& c : std::as_const(m_pending)) {
        if (c->job == job) {
            clip = c;
            break;
        }
    }
    if (!clip) return; // dropped meanwhile
    clip->samples += chunk.samples;
    // espeak-ng times every event from the start of its text, which is the clip's start.
    for (const ClipEvent& e : chunk.events) {
        if (e.type == ClipEvent::Word && clip->ssml) {
            qsizetype s = 0, end = 0;
            if (clip->ssml->displayRange(e.a, e.b, s, end)) clip->words.append({e.sample, end});
        } else if (e.type == ClipEvent::Mark && e.a >= 0 && e.a < clip->marks.size()) {
            if (clip->marks[e.a].sample < 0) clip->marks[e.a].sample = e.sample;
        }
    }
    if (chunk.last) {
        clip->complete = true;
        clip->error = chunk.error;
        // A mark espeak-ng never reported still fires, in order: where the next
        // placed mark is, or at the end.
        qint64 later = clip->samples.size();
        for (qsizetype i = clip->marks.size() - 1; i >= 0; --i) {
            if (clip->marks[i].sample < 0 || clip->marks[i].sample > later) clip->marks[i].sample = later;
            later = clip->marks[i].sample;
        }
        m_pending.removeOne(clip);
    }
    if (!clip->playing || clip != m_current) return;
    if (clip->handed < clip->samples.size()) {
        m_audio->append(clip->samples.mid(clip->handed));
        clip->handed = clip->samples.size();
    }
    if (!clip->complete) return;
    if (clip->samples.isEmpty()) {
        // Nothing could be made (an unreadable file, no synthesiser).
        if (!clip->error.isEmpty()) qWarning("Orvella: %s", qPrintable(clip->error));
        m_audio->cut();
        const quint64 serial = m_playSerial;
        if (fireMarksUpTo(Everything) && serial == m_playSerial) finish();
        return;
    }
    if (!clip->error.isEmpty()) qWarning("Orvella: %s", qPrintable(clip->error));
    m_audio->endClip();
}

bool SpeechPlayer::fireMarksUpTo(qint64 sample)
{
    const ClipPtr clip = m_current;
    if (!clip) return false;
    const quint64 serial = m_playSerial;
    for (Clip::Mark& m : clip->marks) {
        if (m.fired) continue;
        if (m.sample < 0 && sample != Everything) return true; // not placed yet: later marks wait for it
        if (m.sample > sample) return true;
        m.fired = true;
        if (markHandler && !markHandler(m.id)) return false;
        if (serial != m_playSerial) return false;
    }
    return true;
}

void SpeechPlayer::onProgress()
{
    const ClipPtr clip = m_current;
    if (!clip || !clip->playing) return;
    const qint64 pos = m_audio->position();
    if (!fireMarksUpTo(pos) || clip != m_current) return;
    qsizetype upTo = -1;
    while (clip->nextWord < clip->words.size() && clip->words.at(clip->nextWord).sample <= pos)
        upTo = qMax(upTo, clip->words.at(clip->nextWord++).end);
    if (upTo >= 0) Q_EMIT wordsHeard(upTo);
    // How loud it is where the listener is now, over about 30 ms.
    const QVector<qint16>& s = m_audio->samples();
    const qint64 from = qMax<qint64>(0, pos - 330), to = qMin<qint64>(s.size(), pos + 330);
    double sum = 0;
    for (qint64 i = from; i < to; ++i)
        sum += double(s[i]) * s[i];
    Q_EMIT loudness(to > from ? std::sqrt(sum / double(to - from)) / 32768.0 : 0.0);
}

void SpeechPlayer::onAudioFinished()
{
    const ClipPtr clip = m_current;
    if (!clip || !clip->playing) return;
    const quint64 serial = m_playSerial;
    if (!fireMarksUpTo(Everything) || serial != m_playSerial) return;
    clip->playing = false;
    Q_EMIT wordsHeard(clip->speech.display.size());
    if (serial == m_playSerial) finish();
}

} // namespace orvella
