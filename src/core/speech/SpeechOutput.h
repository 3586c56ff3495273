#pragma once

#include <QString>
#include <functional>

namespace orvella {

class Settings;
class IAgent;

// Every audible output of the program goes through here: a text said with a
// gesture, a sound file played as the character's speech, bookmarks in the
// speech queue, and stop. The voice settings and the behaviour setting are
// applied in this one place.
class SpeechOutput
{
public:
    SpeechOutput(IAgent& agent, Settings& settings);

    // Places the character before it shows itself; the character control sets it.
    std::function<void()> placeCharacter;
    // Passes composed message text through the user's filters, in list order.
    std::function<QString(const QString&)> applyFilters;

    // Behaviour 3 (silent) says nothing and behaviour 2 thinks the bare text,
    // unless ignoreBehavior; otherwise the text is spoken with the voice tags.
    void SayAndPlay(const QString& Message, const QString& Animation, bool Hide, bool IgnoreBehavior);
    // Plays a sound file as the character's speech; silent for behaviours 2
    // and 3 and for an empty or missing file.
    void PlayWAVFile(const QString& FileName, const QString& Animation, bool Hide);
    void SendBookmark(int n);
    // Start and end bookmark of a message passed over without a word.
    void SendBookmarkPair(int n);
    // Drops everything queued, bookmarks included; hides when the character hides when idle.
    void StopAgent();
    QString CheckFilters(const QString& FullMessage) const;
    void previewVoice();

    IAgent& agent() const { return m_agent; }
    Settings& settings() const { return m_settings; }

private:
    void playGesture(const QString& animation);

    IAgent& m_agent;
    Settings& m_settings;
};

} // namespace orvella
