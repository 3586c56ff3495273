#include "speech/CharacterControl.h"

#include "platform/DataFiles.h"
#include "settings/CSettings.h"
#include "settings/Program.h"
#include "speech/SpeechOutput.h"
#include "speech/SpeechText.h"
#include "speech/agent/IAgent.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// File names of characters compare without regard to case, as the lists show
// them lower-cased: "vela.acs" finds "Vela.ACS".
QString findIn(const QString& folder, const QString& name)
{
    if (folder.isEmpty() || name.isEmpty())
        return {};
    const QString exact = folder + u'/' + name;
    if (QFileInfo(exact).isFile())
        return exact;
    const QDir dir(folder);
    for (const QString& entry : dir.entryList(QDir::Files, QDir::Name))
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    return {};
}

QString firstCharacterFile(const QString& folder)
{
    if (folder.isEmpty())
        return {};
    QDir dir(folder);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    for (const QString& f : files)
        if (f.endsWith(u".acs"_s, Qt::CaseInsensitive))
            return f;
    return {};
}

int roundEven(double v)
{
    const double r = std::nearbyint(v);
    return int(qBound(double(std::numeric_limits<int>::min()), r, double(std::numeric_limits<int>::max())));
}

// MoveTo takes 16-bit coordinates.
int to16(double v) { return qBound(-32768, roundEven(v), 32767); }

} // namespace

CharacterControl::CharacterControl(IAgent& agent, CSettings& settings) : m_agent(agent), m_settings(settings)
{
    // The screen without its panels: a character in a corner must not stand
    // over the panel and its notification area.
    screenGeometry = [] {
        const QScreen* s = QGuiApplication::primaryScreen();
        return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
    };
}

void CharacterControl::SetCharactersFolder() { Program().CharactersFolder = platform::installedCharactersFolder(); }

bool CharacterControl::InitCharacter()
{
    const QString appPath = AppPath();
    const QString charsFolder = Program().CharactersFolder;

    if (findIn(appPath, m_settings.m_CharacterName).isEmpty() &&
        findIn(charsFolder, m_settings.m_CharacterName).isEmpty()) {
        QString first = firstCharacterFile(appPath);
        if (first.isEmpty())
            first = firstCharacterFile(charsFolder);
        if (!first.isEmpty())
            m_settings.m_CharacterName = first;
    }

    QString path = findIn(appPath, m_settings.m_CharacterName);
    if (path.isEmpty())
        path = findIn(charsFolder, m_settings.m_CharacterName);
    if (path.isEmpty()) {
        path = charsFolder + u'/' + m_settings.m_CharacterName;
        if (showMessage)
            showMessage(u"Failed to find character file "_s + path + u"\r\n"_s +
                            u"Unable to run without a character. Please copy one of the character files "
                            u"(*.acs) to the "_s +
                            appPath + u" directory before you run Orvella."_s,
                        false, u"Read"_s);
        return false;
    }

    m_agent.Unload(QString::fromUtf16(CharacterID));
    if (!m_agent.Load(QString::fromUtf16(CharacterID), path)) {
        QString why = m_agent.loadError();
        if (showMessage)
            showMessage(u"Failed to load character file: "_s + path +
                            u". Make sure you have at least one character installed, before running Orvella."_s +
                            (why.isEmpty() ? QString() : u"\r\n\r\n"_s + why),
                        false, u"Read"_s);
        return false;
    }
    m_agent.setLanguageID(1033);
    SetCharacterSize();
    SetBalloon();
    SetCharacterMenu();
    return true;
}

double CharacterControl::SizeFactor(int characterSize)
{
    switch (characterSize) {
    case 0:
        return 0.5;
    case 1:
        return 0.75;
    case 3:
        return 1.5;
    case 4:
        return 2;
    default:
        return 1;
    }
}

void CharacterControl::SetCharacterSize()
{
    const double f = SizeFactor(m_settings.m_CharacterSize);
    m_agent.setWidth(roundEven(float(m_agent.OriginalWidth() * f)));
    m_agent.setHeight(roundEven(float(m_agent.OriginalHeight() * f)));
}

