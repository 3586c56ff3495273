#pragma once

#include "core/mail/MessageIDSet.h"

#include <QFile>
#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace orvella {

namespace platform {
class ProfileFile;
}
class AccountPasswords;
class PasswordRead;

// One POP3 mailbox: connection parameters, check interval and minute counter,
// the two counters the check cycle compares with the server, and the set of
// message identifiers already seen there, kept in a file of its own.
//
// The counters and the identifier file are written when the account is
// released. An account writes them only while it still owns its section of
// "Zentra.INI": after the accounts are renumbered, an account that was
// removed from the list must not overwrite the section (and the identifier
// file) that now belongs to the account that moved into its place.
//
// The password may live in the desktop's keyring instead of the settings
// file (AccountPasswords moves it there and reads it back); the account then
// names the keyring entry, and m_Password stays empty until it has been read.
class Account
{
public:
    Account();
    ~Account();
    Account(const Account&) = delete;
    Account& operator=(const Account&) = delete;

    qint32 m_NoOfMessages = 0;
    qint32 m_PrevMessageSize = 0;
    QString m_AccountID;
    QString m_PopServer;
    QString m_AccountName;
    QString m_Password;
    qint32 m_CheckInterval = 3;
    qint32 m_Port = 110;
    qint32 m_MinuteCounter = 0;
    // "TLS", "STARTTLS", "Auto" or "None"; "Auto" for files that predate the key.
    QString m_Security = QStringLiteral("Auto");
    // SHA-256 fingerprint of a certificate accepted although the system does not trust it.
    QString m_TrustedCertificate;
    // Not stored: the user has been told in this run that the server took
    // the password without encryption.
    bool m_PlainLogonReported = false;
    // Fingerprint ("AA:BB:...") of the certificate the last check refused;
    // never stored: the options dialog offers to trust it.
    QString m_RejectedCertificate;
    // The keyring entry that holds the password ("KeyringEntry"); empty while
    // the settings file holds the password itself.
    QString m_KeyringEntry;
    // The account's own identity ("UniqueID"): made once, kept whatever the
    // account's name, server, port or place in the list. Two accounts of one
    // name on one server (two ports, two mailboxes) differ in it.
    QString m_UniqueID;
    // How the account signs in ("SignIn"): with a password (also a Gmail app
    // password), or with an OAuth2 sign-in at Microsoft or Google. For the
    // two OAuth2 kinds m_Password holds the tokens (as the keyring keeps
    // them), never written to the settings file.
    enum class SignIn { Password, Microsoft, Google };
    SignIn m_SignIn = SignIn::Password;
    bool UsesOAuth() const { return m_SignIn != SignIn::Password; }
    // Not stored: why the last check could not use the account's sign-in
    // ("sign in again"), for the account's page in the options; empty once
    // a check got in.
    QString m_SignInProblem;
    // "Password", "Microsoft", "Google": the key's values. Unknown text reads
    // as "Password", the kind files without the key mean.
    static QString signInText(SignIn kind);
    static SignIn signInFromText(const QString& text);

    // The protocol the server speaks ("Protocol": "POP3" or "IMAP"; files
    // without the key, and unknown text, mean POP3).
    enum class Protocol { Pop3, Imap };
    Protocol m_Protocol = Protocol::Pop3;
    bool IsImap() const { return m_Protocol == Protocol::Imap; }
    static QString protocolText(Protocol protocol);
    static Protocol protocolFromText(const QString& text);
    // IMAP: the folders watched besides INBOX ("Folders", comma separated).
    QStringList m_Folders;
    // INBOX first, then m_Folders without blanks, repeats or a second INBOX.
    QStringList WatchedFolders() const;
    static QStringList foldersFromText(const QString& text);

    // IMAP: how far each watched folder has been read. A message whose UID is
    // above lastUid is new, as long as the folder's UIDVALIDITY is the one
    // noted; another one means the server numbered the folder anew.
    struct FolderState
    {
        quint32 uidValidity = 0;
        quint32 lastUid = 0;
        bool known = false; // the folder has been read before
    };
    FolderState folderState(const QString& folder) const;
    // Notes a folder's state and writes the state file at once (atomically
    // replaced). False, with the system's reason in error, when it could not
    // be written: the next check then starts from the state before.
    bool SetFolderState(const QString& folder, quint32 uidValidity, quint32 lastUid,
                        QString* error = nullptr);
    // "<section>.UID" beside the identifier file.
    QString folderStateFilePath() const;

