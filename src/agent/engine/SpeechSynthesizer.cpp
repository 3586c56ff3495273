#include "agent/engine/SpeechSynthesizer.h"

#include "agent/engine/SoundFileDecoder.h"

#include <QDebug>
#include <QSet>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <espeak-ng/speak_lib.h>
#include <mutex>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// espeak-ng is one global state per process, and not reentrant: every call goes
// through this lock, whichever synthesizer makes it.
std::mutex g_espeakLock;
int g_espeakState = 0; // 0 not started, 1 ready, -1 failed
QString g_espeakVoice;

// Chunks are handed on at this size; the first block goes at once, so speech
// starts without waiting for the whole text.
constexpr int ChunkSamples = AgentSampleRate / 2;

struct SynthContext
{
    std::function<bool()> cancelled;
    std::function<void(ClipChunk&&)> post;
    ClipChunk pending;
    bool sentFirst = false;
};
// Only ever touched with g_espeakLock held, by the thread inside espeak_Synth.
SynthContext* g_context = nullptr;

int synthCallback(short* wav, int count, espeak_EVENT* events)
{
    SynthContext* ctx = g_context;
    if (!ctx) return 1;
    if (ctx->cancelled()) return 1; // aborts the synthesis
    if (wav && count > 0) ctx->pending.samples.append(QVector<qint16>(wav, wav + count));
    for (espeak_EVENT* e = events; e && e->type != espeakEVENT_LIST_TERMINATED; ++e) {
        const qint64 sample = qint64(e->audio_position) * AgentSampleRate / 1000;
        if (e->type == espeakEVENT_WORD) {
            ctx->pending.events.append({ClipEvent::Word, sample, e->text_position, e->length});
        } else if (e->type == espeakEVENT_MARK) {
            // The name lives only as long as this call; its text position is
            // unreliable, so the mark is known by its name alone.
            bool ok = false;
            const int index = e->id.name ? QByteArray(e->id.name).toInt(&ok) : -1;
            if (ok) ctx->pending.events.append({ClipEvent::Mark, sample, index, 0});
        }
    }
    if (!ctx->sentFirst || ctx->pending.samples.size() >= ChunkSamples) {
        if (!ctx->pending.samples.isEmpty() || !ctx->pending.events.isEmpty()) {
            ctx->sentFirst = true;
            ctx->post(std::exchange(ctx->pending, ClipChunk()));
        }
    }
    return 0;
}

bool startEspeak()
{
    if (g_espeakState == 0) {
        // A short buffer makes the first block arrive quickly.
        const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 40, nullptr, espeakINITIALIZE_DONT_EXIT);
        if (rate != AgentSampleRate) {
            qWarning("Orvella: espeak-ng could not start (rate %d); speech will be silent", rate);
            g_espeakState = -1;
        } else {
            espeak_SetSynthCallback(synthCallback);
            g_espeakState = 1;
        }
    }
    return g_espeakState == 1;
}

} // namespace

struct SpeechSynthesizer::Worker
{
    struct Job
    {
        quint64 id = 0;
        bool file = false;
        QByteArray ssml;
        QString voice;
        QString path;
        bool warmUp = false;
    };

    SpeechSynthesizer* owner = nullptr;
    std::mutex lock;
    std::condition_variable wake;
    std::deque<Job> jobs;
    QSet<quint64> cancelled;
    quint64 cancelledUpTo = 0; // every job up to this id is cancelled
    quint64 nextId = 1;
    bool quit = false;
    std::thread thread;

    // Queues job for the thread; its id.
    quint64 push(Job job)
    {
        std::lock_guard g(lock);
        job.id = nextId++;
        const quint64 id = job.id;
        jobs.push_back(std::move(job));
        wake.notify_one();
        return id;
    }

    bool isCancelled(quint64 id)
    {
        std::lock_guard g(lock);
        return quit || id <= cancelledUpTo || cancelled.contains(id);
    }

    void post(quint64 id, ClipChunk&& chunk)
    {
        if (isCancelled(id)) return;
        // The owner outlives the thread (its destructor joins it first), and a
        // queued call to a deleted receiver is dropped.
        QMetaObject::invokeMethod(
            owner, [o = owner, id, c = std::move(chunk)] { Q_EMIT o->chunkReady(id, c); },
            Qt::QueuedConnection);
    }

