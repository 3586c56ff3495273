#include "speech/agent/AgentEngine.h"

#include "settings/Program.h"
#include "speech/agent/AnimationPlayer.h"
#include "speech/agent/AudioOutput.h"
#include "speech/agent/BalloonWindow.h"
#include "speech/agent/CharacterFile.h"
#include "speech/agent/CharacterWindow.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QJsonArray>
#include <QMenu>
#include <QPainter>
#include <QRandomGenerator>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// Pauses between idle animations while the character stands shown and unoccupied.
constexpr int IdleMinMs = 7000;
constexpr int IdleMaxMs = 15000;
// The longer it stands idle, the calmer it gets: each idle animation makes the
// next pause a quarter longer, up to four times the first (28 to 60 seconds),
// so a character left on the desktop for hours stirs about once a minute.
constexpr double IdleSlowing = 1.25;
constexpr double IdleSlowest = 4.0;
// The balloon stays a moment after the last word, so it can be read.
constexpr int BalloonLingerMs = 700;
// The mouth changes shape no faster than this, or it flickers.
constexpr int MouthHoldMs = 60;

// What a hidden character let go of (its pictures, the speech's buffers)
// would stay in the C library's free lists, counted against the program for
// as long as it runs; hand it back to the system.
void returnFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace

AgentEngine::AgentEngine(QObject* parent)
    : IAgent(parent), m_window(std::make_unique<CharacterWindow>()),
      m_balloon(std::make_unique<BalloonWindow>()), m_idleMinMs(IdleMinMs), m_idleMaxMs(IdleMaxMs)
{
    m_animator = new AnimationPlayer(m_window.get(), this);
    m_speech = new SpeechPlayer(Program().AudioFile, this);
    m_speech->markHandler = [this](qint32 id) { return onMark(id); };
    m_voice = SpeechPlayer::voiceForLanguage(1033);

    connect(m_speech, &SpeechPlayer::wordsHeard, m_balloon.get(), &BalloonWindow::reveal);
    connect(m_speech, &SpeechPlayer::loudness, this, &AgentEngine::onLoudness);
    connect(m_speech, &SpeechPlayer::finished, this, &AgentEngine::onSpeechFinished);
    connect(m_animator, &AnimationPlayer::finished, this, &AgentEngine::onAnimationFinished);
    connect(m_balloon.get(), &BalloonWindow::thoughtFinished, this, &AgentEngine::onThoughtFinished);
    connect(m_window.get(), &CharacterWindow::menuRequested, this, &AgentEngine::showMenu);
    connect(m_window.get(), &CharacterWindow::doubleClicked, this, &AgentEngine::userDoubleClick);
    connect(m_window.get(), &CharacterWindow::geometryChanged, this, &AgentEngine::placeBalloon);
    connect(m_window.get(), &CharacterWindow::dragFinished, this, [this] {
        m_home = m_window->pos();
        placeClear(m_balloon->isVisible());
    });

    m_idleTimer.setSingleShot(true);
    connect(&m_idleTimer, &QTimer::timeout, this, &AgentEngine::onIdleTimer);
    m_balloonLinger.setSingleShot(true);
    connect(&m_balloonLinger, &QTimer::timeout, m_balloon.get(), &BalloonWindow::close);
    m_balloon->setBalloonFont(balloonFont());
}

AgentEngine::~AgentEngine()
{
    m_idleTimer.stop();
    m_balloonLinger.stop();
    m_speech->markHandler = nullptr;
    m_speech->dropAll();
    delete m_menu.data();
    // Closing the sound server's stream runs the event loop: the speech goes
    // while this engine is whole, and nothing queued for it runs after.
    m_speech->disconnect(this);
    m_animator->disconnect(this);
    m_closing = true;
    QCoreApplication::removePostedEvents(this);
    delete m_speech;
    m_speech = nullptr;
    QCoreApplication::removePostedEvents(this);
}

// --- The characters collection ---------------------------------------------

bool AgentEngine::Load(const QString& id, const QString& path)
{
    if (m_file) {
        m_loadError = u"a character is loaded already as \"%1\"; unload it first"_s.arg(m_id);
        return false;
    }
    auto file = std::make_unique<CharacterFile>();
    if (!file->load(path)) {
        m_loadError = file->error();
        return false;
    }
    m_loadError.clear();
    m_file = std::move(file);
    m_id = id;
    m_width = m_file->width();
    m_height = m_file->height();
    m_balloonStyle = BalloonOn;
    m_commands.clear();
    m_window->resize(m_width, m_height);
    m_window->setCharacter(m_file.get());
    m_animator->setCharacter(m_file.get());
    return true;
}

