#pragma once

#include "agent/engine/CharacterFile.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace orvella {

class CharacterWindow;

// Steps a character window through the rows of an animation.
class AnimationPlayer : public QObject
{
    Q_OBJECT
public:
    // A looping animation keeps going while nothing else waits, but no longer than this.
    static constexpr int MaxLoopMs = 30000;

    AnimationPlayer(CharacterWindow* window, QObject* parent = nullptr);

    void setCharacter(const CharacterFile* file);
    // Plays the animation at index; finished() after its last row.
    void play(int animation);
    // Ends at once, leaving the current frame shown; no finished().
    void stop();
    // A looping animation finishes at the end of its current pass.
    void endLoop() { m_endLoop = true; }
    bool isPlaying() const { return m_animation >= 0; }
    int animation() const { return m_animation; }

Q_SIGNALS:
    void finished();

private:
    void step();

    CharacterWindow* m_window;
    const CharacterFile* m_file = nullptr;
    QTimer m_timer;
    QElapsedTimer m_started;
    int m_animation = -1;
    int m_row = 0;
    bool m_endLoop = false;
};

} // namespace orvella