    // The entry the password belongs in: "name@server:port #identity". The
    // readable part tells the user whose it is; the identity makes it the
    // account's alone.
    QString KeyringKey() const;
    // A new identity: 16 random hexadecimal digits.
    static QString NewUniqueID();
    // The password waits in the keyring: it has not been read in this run, nor typed anew.
    bool PasswordPending() const;
    // The keyring entry holds the password the account has now (or one not read yet).
    bool PasswordInKeyring() const;
    // A password is given: known, or waiting in the keyring.
    bool HasPassword() const { return !m_Password.isEmpty() || PasswordPending(); }

    void LoadSettings(const QString& section);
    // Writes the connection keys into the account's section (one replace of the file).
    void Save();
    // The same keys into a file being assembled, so saving all accounts replaces the file once.
    void Save(platform::ProfileFile& file) const;
    void WriteCounters();
    // Gives up the account's section: releasing it then writes nothing (a
    // first start whose set-up was cancelled leaves no file behind).
    void Discard();
    // Writes "Security" alone, as the check cycle learns it.
    void SaveSecurity();
    void WriteCounters(platform::ProfileFile& file) const;
    void IncrementTime();

    bool AddMessageID(const QString& id);
    bool KnowsMessageID(const QString& id) const { return m_ServerIDs.contains(id); }
    // Notes, before the message's file is written, that the message with
    // identifier id goes into the file named by stamp. After a crash the
    // next start takes the identifiers whose files were written completely
    // into the set, and only those: each message stays stored exactly once.
    // False (with the system's reason in error) when the note could not be
    // written: the message must then not be stored, or a crash before the
    // identifier file is written would store it a second time.
    bool JournalStoredMessage(const QString& id, const QString& stamp, QString* error = nullptr);
    // Writes the identifier file (after making the messages written so far
    // durable) and clears the journal. False when the file could not be
    // written; the journal then stays for the next start.
    bool SaveMessageIDs();
    void RebuildMessageIDs(const QStringList& ids);
    void RebuildMessageIDs(const MessageIDSet& ids);
    void LoadMessageIDs();
    const MessageIDSet& MessageIDs() const { return m_ServerIDs; }

    static QString Scramble(const QString& password);
    static QString Unscramble(const QString& stored);

    // Fills m_PopServer and m_AccountName from other mail programs' settings.
    void DetectAccount();

    // Gives the account the section section: it takes that section over, and
    // its identifier file follows at once (written under the new name, the old
    // file removed), so the next start reads the identifiers it saw.
    void MoveToSection(const QString& section);

    const QString& settingsFilePath() const { return m_settingsPath; }
    const QString& identifierFilePath() const { return m_idFilePath; }
    // Whether the account's section is still its own (it wrote or loaded it last).
    bool ownsSection() const;

    static QString identifierFileFor(const QString& section);
    // The journal of messages stored since the identifier file was written.
    QString journalFilePath() const { return m_idFilePath + QStringLiteral(".journal"); }
    // "Zentra.INI" in the program folder.
    static QString settingsFile();

private:
    void claimSection();
    void releaseSection();
    void readIdentifierFile();
    void recoverJournal();
    void closeJournal();
    void loadFolderStates();
    bool saveFolderStates(QString* error) const;

    QString m_settingsPath;
    QString m_idFilePath;
    MessageIDSet m_ServerIDs;
    QHash<QString, FolderState> m_folderStates; // by folder name as the server spells it
    std::unique_ptr<QFile> m_journal;
    bool m_journalCut = false; // the journal may end in a part of a line

    // The keyring's side, kept by AccountPasswords.
    friend class AccountPasswords;
    std::optional<QString> m_entryPassword;       // what m_KeyringEntry holds, once read or written
    std::shared_ptr<PasswordRead> m_passwordRead; // the last reading, under way or answered
    bool m_storing = false;                       // moving the password into the keyring
    bool m_storeAgain = false;                    // saved again meanwhile
};

} // namespace orvella