void AgentEngine::Unload(const QString& id)
{
    if (!m_file || id.compare(m_id, Qt::CaseInsensitive) != 0) return;
    clearQueue();
    dropCurrent();
    stopIdle();
    m_balloon->close();
    m_window->hide();
    m_visible = false;
    m_animator->setCharacter(nullptr);
    m_window->setCharacter(nullptr);
    m_file.reset();
    m_id.clear();
    m_commands.clear();
    m_width = m_height = 0;
}

// --- The loaded character -------------------------------------------------

void AgentEngine::setLanguageID(int id)
{
    m_voice = SpeechPlayer::voiceForLanguage(id);
}

QString AgentEngine::Name() const
{
    return m_file ? m_file->name() : QString();
}
int AgentEngine::OriginalWidth() const
{
    return m_file ? m_file->width() : 0;
}
int AgentEngine::OriginalHeight() const
{
    return m_file ? m_file->height() : 0;
}

void AgentEngine::setWidth(int w)
{
    if (!m_file) return;
    m_width = qBound(8, w, 4096);
    m_window->resize(m_width, m_height);
}

void AgentEngine::setHeight(int h)
{
    if (!m_file) return;
    m_height = qBound(8, h, 4096);
    m_window->resize(m_width, m_height);
}

int AgentEngine::Left() const
{
    return m_window->x();
}
int AgentEngine::Top() const
{
    return m_window->y();
}

void AgentEngine::MoveTo(int x, int y)
{
    Request r;
    r.kind = Request::Move;
    r.x = x;
    r.y = y;
    enqueue(std::move(r));
}

// A font this system lacks (the settings' default "MS Sans Serif") leaves the
// balloon in the system's own font; left to the font matcher, a name it does
// not know may come out as any family at all.
QFont AgentEngine::balloonFont() const
{
    QFont f;
    if (!m_fontName.isEmpty() && QFontDatabase::hasFamily(m_fontName)) f.setFamily(m_fontName);
    f.setPointSize(qBound(4, m_fontSize, 72));
    return f;
}

void AgentEngine::setBalloonFontName(const QString& name)
{
    m_fontName = name;
    m_balloon->setBalloonFont(balloonFont());
}

void AgentEngine::setBalloonFontSize(int points)
{
    m_fontSize = points;
    m_balloon->setBalloonFont(balloonFont());
}

void AgentEngine::AddCommand(const QString& name, const QString& caption)
{
    m_commands.add(name, caption);
}
void AgentEngine::setCommandEnabled(const QString& name, bool enabled)
{
    m_commands.setEnabled(name, enabled);
}
bool AgentEngine::commandEnabled(const QString& name) const
{
    return m_commands.isEnabled(name);
}
QStringList AgentEngine::commandNames() const
{
    return m_commands.names();
}

QStringList AgentEngine::AnimationNames() const
{
    return m_file ? m_file->animationNames() : QStringList();
}

// --- Requests ----------------------------------------------------------------

void AgentEngine::Show(bool fast)
{
    // The character mostly shows itself to speak: the engine loads while it
    // appears.
    if (!std::exchange(m_speechWarm, true)) m_speech->warmUp();
    Request r;
    r.kind = Request::Show;
    r.fast = fast;
    enqueue(std::move(r));
}

void AgentEngine::Hide(bool fast)
{
    Request r;
    r.kind = Request::Hide;
    r.fast = fast;
    enqueue(std::move(r));
}

bool AgentEngine::Play(const QString& animation)
{
    const int index = m_file ? m_file->findAnimation(animation) : -1;
    if (index < 0) return false;
    Request r;
    r.kind = Request::Play;
    r.animation = index;
    r.text = m_file->animations().at(index).name;
    enqueue(std::move(r));
    return true;
}

void AgentEngine::Speak(const QString& text)
{
    Request r;
    r.kind = Request::Speak;
    r.text = text;
    r.clip = m_speech->prepareSpeech(text, m_voice);
    enqueue(std::move(r));
}

void AgentEngine::SpeakFile(const QString& path)
{
    Request r;
    r.kind = Request::Sound;
    r.text = path;
    r.clip = m_speech->prepareSound(path);
    enqueue(std::move(r));
}

void AgentEngine::Think(const QString& text)
{
    Request r;
    r.kind = Request::Think;
    r.text = text;
    enqueue(std::move(r));
}

void AgentEngine::StopAll()
{
    m_trace.write(u"stopall"_s);
    clearQueue();
    dropCurrent();
    m_balloonLinger.stop();
    m_balloon->close();
    scheduleIdle();
}

