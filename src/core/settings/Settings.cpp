#include "core/settings/Settings.h"

#include "core/settings/IniValues.h"
#include "platform/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <variant>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

enum class Correction { None, AboveBecomes, OutsideBecomes, TrimBlanks };
enum class Load { Initial, Settings };

struct Field
{
    const char16_t* section;
    const char16_t* key;
    std::variant<QString Settings::*, bool Settings::*, int Settings::*> member;
    const char16_t* defaultValue;
    Load readIn;
    Correction rule = Correction::None;
    int low = 0, high = 0, corrected = 0;
    bool inProgramFolder = false; // the default is a path under the program folder
};

// The settings file, in the order Save writes it.
const Field fields[] = {
    {u"Account", u"UserName", &Settings::m_UserName, u"", Load::Initial},
    {u"Account", u"ConnectionType", &Settings::m_ConnectionType, u"0", Load::Initial,
     Correction::AboveBecomes, 0, 2, 1},
    {u"General", u"DontCheck", &Settings::m_DontCheck, u"no", Load::Settings},
    {u"General", u"EnableReminders", &Settings::m_EnableReminders, u"yes", Load::Settings},
    {u"General", u"SayFrom", &Settings::m_SayFrom, u"yes", Load::Settings},
    {u"General", u"SaySubject", &Settings::m_SaySubject, u"yes", Load::Settings},
    {u"General", u"SayFirstLine", &Settings::m_SayFirstLine, u"yes", Load::Settings},
    {u"General", u"RepeatTwice", &Settings::m_RepeatTwice, u"no", Load::Settings},
    // The misspelling is the key's real name in every existing settings file.
    {u"General", u"PopupOnRecieve", &Settings::m_PopupOnReceive, u"no", Load::Settings},
    {u"General", u"SpellUpper", &Settings::m_SpellUpper, u"yes", Load::Settings},
    {u"General", u"ReadMessageNo", &Settings::m_ReadMessageNo, u"yes", Load::Settings},
    {u"General", u"ReadNoOfNewMessages", &Settings::m_ReadNoOfNewMessages, u"yes", Load::Settings},
    {u"General", u"SayNoNewMessages", &Settings::m_SayNoNewMessages, u"yes", Load::Settings},
    {u"General", u"NoNewMessages", &Settings::m_NoNewMessages, u"No new messages", Load::Settings},
    {u"General", u"ShowNewMessagePanel", &Settings::m_ShowNewMessagePanel, u"yes", Load::Initial},
    {u"General", u"ShowPreviewPanel", &Settings::m_ShowPreviewPanel, u"no", Load::Initial},
    {u"General", u"SayTime", &Settings::m_SayTime, u"yes", Load::Settings},
    {u"General", u"TimeGesture", &Settings::m_TimeGesture, u"Announce", Load::Settings},
    {u"General", u"BeforeTime", &Settings::m_BeforeTime, u"The time now is", Load::Settings},
    {u"General", u"EMailProgram", &Settings::m_EMailProgram, u"", Load::Settings},
    {u"General", u"MessagePrefix", &Settings::m_MessagePrefix, u"Message from", Load::Settings},
    {u"General", u"BeforeContent", &Settings::m_BeforeContent, u"", Load::Settings},
    {u"General", u"BeforeSubject", &Settings::m_BeforeSubject, u"", Load::Settings},
    {u"General", u"FirstMessagePrefix", &Settings::m_FirstMessagePrefix, u"", Load::Settings},
    {u"General", u"FilteredSymbols", &Settings::m_FilteredSymbols, u"<>*~_=", Load::Settings,
     Correction::TrimBlanks},
    {u"General", u"SpecifySenders", &Settings::m_SpecifySenders, u"no", Load::Initial},
    {u"General", u"ShowTips", &Settings::m_ShowTips, u"yes", Load::Initial},
    {u"General", u"LastTab", &Settings::m_LastTab, u"0", Load::Initial, Correction::OutsideBecomes, 0, 1, 0},
    {u"General", u"Top", &Settings::m_Top, u"-1", Load::Initial},
    {u"General", u"Left", &Settings::m_Left, u"-1", Load::Initial},
    {u"General", u"Width", &Settings::m_Width, u"-1", Load::Initial},
    {u"General", u"Height", &Settings::m_Height, u"-1", Load::Initial},
    {u"General", u"SplitTop", &Settings::m_SplitTop, u"-1", Load::Initial},
    {u"General", u"SayTimeEvery", &Settings::m_SayTimeEvery, u"0", Load::Settings, Correction::AboveBecomes,
     0, 6, 0},
    {u"General", u"MessageLines", &Settings::m_Lines, u"20", Load::Settings, Correction::OutsideBecomes, 0,
     100, 20},
    {u"General", u"PromptUser", &Settings::m_PromptUser, u"0", Load::Settings, Correction::OutsideBecomes, 0,
     2, 0},
    {u"General", u"DesktopNotification", &Settings::m_DesktopNotification, u"yes", Load::Settings},
    {u"General", u"QuietInDoNotDisturb", &Settings::m_QuietInDoNotDisturb, u"yes", Load::Settings},
    {u"General", u"RemindersQuietInDoNotDisturb", &Settings::m_RemindersQuietInDoNotDisturb, u"no",
     Load::Settings},
    {u"Character", u"Name", &Settings::m_CharacterName, u"merlin.acs", Load::Initial},
    {u"Character", u"Fast", &Settings::m_Fast, u"yes", Load::Initial},
    {u"Character", u"Hide", &Settings::m_Hide, u"yes", Load::Initial},
    {u"Character", u"FontName", &Settings::m_FontName, u"MS Sans Serif", Load::Initial},
    {u"Character", u"WAVNewMessages", &Settings::m_WAVNewMessages, u"/Sounds/NewMail.wav", Load::Initial,
     Correction::None, 0, 0, 0, true},
    {u"Character", u"TimeSoundFile", &Settings::m_TimeSoundFile, u"/Sounds/Clock.wav", Load::Initial,
     Correction::None, 0, 0, 0, true},
    {u"Character", u"WelcomeGesture", &Settings::m_WelcomeGesture, u"Greet", Load::Initial},
    {u"Character", u"ReadingGesture", &Settings::m_ReadingGesture, u"Read", Load::Initial},
    {u"Character", u"VoiceCharacter", &Settings::m_VoiceCharacter, u"Normal", Load::Initial},
    {u"Character", u"FontSize", &Settings::m_FontSize, u"10", Load::Initial},
    {u"Character", u"Position", &Settings::m_Position, u"0", Load::Initial, Correction::AboveBecomes, 0, 7,
     0},
    {u"Character", u"VoiceSpeed", &Settings::m_VoiceSpeed, u"150", Load::Initial},
    {u"Character", u"VoicePitch", &Settings::m_VoicePitch, u"50", Load::Initial},
    {u"Character", u"CharacterSize", &Settings::m_CharacterSize, u"2", Load::Initial,
     Correction::AboveBecomes, 0, 4, 2},
    {u"Character", u"Behavior", &Settings::m_Behavior, u"0", Load::Initial, Correction::OutsideBecomes, 0, 3,
     0},
    // Where the user last put the character, for "Stay in place" (pixels; -1: nowhere yet).
    {u"Character", u"StayLeft", &Settings::m_StayLeft, u"-1", Load::Initial},
    {u"Character", u"StayTop", &Settings::m_StayTop, u"-1", Load::Initial},
    {u"Reminder", u"Gesture", &Settings::m_ReminderGesture, u"Suggest", Load::Settings},
    {u"Reminder", u"SoundFile", &Settings::m_ReminderSoundFile, u"", Load::Settings},
    {u"Reminder", u"ReminderRecur", &Settings::m_ReminderRecur, u"0", Load::Settings,
     Correction::OutsideBecomes, 0, 4, 0},
};

