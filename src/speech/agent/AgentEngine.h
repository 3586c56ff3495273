#pragma once

#include "speech/agent/AgentCommands.h"
#include "speech/agent/AgentTrace.h"
#include "speech/agent/IAgent.h"
#include "speech/agent/SpeechPlayer.h"

#include <QFont>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <memory>
#include <optional>

class QMenu;

namespace orvella {

class AnimationPlayer;
class AudioOutput;
class BalloonWindow;
class CharacterFile;
class CharacterWindow;

// The character engine: loads a character file, shows the character on the
// desktop and works through its request queue, speaking with espeak-ng.
//
// Requests run strictly one after another. Speech is synthesised off the UI
// thread as soon as it is queued, so it is ready when its turn comes; its
// bookmarks fire when the listener hears their place in the audio, not when
// they are synthesised. All audio goes through AudioOutput: the sound
// server, the audio file of Program().AudioFile, or a silent real-time clock.
class AgentEngine : public IAgent
{
    Q_OBJECT
public:
    explicit AgentEngine(QObject* parent = nullptr);
    ~AgentEngine() override;

    bool Load(const QString& id, const QString& path) override;
    void Unload(const QString& id) override;
    QString loadError() const override { return m_loadError; }
    bool isLoaded() const override { return m_file != nullptr; }

    void setLanguageID(int id) override;
    QString Name() const override;
    int OriginalWidth() const override;
    int OriginalHeight() const override;
    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    void setWidth(int w) override;
    void setHeight(int h) override;
    int Left() const override;
    int Top() const override;
    bool Visible() const override { return m_visible; }
    void MoveTo(int x, int y) override;
    void setKeepClear(const QList<QRect>& areas) override;
    QList<QRect> keepClear() const { return m_keepClear; }

    int balloonStyle() const override { return m_balloonStyle; }
    void setBalloonStyle(int style) override { m_balloonStyle = style; }
    void setBalloonFontName(const QString& name) override;
    void setBalloonFontSize(int points) override;

    void AddCommand(const QString& name, const QString& caption) override;
    void setCommandEnabled(const QString& name, bool enabled) override;
    bool commandEnabled(const QString& name) const override;
    QStringList commandNames() const override;

    QStringList AnimationNames() const override;

    void Show(bool fast) override;
    void Hide(bool fast) override;
    bool Play(const QString& animation) override;
    void Speak(const QString& text) override;
    void SpeakFile(const QString& path) override;
    void Think(const QString& text) override;
    void StopAll() override;
    void Stop() override;

    // --- For tests, benchmarks and screenshots ------------------------------
    // A request is running or waiting.
    bool isBusy() const { return m_current.has_value() || !m_queue.empty(); }
    QString voiceName() const { return m_voice; }
    CharacterWindow* characterWindow() const { return m_window.get(); }
    BalloonWindow* balloonWindow() const { return m_balloon.get(); }
    AudioOutput* audioOutput() const { return m_speech->audio(); }
    // The right-click menu as it would open now; the caller owns it.
    QMenu* createMenu();
    // The character and its balloon as they stand on the screen, on a
    // transparent background.
    QImage snapshot();
    // Plays one of the idle animations now (normally chosen at random after a pause).
    bool playIdle(const QString& animation);
    // The pause before the first idle animation, chosen at random between the
    // two; the pauses after it grow, the longer the character stands idle.
    void setIdleDelay(int minMs, int maxMs);
    // The pause now running before the next idle animation; -1 when none is.
    int idlePause() const { return m_idleTimer.isActive() ? m_idleTimer.interval() : -1; }

Q_SIGNALS:
    // The queue ran empty.
    void queueEmpty();

private:
    struct Request
    {
        enum Kind { Show, Hide, Move, Play, Speak, Sound, Think };
        Kind kind = Show;
        bool fast = false;
        bool byUser = false; // the menu's Hide
        int x = 0, y = 0;
        int animation = -1;
        QString text;
        std::shared_ptr<SpeechPlayer::Clip> clip;
    };

    void enqueue(Request r);
    void schedulePump();
    void pump();
    void start(Request& r);
    void finishCurrent();
    void dropCurrent();
    void clearQueue();
    bool emitGuarded(const std::function<void()>& fire);

    void startShow(Request& r);
    void startHide(Request& r);
    void hideNow(int cause);
    void startSpeech(Request& r);
    bool onMark(qint32 id);
    void onLoudness(double level);
    void onSpeechFinished();
    void onAnimationFinished();
    void onThoughtFinished();

    void scheduleIdle();
    void onIdleTimer();
    void stopIdle();
    void userCommand(const QString& name);
    void userHide();
    void userDoubleClick();
    void showMenu(const QPoint& pos);
    void placeBalloon();
    // Puts the character at its place, or beside what it must keep clear of.
    void placeClear(bool withBalloon);
    QFont balloonFont() const;

    std::unique_ptr<CharacterFile> m_file;
    QString m_id;
    QString m_loadError;
    std::unique_ptr<CharacterWindow> m_window;
    std::unique_ptr<BalloonWindow> m_balloon;
    AnimationPlayer* m_animator = nullptr;
    SpeechPlayer* m_speech = nullptr;
    bool m_speechWarm = false; // the speech engine was asked to load
    bool m_closing = false;    // being destroyed: nothing more starts
    AgentTrace m_trace;
    AgentCommands m_commands;
    QPointer<QMenu> m_menu;

    std::deque<Request> m_queue;
    std::optional<Request> m_current;
    quint64 m_serial = 0; // changes whenever the current request ends or is dropped
    bool m_pumping = false;
    bool m_pumpScheduled = false;

    QList<QRect> m_keepClear;
    std::optional<QPoint> m_home; // where it stands when nothing is in its way
    bool m_visible = false;
    int m_width = 0;
    int m_height = 0;
    int m_balloonStyle = BalloonOn;
    QString m_fontName;
    int m_fontSize = 10;
    QString m_voice;

    QTimer m_idleTimer;
    int m_idleMinMs;
    int m_idleMaxMs;
    bool m_idlePlaying = false;
    int m_idleRun = 0; // idle animations played since the character last did something
    QTimer m_balloonLinger;
    qint64 m_mouthChangedAt = 0;
};

} // namespace orvella