void AgentEngine::Stop()
{
    m_trace.write(u"stop"_s);
    if (!m_current) return;
    dropCurrent();
    m_balloon->close();
    schedulePump();
}

// --- The queue -----------------------------------------------------------------

void AgentEngine::enqueue(Request r)
{
    m_queue.push_back(std::move(r));
    // A looping animation gives way to whatever comes next.
    if (m_current && m_current->kind == Request::Play) m_animator->endLoop();
    schedulePump();
}

void AgentEngine::schedulePump()
{
    // Start from the event loop, never inside the caller's own call: a
    // bookmark that fired there would run its handler in the middle of the
    // procedure that is still queueing its requests.
    if (!m_pumpScheduled) {
        m_pumpScheduled = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_pumpScheduled = false;
                pump();
            },
            Qt::QueuedConnection);
    }
}

void AgentEngine::clearQueue()
{
    for (const Request& r : m_queue)
        m_speech->drop(r.clip);
    m_queue.clear();
}

void AgentEngine::pump()
{
    if (m_closing) return;
    // Events fired while a request starts may queue or stop requests; the
    // outermost call carries on with whatever the queue then holds.
    if (m_pumping) return;
    m_pumping = true;
    while (!m_current && !m_queue.empty()) {
        m_current = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_serial;
        start(*m_current);
    }
    m_pumping = false;
    if (!isBusy()) {
        scheduleIdle();
        Q_EMIT queueEmpty();
    }
}

void AgentEngine::finishCurrent()
{
    m_current.reset();
    ++m_serial;
    pump();
}

void AgentEngine::dropCurrent()
{
    if (!m_current) return;
    const std::shared_ptr<SpeechPlayer::Clip> clip = m_current->clip;
    m_current.reset();
    ++m_serial;
    m_speech->drop(clip);
    m_animator->stop();
    m_window->setSpeakingMouth(-1);
    // A show or hide cut short leaves the character standing, visible or not.
    if (m_file && m_visible) m_window->showFrame(m_file->restFrame());
}

bool AgentEngine::emitGuarded(const std::function<void()>& fire)
{
    const quint64 serial = m_serial;
    fire();
    return serial == m_serial;
}

void AgentEngine::start(Request& r)
{
    stopIdle();
    m_idleRun = 0;
    switch (r.kind) {
    case Request::Show:
        m_trace.write(u"show"_s, r.fast);
        startShow(r);
        break;
    case Request::Hide:
        if (!r.byUser) m_trace.write(u"hide"_s, r.fast);
        startHide(r);
        break;
    case Request::Move:
        m_trace.write(u"move"_s, QJsonArray{r.x, r.y});
        m_home = QPoint(r.x, r.y);
        placeClear(m_balloon->isVisible());
        finishCurrent();
        break;
    case Request::Play:
        m_trace.write(u"play"_s, r.text);
        // Nothing animates while the character is hidden.
        if (!m_visible || !m_file) {
            finishCurrent();
            break;
        }
        m_balloonLinger.stop();
        m_animator->play(r.animation);
        if (!m_queue.empty()) m_animator->endLoop();
        break;
    case Request::Speak:
        m_trace.write(u"speak"_s, r.text);
        startSpeech(r);
        break;
    case Request::Sound:
        m_trace.write(u"sound"_s, r.text);
        startSpeech(r);
        break;
    case Request::Think: {
        m_trace.write(u"think"_s, r.text);
        const QString text = SpeechTags::parse(r.text).display;
        if (!m_visible || !(m_balloonStyle & BalloonOn) || text.trimmed().isEmpty()) {
            finishCurrent();
            break;
        }
        m_balloonLinger.stop();
        placeBalloon();
        m_balloon->startThought(text);
        placeClear(true);
        m_balloon->show();
        break;
    }
    }
}

void AgentEngine::startShow(Request& r)
{
    if (!m_file || m_visible) {
        finishCurrent();
        return;
    }
    const int anim = r.fast ? -1 : m_file->findAnimation(u"Show"_s);
    if (anim >= 0)
        m_window->showFrame(m_file->animations().at(anim).rows.first().frame,
                            m_file->animations().at(anim).rows.first());
    else
        m_window->showFrame(m_file->restFrame());
    placeClear(false);
    m_window->show();
    m_visible = true;
    m_trace.write(u"shown"_s, CauseProgramShowed);
    if (!emitGuarded([this] { Q_EMIT ShowEvent(CauseProgramShowed); })) return;
    if (anim < 0)
        finishCurrent();
    else
        m_animator->play(anim);
}