// The order in which the first step reads its keys.
const char16_t* const initialOrder[] = {u"UserName",
                                        u"Name",
                                        u"Fast",
                                        u"WelcomeGesture",
                                        u"ReadingGesture",
                                        u"VoiceCharacter",
                                        u"VoiceSpeed",
                                        u"VoicePitch",
                                        u"WAVNewMessages",
                                        u"TimeSoundFile",
                                        u"FontName",
                                        u"FontSize",
                                        u"Hide",
                                        u"SpecifySenders",
                                        u"ShowTips",
                                        u"ShowNewMessagePanel",
                                        u"ShowPreviewPanel",
                                        u"ConnectionType",
                                        u"Position",
                                        u"LastTab",
                                        u"Top",
                                        u"Left",
                                        u"Width",
                                        u"Height",
                                        u"SplitTop",
                                        u"CharacterSize",
                                        u"Behavior",
                                        u"StayLeft",
                                        u"StayTop"};

const Field* findField(QStringView key)
{
    for (const Field& f : fields)
        if (key == f.key) return &f;
    return nullptr;
}

int applyRule(const Field& f, int v)
{
    switch (f.rule) {
    case Correction::AboveBecomes:
        return v > f.high ? f.corrected : v;
    case Correction::OutsideBecomes:
        return (v < f.low || v > f.high) ? f.corrected : v;
    default:
        return v;
    }
}

