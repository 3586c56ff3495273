#include "agent/view/AnimationPlayer.h"

#include "agent/view/CharacterWindow.h"

namespace orvella {

AnimationPlayer::AnimationPlayer(CharacterWindow* window, QObject* parent) : QObject(parent), m_window(window)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &AnimationPlayer::step);
}

void AnimationPlayer::setCharacter(const CharacterFile* file)
{
    stop();
    m_file = file;
}

void AnimationPlayer::play(int animation)
{
    stop();
    if (!m_file || animation < 0 || animation >= m_file->animations().size()) return;
    m_animation = animation;
    m_row = -1;
    m_endLoop = false;
    m_started.start();
    step();
}

void AnimationPlayer::stop()
{
    m_timer.stop();
    m_animation = -1;
}

void AnimationPlayer::step()
{
    if (m_animation < 0) return;
    const CharacterFile::Animation& a = m_file->animations().at(m_animation);
    ++m_row;
    if (m_row >= a.rows.size()) {
        if (a.loop && !m_endLoop && m_started.elapsed() < MaxLoopMs) {
            m_row = 0;
        } else {
            m_animation = -1;
            Q_EMIT finished();
            return;
        }
    }
    const CharacterFile::Row& r = a.rows.at(m_row);
    m_window->showFrame(r.frame, r);
    m_timer.start(r.ms);
}

} // namespace orvella