std::optional<QPoint> CharacterControl::AgentPosition(int position, QSize screen, QSize character)
{
    // Single precision: the stored positions and the size table assume its rounding.
    const float W = float(screen.width()), H = float(screen.height());
    const float w = float(character.width()), h = float(character.height());
    float x = (W - w) / 2, y = (H - h) / 2;
    switch (position) {
    case 1:
        y = 0;
        break;
    case 2:
        y = H - h;
        break;
    case 3:
        x = 0, y = 0;
        break;
    case 4:
        x = W - w, y = 0;
        break;
    case 5:
        x = 0, y = H - h;
        break;
    case 6:
        x = W - w, y = H - h;
        break;
    case 7:
        return std::nullopt;
    default:
        break;
    }
    return QPoint(to16(x), to16(y));
}

void CharacterControl::SetAgentPos()
{
    const QRect screen = screenGeometry ? screenGeometry() : QRect(0, 0, 1024, 768);
    const auto pos =
        AgentPosition(m_settings.m_Position, screen.size(), QSize(m_agent.Width(), m_agent.Height()));
    if (!pos)
        return;
    m_agent.MoveTo(pos->x() + screen.x(), pos->y() + screen.y());
}

void CharacterControl::RestoreStayInPlace()
{
    if (m_settings.m_Position != 7 || m_settings.m_StayLeft < 0 || m_settings.m_StayTop < 0)
        return;
    // A place on a screen that is gone would leave the character out of reach.
    const QRect screen = screenGeometry ? screenGeometry() : QRect(0, 0, 1024, 768);
    const QPoint at(m_settings.m_StayLeft, m_settings.m_StayTop);
    bool onScreen = screen.contains(at);
    if (!screenGeometry || QGuiApplication::screens().size() > 1)
        for (const QScreen* s : QGuiApplication::screens())
            onScreen = onScreen || s->availableGeometry().contains(at);
    if (onScreen)
        m_agent.MoveTo(at.x(), at.y());
}

void CharacterControl::RememberStayInPlace()
{
    if (m_settings.m_Position != 7 || !m_agent.isLoaded())
        return;
    m_settings.m_StayLeft = m_agent.Left();
    m_settings.m_StayTop = m_agent.Top();
}

void CharacterControl::SetBalloon()
{
    int style = m_agent.balloonStyle();
    if (m_settings.m_Behavior == 1)
        style &= ~IAgent::BalloonOn;
    else
        style |= IAgent::BalloonOn;
    m_agent.setBalloonStyle(style);
    m_agent.setBalloonFontName(m_settings.m_FontName);
    m_agent.setBalloonFontSize(m_settings.m_FontSize);
}

QList<std::pair<QString, QString>> CharacterControl::MenuCommands()
{
    return {{u"Check Mail Now"_s, u"&Check Mail Now"_s},
            {u"Read Clipboard"_s, u"&Read Clipboard"_s},
            {u"Options"_s, u"&Options"_s},
            {u"Orvella Tip"_s, u"Orvella &Tip"_s},
            {u"Stop Talking"_s, u"&Stop Talking"_s},
            {u"Previous Message"_s, u"&Previous Message"_s},
            {u"Next Message"_s, u"&Next Message"_s}};
}

void CharacterControl::SetCharacterMenu()
{
    for (const auto& [name, caption] : MenuCommands())
        m_agent.AddCommand(name, caption);
    if (syncMenu)
        syncMenu();
    else
        SyncCharacterMenu(false, false);
}

void CharacterControl::SyncCharacterMenu(bool nextEnabled, bool previousEnabled)
{
    m_agent.setCommandEnabled(u"Next Message"_s, nextEnabled);
    m_agent.setCommandEnabled(u"Previous Message"_s, previousEnabled);
}

void CharacterControl::SayWelcome(bool IncludeMessage, bool Hide)
{
    QString text = Sentence(u"Hello "_s + m_settings.m_UserName);
    if (!m_settings.m_WelcomeMessage.isEmpty() && IncludeMessage)
        text += u" \r\n"_s + m_settings.m_WelcomeMessage;
    if (speech)
        speech->SayAndPlay(text, m_settings.m_WelcomeGesture, Hide, true);
}

void CharacterControl::chkAlwaysShow_Click(bool checked)
{
    m_settings.m_Hide = !checked;
    if (m_settings.m_Hide)
        m_agent.Hide(m_settings.m_Fast);
    else
        m_agent.Show(m_settings.m_Fast);
}

void FillGestureList(QComboBox* list, const IAgent& agent)
{
    if (!list)
        return;
    list->clear();
    list->addItem(u"None"_s);
    for (const QString& name : agent.AnimationNames())
        if (!name.contains(u"ing"_s))
            list->addItem(name);
}

} // namespace orvella
