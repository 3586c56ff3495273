#pragma once

#include <QString>
#include <functional>

namespace orvella {

// Every user preference, read from and written to "Zentra.INI" in the program
// folder. One instance for the whole run; every part of the program reads and
// assigns its public members directly, and Save writes them all.
class Settings
{
public:
    // The program folder must be known before the settings exist.
    explicit Settings(const QString& appPath);

    // Section Account
    QString m_UserName;
    int m_ConnectionType = 0;
    // Section General
    bool m_DontCheck = false;
    bool m_EnableReminders = true;
    bool m_SayFrom = true;
    bool m_SaySubject = true;
    bool m_SayFirstLine = true;
    bool m_RepeatTwice = false;
    bool m_PopupOnReceive = false;
    bool m_SpellUpper = true;
    bool m_ReadMessageNo = true;
    bool m_ReadNoOfNewMessages = true;
    bool m_SayNoNewMessages = true;
    QString m_NoNewMessages;
    bool m_ShowNewMessagePanel = true;
    bool m_ShowPreviewPanel = false;
    bool m_SayTime = true;
    QString m_TimeGesture;
    QString m_BeforeTime;
    QString m_EMailProgram;
    QString m_MessagePrefix;
    QString m_BeforeContent;
    QString m_BeforeSubject;
    QString m_FirstMessagePrefix;
    QString m_FilteredSymbols;
    bool m_SpecifySenders = false;
    bool m_ShowTips = true;
    int m_LastTab = 0;
    int m_Top = -1;
    int m_Left = -1;
    int m_Width = -1;
    int m_Height = -1;
    int m_SplitTop = -1;
    int m_SayTimeEvery = 0;
    int m_Lines = 20;
    int m_PromptUser = 0;
    // New mail is also told by a desktop notification.
    bool m_DesktopNotification = true;
    // While the desktop is in Do Not Disturb the character does not speak
    // new mail or the clock, nor play their sounds (the notification is
    // still posted); reminders still speak unless the second says otherwise.
    bool m_QuietInDoNotDisturb = true;
    bool m_RemindersQuietInDoNotDisturb = false;
    // Section Character
    QString m_CharacterName;
    bool m_Fast = true;
    bool m_Hide = true;
    QString m_FontName;
    QString m_WAVNewMessages;
    QString m_TimeSoundFile;
    QString m_WelcomeGesture;
    QString m_ReadingGesture;
    QString m_VoiceCharacter;
    int m_FontSize = 10;
    int m_Position = 0;
    int m_VoiceSpeed = 150;
    int m_VoicePitch = 50;
    int m_CharacterSize = 2;
    int m_Behavior = 0;
    int m_StayLeft = -1; // the character's place when it stays where the user put it
    int m_StayTop = -1;
    // Section Reminder
    QString m_ReminderGesture;
    QString m_ReminderSoundFile;
    int m_ReminderRecur = 0;

    // Not in the settings file.
    QString m_WelcomeMessage; // kept in "Welcome.txt"
    bool m_RanWizard = false; // the configuration wizard ran during this start

    // A settings file the program could not have written (see
    // platform::ProfileFile::Check) would open the set-up without a word and
    // be overwritten by it. It is moved aside first, beside the original
    // ("Zentra.INI.damaged"), so the set-up starts afresh and the file is
    // kept. Returns what to tell the user; empty when the file reads.
    QString SetAsideDamagedFile();
    // A cancelled set-up puts the file back: the folder is left as it was.
    void RestoreDamagedFile();
    bool fileDamaged() const { return m_fileDamaged; }

    // What the character, the window and the first steps need.
    void LoadInitial();
    // The rest; on a first run, the configuration wizard. False ends the program.
    bool LoadSettings();
    // Writes every member in table order with one replace of the file, then the welcome file.
    void Save();
    // Shows the configuration wizard from startPage; true when the user finished it.
    bool RunWizard(int startPage);
    void WriteNumber(const QString& section, const QString& key, qint64 value);

    // The window that shows the wizard installs this; without it the wizard
    // completes at once without showing anything.
    std::function<bool(int startPage)> wizardRunner;

    const QString& filePath() const { return m_filePath; }
    QString welcomeFilePath() const;

    // Keys written by Save, section by section in order: (section, key).
    static QList<std::pair<QString, QString>> savedKeys();

private:
    void readKeys(bool initial, const QStringList& order);
    void writeWelcomeFile() const;
    void readWelcomeFile();

    QString m_appPath;
    QString m_filePath;
    bool m_fileDamaged = false;
    QString m_setAsidePath; // where the damaged file went; empty when it stayed
};

} // namespace orvella