void AgentEngine::startHide(Request& r)
{
    if (!m_file || !m_visible) {
        finishCurrent();
        return;
    }
    m_balloonLinger.stop();
    m_balloon->close();
    const int anim = r.fast ? -1 : m_file->findAnimation(u"Hide"_s);
    if (anim >= 0) {
        m_animator->play(anim);
        return;
    }
    const int cause = r.byUser ? CauseUserHid : CauseProgramHid;
    hideNow(cause);
}

void AgentEngine::hideNow(int cause)
{
    m_window->hide();
    m_visible = false;
    if (m_file) m_window->showFrame(m_file->restFrame());
    returnFreedMemory();
    m_trace.write(u"hidden"_s, cause);
    if (!emitGuarded([this, cause] { Q_EMIT HideEvent(cause); })) return;
    finishCurrent();
}

void AgentEngine::onAnimationFinished()
{
    if (m_idlePlaying) {
        m_idlePlaying = false;
        if (m_file && m_visible) m_window->showFrame(m_file->restFrame());
        scheduleIdle();
        return;
    }
    if (!m_current) return;
    if (m_current->kind == Request::Hide) {
        hideNow(m_current->byUser ? CauseUserHid : CauseProgramHid);
        return;
    }
    // Whatever pose a gesture ends in, the character stands (and speaks) at rest.
    if (m_file && m_visible) m_window->showFrame(m_file->restFrame());
    finishCurrent();
}

// --- Speech and sound ------------------------------------------------------------

void AgentEngine::startSpeech(Request& r)
{
    if (r.kind == Request::Speak && m_visible && (m_balloonStyle & BalloonOn) && r.clip->speech.hasWords()) {
        m_balloonLinger.stop();
        placeBalloon();
        m_balloon->startSpeech(r.clip->speech.display);
        placeClear(true);
        m_balloon->show();
    }
    m_mouthChangedAt = 0;
    m_speech->play(r.clip);
}

bool AgentEngine::onMark(qint32 id)
{
    m_trace.write(u"bookmark"_s, id);
    return emitGuarded([this, id] { Q_EMIT Bookmark(id); });
}

void AgentEngine::onLoudness(double rms)
{
    if (!m_visible || !m_file || m_file->speakingMouths().isEmpty()) return;
    const qint64 now = AgentTrace::now();
    if (now - m_mouthChangedAt < MouthHoldMs) return;
    // The mouth opens with the loudness of what is heard now.
    const int shapes = int(m_file->speakingMouths().size());
    int level = 0;
    if (rms > 0.015) level = 1 + int(std::min(1.0, (rms - 0.015) / 0.12) * (shapes - 2) + 0.5);
    level = qBound(0, level, shapes - 1);
    if (level != m_window->speakingMouth()) {
        m_window->setSpeakingMouth(level);
        m_mouthChangedAt = now;
    }
}

void AgentEngine::onSpeechFinished()
{
    if (!m_current || !m_current->clip) return;
    m_window->setSpeakingMouth(-1);
    if (m_balloon->isVisible() && !m_balloon->isThought()) m_balloonLinger.start(BalloonLingerMs);
    finishCurrent();
}

void AgentEngine::onThoughtFinished()
{
    if (!m_current || m_current->kind != Request::Think) return;
    m_balloon->close();
    finishCurrent();
}

// --- Idle, the user and the windows ---------------------------------------------

void AgentEngine::scheduleIdle()
{
    if (!m_file || !m_visible || isBusy() || m_idlePlaying) {
        m_idleTimer.stop();
        return;
    }
    if (!m_idleTimer.isActive()) {
        const double slower = std::min(IdleSlowest, std::pow(IdleSlowing, m_idleRun));
        const int pause = QRandomGenerator::global()->bounded(m_idleMinMs, m_idleMaxMs + 1);
        m_idleTimer.start(int(std::min(double(std::numeric_limits<int>::max()), pause * slower)));
    }
}

void AgentEngine::stopIdle()
{
    m_idleTimer.stop();
    if (m_idlePlaying) {
        m_idlePlaying = false;
        m_animator->stop();
        if (m_file && m_visible) m_window->showFrame(m_file->restFrame());
    }
}

void AgentEngine::onIdleTimer()
{
    if (!m_file || !m_visible || isBusy()) return;
    QList<int> idles;
    for (qsizetype i = 0; i < m_file->animations().size(); ++i) {
        const CharacterFile::Animation& a = m_file->animations().at(i);
        if (a.name.startsWith(u"Idle"_s, Qt::CaseInsensitive) && !a.loop) idles.append(int(i));
    }
    if (idles.isEmpty()) return;
    m_idlePlaying = true;
    ++m_idleRun;
    m_animator->play(idles.at(QRandomGenerator::global()->bounded(int(idles.size()))));
}

