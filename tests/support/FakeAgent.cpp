#include "support/FakeAgent.h"

#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

namespace orvella::test {

FakeAgent::FakeAgent(QObject* parent) : IAgent(parent)
{
}

void FakeAgent::record(const QString& call, bool queued)
{
    calls << call;
    if (queued) pending << call;
}

QStringList FakeAgent::takeCalls()
{
    return std::exchange(calls, {});
}

void FakeAgent::runQueue()
{
    if (m_running) return;
    m_running = true;
    static const QRegularExpression mark(u"^Speak\\(\\\\Mrk=(-?\\d+)\\\\\\)$"_s);
    while (!pending.isEmpty()) {
        const QString request = pending.takeFirst();
        if (request.startsWith(u"Show("_s) && !m_visible) {
            m_visible = true;
            Q_EMIT ShowEvent(CauseProgramShowed);
        } else if (request.startsWith(u"Hide("_s) && m_visible) {
            m_visible = false;
            Q_EMIT HideEvent(CauseProgramHid);
        } else if (const auto m = mark.match(request); m.hasMatch()) {
            Q_EMIT Bookmark(m.captured(1).toInt());
        }
    }
    m_running = false;
}

bool FakeAgent::Load(const QString& id, const QString& path)
{
    calls << u"Load(%1,%2)"_s.arg(id, path);
    if (failLoad || !QFileInfo(path).isFile()) {
        m_loadError = u"cannot load "_s + path;
        return false;
    }
    m_loaded = true;
    loadedPath = path;
    m_width = originalWidth;
    m_height = originalHeight;
    return true;
}

void FakeAgent::Unload(const QString& id)
{
    calls << u"Unload(%1)"_s.arg(id);
    m_loaded = false;
    m_commands.clear();
    m_commandOrder.clear();
}

void FakeAgent::setLanguageID(int id)
{
    calls << u"LanguageID(%1)"_s.arg(id);
}
void FakeAgent::setWidth(int w)
{
    m_width = w;
    calls << u"Width(%1)"_s.arg(w);
}
void FakeAgent::setHeight(int h)
{
    m_height = h;
    calls << u"Height(%1)"_s.arg(h);
}
void FakeAgent::MoveTo(int x, int y)
{
    m_left = x;
    m_top = y;
    record(u"MoveTo(%1,%2)"_s.arg(x).arg(y), true);
}
void FakeAgent::setBalloonStyle(int style)
{
    m_balloonStyle = style;
    calls << u"BalloonStyle(%1)"_s.arg(style);
}
void FakeAgent::setBalloonFontName(const QString& name)
{
    balloonFontName = name;
    calls << u"BalloonFontName(%1)"_s.arg(name);
}
void FakeAgent::setBalloonFontSize(int points)
{
    balloonFontSize = points;
    calls << u"BalloonFontSize(%1)"_s.arg(points);
}
void FakeAgent::AddCommand(const QString& name, const QString& caption)
{
    m_commands.insert(name, true);
    m_commandOrder << name;
    calls << u"AddCommand(%1,%2)"_s.arg(name, caption);
}
void FakeAgent::setCommandEnabled(const QString& name, bool enabled)
{
    if (m_commands.contains(name)) m_commands[name] = enabled;
}
void FakeAgent::Show(bool fast)
{
    record(u"Show(%1)"_s.arg(fast ? u"fast"_s : u"animated"_s), true);
}
void FakeAgent::Hide(bool fast)
{
    record(u"Hide(%1)"_s.arg(fast ? u"fast"_s : u"animated"_s), true);
}
bool FakeAgent::Play(const QString& animation)
{
    if (!animations.contains(animation)) {
        calls << u"Play(%1) failed"_s.arg(animation);
        return false;
    }
    record(u"Play(%1)"_s.arg(animation), true);
    return true;
}
void FakeAgent::Speak(const QString& text)
{
    record(u"Speak(%1)"_s.arg(text), true);
}
void FakeAgent::SpeakFile(const QString& path)
{
    record(u"SpeakFile(%1)"_s.arg(path), true);
}
void FakeAgent::Think(const QString& text)
{
    record(u"Think(%1)"_s.arg(text), true);
}
void FakeAgent::StopAll()
{
    calls << u"StopAll"_s;
    pending.clear();
}
void FakeAgent::Stop()
{
    calls << u"Stop"_s;
    if (!pending.isEmpty()) pending.removeFirst();
}

} // namespace orvella::test
