#include "core/speech/SpeechOutput.h"

#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "core/speech/IAgent.h"
#include "core/speech/SpeechText.h"

#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

SpeechOutput::SpeechOutput(IAgent& agent, Settings& settings) : m_agent(agent), m_settings(settings)
{
}

void SpeechOutput::playGesture(const QString& animation)
{
    // "None" means no gesture; a name the character lacks is skipped too.
    if (animation.isEmpty() || animation == u"None"_s) return;
    m_agent.Play(animation);
}

void SpeechOutput::SayAndPlay(const QString& Message, const QString& Animation, bool Hide,
                              bool IgnoreBehavior)
{
    bool think = false;
    if (!IgnoreBehavior) {
        if (m_settings.m_Behavior == 3) return;
        think = m_settings.m_Behavior == 2;
    }
    if (placeCharacter) placeCharacter();
    m_agent.Show(m_settings.m_Fast);
    playGesture(Animation);
    if (think)
        m_agent.Think(Message);
    else
        m_agent.Speak(SpeechTagPrefix(m_settings) + Message);
    if (m_settings.m_Hide && Hide) m_agent.Hide(m_settings.m_Fast);
}

void SpeechOutput::PlayWAVFile(const QString& FileName, const QString& Animation, bool Hide)
{
    if (m_settings.m_Behavior == 3 || m_settings.m_Behavior == 2) return;
    if (FileName.isEmpty() || !QFileInfo(FileName).isFile()) return;
    if (placeCharacter) placeCharacter();
    m_agent.Show(m_settings.m_Fast);
    playGesture(Animation);
    m_agent.SpeakFile(FileName);
    if (m_settings.m_Hide && Hide) m_agent.Hide(m_settings.m_Fast);
}

void SpeechOutput::SendBookmark(int n)
{
    m_agent.Speak(u"\\Mrk="_s + QString::number(n) + u"\\"_s);
}

void SpeechOutput::SendBookmarkPair(int n)
{
    SendBookmark(n);
    SendBookmark(n + 100000);
}

void SpeechOutput::StopAgent()
{
    m_agent.StopAll();
    if (m_settings.m_Hide) m_agent.Hide(m_settings.m_Fast);
}

QString SpeechOutput::CheckFilters(const QString& FullMessage) const
{
    return applyFilters ? applyFilters(FullMessage) : FullMessage;
}

void SpeechOutput::previewVoice()
{
    SayAndPlay(u"This is the speed, in which I will speak and the way I will sound."_s, u"Read"_s, true,
               true);
}

} // namespace orvella