void AgentEngine::setIdleDelay(int minMs, int maxMs)
{
    m_idleMinMs = qMax(1, minMs);
    m_idleMaxMs = qMax(m_idleMinMs, maxMs);
    m_idleRun = 0;
    m_idleTimer.stop();
    scheduleIdle();
}

bool AgentEngine::playIdle(const QString& animation)
{
    const int index = m_file ? m_file->findAnimation(animation) : -1;
    if (index < 0 || !m_visible || isBusy()) return false;
    m_idleTimer.stop();
    m_idlePlaying = true;
    ++m_idleRun;
    m_animator->play(index);
    return true;
}

void AgentEngine::userCommand(const QString& name)
{
    m_trace.write(u"command"_s, name);
    Q_EMIT Command(name);
}

void AgentEngine::userHide()
{
    if (!m_visible) return;
    // The user wants the character gone: what it was about to say goes too.
    clearQueue();
    dropCurrent();
    stopIdle();
    Request r;
    r.kind = Request::Hide;
    r.byUser = true;
    enqueue(std::move(r));
}

void AgentEngine::userDoubleClick()
{
    m_trace.write(u"dblclick"_s);
    Q_EMIT DblClick();
}

QMenu* AgentEngine::createMenu()
{
    return m_commands.createMenu(
        m_window.get(), [this](const QString& name) { userCommand(name); }, [this] { userHide(); });
}

void AgentEngine::showMenu(const QPoint& pos)
{
    delete m_menu.data();
    m_menu = createMenu();
    m_menu->setAttribute(Qt::WA_DeleteOnClose);
    m_menu->popup(pos);
}

void AgentEngine::placeBalloon()
{
    m_balloon->setAnchor(m_window->geometry());
}

void AgentEngine::setKeepClear(const QList<QRect>& areas)
{
    if (areas == m_keepClear) return;
    m_keepClear = areas;
    placeClear(m_balloon->isVisible());
}

// The character stands at its home (where MoveTo or the user put it) unless
// it or its balloon would cover an area it must keep clear of; then it takes
// the nearest place beside that area that lies on the screen and covers no
// such area, so a gesture shown for a dialog (a rule's preview) is seen
// beside it. Without such a place it stays home, under the dialogs.
void AgentEngine::placeClear(bool withBalloon)
{
    if (!m_home) {
        if (m_keepClear.isEmpty()) return;
        m_home = m_window->pos();
    }
    const QPoint home = *m_home;
    const QSize size = m_window->size();
    auto covers = [&](const QPoint& at) {
        const QRect body(at, size);
        const QRect balloon = withBalloon ? m_balloon->geometryFor(body) : QRect();
        for (const QRect& area : m_keepClear)
            if (area.intersects(body) || (!balloon.isEmpty() && area.intersects(balloon))) return true;
        return false;
    };
    QPoint target = home;
    if (covers(home)) {
        QScreen* screen = QGuiApplication::screenAt(QRect(home, size).center());
        if (!screen) screen = QGuiApplication::primaryScreen();
        const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
        constexpr int Gap = 8;
        std::optional<QPoint> best;
        for (const QRect& area : m_keepClear) {
            const QPoint beside[] = {{area.left() - Gap - size.width(), home.y()},
                                     {area.right() + 1 + Gap, home.y()},
                                     {home.x(), area.top() - Gap - size.height()},
                                     {home.x(), area.bottom() + 1 + Gap}};
            for (QPoint at : beside) {
                at.setX(std::clamp(at.x(), avail.left(),
                                   std::max(avail.left(), avail.right() + 1 - size.width())));
                at.setY(std::clamp(at.y(), avail.top(),
                                   std::max(avail.top(), avail.bottom() + 1 - size.height())));
                if (covers(at)) continue;
                if (!best || (at - home).manhattanLength() < (*best - home).manhattanLength()) best = at;
            }
        }
        if (best) target = *best;
    }
    if (m_window->pos() != target) m_window->move(target);
}

QImage AgentEngine::snapshot()
{
    QRect area = m_window->geometry();
    const bool balloon = m_balloon->isVisible();
    if (balloon) area = area.united(m_balloon->geometry());
    QImage img(area.size(), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.drawImage(m_window->geometry().topLeft() - area.topLeft(), m_window->snapshot());
    if (balloon) p.drawImage(m_balloon->geometry().topLeft() - area.topLeft(), m_balloon->snapshot());
    return img;
}

} // namespace orvella
