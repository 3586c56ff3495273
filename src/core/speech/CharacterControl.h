#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>

namespace orvella {

class Settings;
class IAgent;
class SpeechOutput;

// Finds and loads the character file, sizes and places the character, sets up
// its balloon and menu, and greets the user.
class CharacterControl
{
public:
    static constexpr char16_t CharacterID[] = u"EMailAgent";

    CharacterControl(IAgent& agent, Settings& settings);

    // Where notices go (the program's message window); tests record them.
    std::function<void(const QString& text, bool sayIt, const QString& gesture)> showMessage;
    // The screen area the character is placed in (the screen without its
    // panels); the primary screen's by default.
    std::function<QRect()> screenGeometry;
    // The speech primitives, for the greeting.
    SpeechOutput* speech = nullptr;
    // Brings the menu's "Previous Message" and "Next Message" in line with the
    // reading's buttons; without it both start disabled.
    std::function<void()> syncMenu;

    // The installed characters folder.
    static void SetCharactersFolder();
    // Looks for the configured character in the program folder, then the
    // characters folder; else takes the first character file there. False
    // (after telling the user) when none is found or it will not load.
    bool InitCharacter();
    void SetCharacterSize();
    void SetAgentPos();
    // With "Stay in place", the character goes back where the user last put
    // it (when that place is on a screen), and its place is kept for the next start.
    void RestoreStayInPlace();
    void RememberStayInPlace();
    void SetBalloon();
    void SetCharacterMenu();
    // The character's "Previous Message" and "Next Message" follow the panel's buttons.
    void SyncCharacterMenu(bool nextEnabled, bool previousEnabled);
    void SayWelcome(bool IncludeMessage, bool Hide);
    // "Always show character" ticked or cleared.
    void onAlwaysShowToggled(bool checked);

    // The size factor of a "CharacterSize" value.
    static double SizeFactor(int characterSize);
    // Where a w x h character goes on a screen, or nothing for "Stay in place".
    static std::optional<QPoint> AgentPosition(int position, QSize screen, QSize character);

    // The menu commands, in menu order: (name, caption).
    static QList<std::pair<QString, QString>> MenuCommands();

private:
    IAgent& m_agent;
    Settings& m_settings;
};

// The gesture lists: "None" first, then every animation of the character except
// the looping ones (names containing "ing").
QStringList GestureChoices(const IAgent& agent);

} // namespace orvella