QString trimmed(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] == u' ')
        ++b;
    while (e > b && s[e - 1] == u' ')
        --e;
    return s.mid(b, e - b);
}

QString defaultText(const Field& f, const QString& appPath)
{
    const QString def = QString::fromUtf16(f.defaultValue);
    return f.inProgramFolder ? appPath + def : def;
}

// Puts text, as read from the file, into the field's member with its rule applied.
void assign(Settings& s, const Field& f, const QString& text)
{
    std::visit(
        [&](auto member) {
            using T = std::remove_reference_t<decltype(s.*member)>;
            if constexpr (std::is_same_v<T, QString>)
                s.*member = f.rule == Correction::TrimBlanks ? trimmed(text) : text;
            else if constexpr (std::is_same_v<T, bool>)
                s.*member = IsYes(text);
            else
                s.*member = applyRule(f, ReadNumber(text));
        },
        f.member);
}

} // namespace

Settings::Settings(const QString& appPath) : m_appPath(appPath), m_filePath(appPath + u"/Zentra.INI"_s)
{
    // A fresh object holds the defaults, so code that runs before a load
    // (and tests) sees the same values a missing file gives.
    for (const Field& f : fields)
        assign(*this, f, defaultText(f, m_appPath));
}

QString Settings::welcomeFilePath() const
{
    return m_appPath + u"/Welcome.txt"_s;
}

void Settings::readKeys(bool initial, const QStringList& order)
{
    for (const QString& key : order) {
        const Field* f = findField(key);
        if (!f || (f->readIn == Load::Initial) != initial) continue;
        assign(*this, *f,
               ReadIni(QString::fromUtf16(f->section), key, defaultText(*f, m_appPath), m_filePath));
    }
}

QString Settings::SetAsideDamagedFile()
{
    const platform::ProfileFile::Check check = platform::ProfileFile::inspect(m_filePath);
    if (!check.damaged()) return {};
    m_fileDamaged = true;
    // An earlier damaged file already set aside is never replaced.
    QString aside = m_filePath + u".damaged"_s;
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = m_filePath + u".damaged."_s + QString::number(n);
    QFile file(m_filePath);
    const QString shown = QDir::toNativeSeparators(m_filePath);
    QString text = u"Orvella could not read its settings file %1: %2.\r\n\r\n"_s.arg(shown, check.why);
    if (file.rename(aside)) {
        m_setAsidePath = aside;
        text += u"The file was kept as %1. "_s.arg(QDir::toNativeSeparators(aside));
    } else {
        text += u"It could not be set aside (%1). "_s.arg(file.errorString());
    }
    platform::invalidateProfileCache(m_filePath);
    return text + u"The set-up starts again now, and no mail is checked until it is finished."_s;
}