    void run()
    {
        while (true) {
            Job job;
            {
                std::unique_lock g(lock);
                wake.wait(g, [this] { return quit || !jobs.empty(); });
                if (quit) return;
                job = std::move(jobs.front());
                jobs.pop_front();
                if (job.id <= cancelledUpTo || cancelled.contains(job.id)) continue;
            }
            if (job.warmUp) {
                std::lock_guard g(g_espeakLock);
                startEspeak();
            } else if (job.file) {
                runFile(job);
            } else {
                runSpeech(job);
            }
            std::lock_guard g(lock);
            cancelled.remove(job.id);
        }
    }

    void runSpeech(const Job& job)
    {
        ClipChunk last;
        last.last = true;
        {
            std::lock_guard g(g_espeakLock);
            if (!startEspeak()) {
                last.error = u"espeak-ng is not available"_s;
            } else {
                if (g_espeakVoice != job.voice) {
                    if (espeak_SetVoiceByName(job.voice.toUtf8().constData()) != EE_OK) {
                        qWarning("Orvella: espeak-ng has no voice \"%s\"; using \"en\"",
                                 qPrintable(job.voice));
                        espeak_SetVoiceByName("en");
                    }
                    g_espeakVoice = job.voice;
                }
                // The tags are applied as SSML on top of these, the voice's natural settings.
                espeak_SetParameter(espeakRATE, 175, 0);
                espeak_SetParameter(espeakPITCH, 50, 0);
                espeak_SetParameter(espeakRANGE, 50, 0);
                espeak_SetParameter(espeakVOLUME, 100, 0);
                SynthContext ctx;
                ctx.cancelled = [this, id = job.id] { return isCancelled(id); };
                ctx.post = [this, id = job.id](ClipChunk&& c) { post(id, std::move(c)); };
                g_context = &ctx;
                const espeak_ERROR e =
                    espeak_Synth(job.ssml.constData(), size_t(job.ssml.size()) + 1, 0, POS_CHARACTER, 0,
                                 espeakCHARS_UTF8 | espeakSSML, nullptr, nullptr);
                g_context = nullptr;
                if (e != EE_OK && !isCancelled(job.id))
                    last.error = u"espeak-ng could not speak the text (error %1)"_s.arg(int(e));
                last.samples = std::move(ctx.pending.samples);
                last.events = std::move(ctx.pending.events);
            }
        }
        post(job.id, std::move(last));
    }

    void runFile(const Job& job)
    {
        ClipChunk pending;
        bool sentFirst = false;
        const QString error = SoundFileDecoder::decode(
            job.path,
            [&](QVector<qint16>&& block) {
                pending.samples += block;
                if (!sentFirst || pending.samples.size() >= ChunkSamples) {
                    sentFirst = true;
                    post(job.id, std::exchange(pending, ClipChunk()));
                }
            },
            [this, id = job.id] { return isCancelled(id); });
        pending.last = true;
        pending.error = error;
        post(job.id, std::move(pending));
    }
};

SpeechSynthesizer::SpeechSynthesizer(QObject* parent) : QObject(parent), m_worker(std::make_unique<Worker>())
{
    m_worker->owner = this;
    m_worker->thread = std::thread([w = m_worker.get()] { w->run(); });
}

SpeechSynthesizer::~SpeechSynthesizer()
{
    {
        std::lock_guard g(m_worker->lock);
        m_worker->quit = true;
    }
    m_worker->wake.notify_all();
    m_worker->thread.join();
}

void SpeechSynthesizer::warmUp()
{
    Worker::Job job;
    job.warmUp = true;
    m_worker->push(std::move(job));
}

quint64 SpeechSynthesizer::speak(const QByteArray& ssmlUtf8, const QString& voice)
{
    Worker::Job job;
    job.ssml = ssmlUtf8;
    job.voice = voice;
    return m_worker->push(std::move(job));
}

quint64 SpeechSynthesizer::decodeFile(const QString& path)
{
    Worker::Job job;
    job.file = true;
    job.path = path;
    return m_worker->push(std::move(job));
}

void SpeechSynthesizer::cancel(quint64 job)
{
    std::lock_guard g(m_worker->lock);
    if (job > m_worker->cancelledUpTo) m_worker->cancelled.insert(job);
}

void SpeechSynthesizer::cancelAll()
{
    std::lock_guard g(m_worker->lock);
    m_worker->cancelledUpTo = m_worker->nextId - 1;
    m_worker->cancelled.clear();
}

} // namespace orvella