void Settings::RestoreDamagedFile()
{
    if (m_setAsidePath.isEmpty() || QFileInfo::exists(m_filePath)) return;
    if (QFile::rename(m_setAsidePath, m_filePath)) m_setAsidePath.clear();
    platform::invalidateProfileCache(m_filePath);
}

void Settings::LoadInitial()
{
    QStringList order;
    for (const char16_t* key : initialOrder)
        order << QString::fromUtf16(key);
    readKeys(true, order);
    readWelcomeFile();
}

bool Settings::LoadSettings()
{
    QStringList order;
    for (const Field& f : fields)
        if (f.readIn == Load::Settings) order << QString::fromUtf16(f.key);
    readKeys(false, order);

    if (m_fileDamaged || !QFileInfo::exists(m_filePath)) return RunWizard(0);
    if (m_ConnectionType == 0) return RunWizard(7);
    return true;
}

bool Settings::RunWizard(int startPage)
{
    m_RanWizard = true;
    if (!wizardRunner) return true;
    return wizardRunner(startPage);
}

void Settings::WriteNumber(const QString& section, const QString& key, qint64 value)
{
    platform::writeProfileString(m_filePath, section, key, NumberText(value));
}

void Settings::Save()
{
    platform::ProfileFile file(m_filePath);
    // Our keys are taken out and written afresh, so each section holds them in
    // the table's order whatever order an older or hand-edited file had;
    // other keys and lines stay where they are.
    for (const Field& f : fields)
        file.removeKey(QString::fromUtf16(f.section), QString::fromUtf16(f.key));
    for (const Field& f : fields) {
        QString text;
        std::visit(
            [&](auto member) {
                using T = std::remove_reference_t<decltype(this->*member)>;
                if constexpr (std::is_same_v<T, QString>)
                    text = this->*member;
                else if constexpr (std::is_same_v<T, bool>)
                    text = YesNo(this->*member);
                else
                    text = NumberText(this->*member);
            },
            f.member);
        file.write(QString::fromUtf16(f.section), QString::fromUtf16(f.key), text);
    }
    file.save();
    writeWelcomeFile();
}

QList<std::pair<QString, QString>> Settings::savedKeys()
{
    QList<std::pair<QString, QString>> keys;
    for (const Field& f : fields)
        keys.append({QString::fromUtf16(f.section), QString::fromUtf16(f.key)});
    return keys;
}

// One line: the text in double quotes, CR LF. A quote inside the text is
// doubled, so the text reads back whole instead of ending at that quote.
void Settings::writeWelcomeFile() const
{
    QSaveFile f(welcomeFilePath());
    if (!f.open(QIODevice::WriteOnly)) return;
    QString text = m_WelcomeMessage;
    text.replace(u"\""_s, u"\"\""_s);
    f.write((u'"' + text + u"\"\r\n"_s).toUtf8());
    f.commit();
}

// Read as one field of comma-separated input: a quoted text up to its closing
// quote (commas and line breaks inside are kept), else up to the first comma
// or the end of the line.
void Settings::readWelcomeFile()
{
    QFile f(welcomeFilePath());
    if (!f.open(QIODevice::ReadOnly)) return;
    const QString text = platform::decodeLegacyText(f.readAll());
    if (text.isEmpty()) return;
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    QString value;
    if (i < text.size() && text[i] == u'"') {
        ++i;
        while (i < text.size()) {
            if (text[i] == u'"') {
                if (i + 1 < text.size() && text[i + 1] == u'"') {
                    value += u'"';
                    i += 2;
                    continue;
                }
                break;
            }
            value += text[i++];
        }
    } else {
        qsizetype end = i;
        while (end < text.size() && text[end] != u',' && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        value = trimmed(text.mid(i, end - i));
    }
    value.replace(u"\r\n"_s, u"\n"_s);
    m_WelcomeMessage = value;
}

} // namespace orvella
