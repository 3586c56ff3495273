#include "core/mail/Account.h"

#include "core/mail/AccountPasswords.h"
#include "core/message/MailMessage.h"
#include "core/settings/IniValues.h"
#include "core/settings/Program.h"
#include "platform/Blanks.h"
#include "platform/DurableFiles.h"
#include "platform/ProfileFile.h"
#include "platform/accounts/AccountDetection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QSaveFile>
#include <cmath>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

using platform::isBlank;

namespace {

const QString General = u"General"_s;

// Which account last loaded or took over each section of each settings file.
QHash<QString, const Account*>& sectionOwners()
{
    static QHash<QString, const Account*> owners;
    return owners;
}

QString ownerKey(const QString& settingsPath, const QString& section)
{
    return settingsPath + u'\n' + section.toCaseFolded();
}

QString canonicalSecurity(const QString& text)
{
    for (const QString& known : {u"TLS"_s, u"STARTTLS"_s, u"Auto"_s, u"None"_s})
        if (text.trimmed().compare(known, Qt::CaseInsensitive) == 0) return known;
    return u"Auto"_s;
}

// --- password scrambling -------------------------------------------------
//
// The stored number for a character is its code times 7 times its position.
// Settings files in the single-byte Windows code page hold the code of each
// character in that page, so for every character the page holds
// (Windows-1252, as the rest of the program reads such files) we use that
// byte: passwords stored that way read back, and ours read the same way
// wherever the page is used. A character the page lacks gets
// its Unicode code point, which is always above 255 and so cannot be confused
// with a byte. The 27 C1 control characters are the only ones below 256 that
// Windows-1252 lacks; they get 0x110000 + code, past the end of Unicode. With
// that, every password we write reads back exactly.

constexpr char32_t beyondUnicode = 0x110000;

const char16_t windows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

qint64 scrambleCode(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
    for (int i = 0; i < 32; ++i)
        if (windows1252High[i] == c) return 0x80 + i;
    return c >= 0x100 ? qint64(c) : qint64(beyondUnicode + c);
}

// -1 when the number stands for no character.
qint64 codeToChar(qint64 code)
{
    if (code < 0) return -1;
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return code;
    if (code < 0xA0) return windows1252High[code - 0x80];
    if (code < qint64(beyondUnicode)) return (code >= 0xD800 && code <= 0xDFFF) ? -1 : code;
    if (code - beyondUnicode >= 0x80 && code - beyondUnicode < 0xA0) return code - beyondUnicode;
    return -1;
}

// The leading number of a text, as number keys are read: blanks, a sign,
// digits and a fraction. Anything else gives 0.
double leadingNumber(QStringView s)
{
    qsizetype i = 0;
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t'))
        ++i;
    const qsizetype start = i;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
    while (i < s.size() && s[i] >= u'0' && s[i] <= u'9')
        ++i;
    if (i < s.size() && s[i] == u'.') {
        ++i;
        while (i < s.size() && s[i] >= u'0' && s[i] <= u'9')
            ++i;
    }
    bool ok = false;
    const double v = s.mid(start, i - start).toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

// --- identifier file -----------------------------------------------------
//
// One identifier a line. The reader splits a line into comma-separated
// fields and takes a field in double quotes without them, so an identifier
// that holds a comma, starts with a quote or has blanks at its ends would come
// back changed (and its message would be announced again); such an identifier
// is written in quotes, with inner quotes doubled.

bool needsQuotes(const QString& id)
{
    if (id.isEmpty()) return false;
    const QChar first = id.front(), last = id.back();
    return id.contains(u',') || id.contains(u'\r') || id.contains(u'\n') || first == u'"' || first == u' ' ||
           first == u'\t' || last == u' ' || last == u'\t';
}

QString fileField(const QString& id)
{
    if (!needsQuotes(id)) return id;
    QString q = id;
    q.replace(u"\""_s, u"\"\""_s);
    return u'"' + q + u'"';
}

// The fields of each line.
QList<QStringList> parseRecords(const QString& text)
{
    QList<QStringList> out;
    QStringList line;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && isBlank(text[i]))
            ++i;
        QString field;
        if (i < n && text[i] == u'"') {
            ++i;
            while (i < n) {
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        field += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
            // Whatever follows the closing quote up to the separator is not part of the field.
            while (i < n && text[i] != u',' && text[i] != u'\r' && text[i] != u'\n')
                ++i;
        } else {
            const qsizetype start = i;
            while (i < n && text[i] != u',' && text[i] != u'\r' && text[i] != u'\n')
                ++i;
            qsizetype end = i;
            while (end > start && isBlank(text[end - 1]))
                --end;
            field = text.mid(start, end - start);
        }
        if (!field.isEmpty()) line.append(field);
        if (i < n && text[i] == u',') {
            ++i;
            continue;
        }
        if (i < n && text[i] == u'\r') ++i;
        if (i < n && text[i] == u'\n') ++i;
        if (!line.isEmpty()) out.append(std::exchange(line, {}));
    }
    if (!line.isEmpty()) out.append(line);
    return out;
}

QStringList parseIdentifierFile(const QString& text)
{
    QStringList out;
    for (const QStringList& line : parseRecords(text))
        out += line;
    return out;
}

// A journal names message files by their stamp: digits and a dot, nothing
// that could reach outside the message folder.
bool isStamp(const QString& s)
{
    if (s.isEmpty() || s.size() > 40) return false;
    for (QChar c : s)
        if (!(c.isDigit() && c.unicode() < 128) && c != u'.') return false;
    return true;
}

} // namespace

QString Account::settingsFile()
{
    return AppPath().isEmpty() ? QString() : AppPath() + u"/Zentra.INI"_s;
}

QString Account::identifierFileFor(const QString& section)
{
    return AppPath().isEmpty() ? QString() : AppPath() + u'/' + section + u".DAT"_s;
}

Account::Account() : m_AccountID(u"Account"_s), m_UniqueID(NewUniqueID()), m_settingsPath(settingsFile())
{
}

QString Account::NewUniqueID()
{
    return QString::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, u'0');
}

Account::~Account()
{
    // Identifiers before counters: counters that run ahead of the identifiers
    // would let the next check skip messages never stored.
    if (ownsSection()) {
        SaveMessageIDs();
        WriteCounters();
    }
    releaseSection();
}

void Account::claimSection()
{
    if (!m_settingsPath.isEmpty()) sectionOwners().insert(ownerKey(m_settingsPath, m_AccountID), this);
}

void Account::releaseSection()
{
    auto& owners = sectionOwners();
    for (auto it = owners.begin(); it != owners.end();) {
        if (it.value() == this)
            it = owners.erase(it);
        else
            ++it;
    }
}

bool Account::ownsSection() const
{
    return !m_settingsPath.isEmpty() && sectionOwners().value(ownerKey(m_settingsPath, m_AccountID)) == this;
}

void Account::LoadSettings(const QString& section)
{
    releaseSection();
    m_AccountID = section;
    claimSection();
    const auto read = [&](const QString& key, const QString& def) {
        return ReadIni(m_AccountID, key, def, m_settingsPath);
    };
    m_PopServer = read(u"POPServer"_s, QString());
    m_AccountName = read(u"AccountName"_s, QString());
    m_Password = Unscramble(read(u"Password"_s, QString()));
    // A password in the file is newer than the entry: a program that knows no
    // keyring wrote it. The next save moves it into the entry.
    m_KeyringEntry = read(u"KeyringEntry"_s, QString()).trimmed();
    // A file written before accounts had one: the identity made now is
    // written with the account's next save, before any entry is named by it.
    m_UniqueID = read(u"UniqueID"_s, QString()).trimmed();
    if (m_UniqueID.isEmpty()) m_UniqueID = NewUniqueID();
    m_entryPassword.reset();
    m_passwordRead.reset();
    AccountPasswords::Remember(m_settingsPath, m_KeyringEntry);
    m_CheckInterval = ReadNumber(read(u"CheckInterval"_s, u"3"_s));
    m_Port = ReadNumber(read(u"Port"_s, u"110"_s));
    m_NoOfMessages = ReadNumber(read(u"NoOfMessages"_s, u"0"_s));
    m_PrevMessageSize = ReadNumber(read(u"PrevMessageSize"_s, u"0"_s));
    m_Security = canonicalSecurity(read(u"Security"_s, u"Auto"_s));
    m_TrustedCertificate = read(u"TrustedCertificate"_s, QString()).trimmed();
    m_SignIn = signInFromText(read(u"SignIn"_s, u"Password"_s));
    m_Protocol = protocolFromText(read(u"Protocol"_s, u"POP3"_s));
    m_Folders = foldersFromText(read(u"Folders"_s, QString()));
    // Tokens live only in the keyring: whatever a hand-edited file holds as
    // the password of such an account is no sign-in.
    if (UsesOAuth()) m_Password.clear();
    // Due at the first minute tick after start-up.
    m_MinuteCounter = m_CheckInterval;
    // Only an account with nothing given is filled from another program: with
    // one of the two given, the other program's server or name would be mixed
    // with the user's, and the password sent where it does not belong.
    if (m_PopServer.isEmpty() && m_AccountName.isEmpty()) DetectAccount();
    m_idFilePath = identifierFileFor(m_AccountID);
    LoadMessageIDs();
    loadFolderStates();
}

void Account::Save(platform::ProfileFile& file) const
{
    file.write(m_AccountID, u"POPServer"_s, m_PopServer);
    file.write(m_AccountID, u"AccountName"_s, m_AccountName);
    // An OAuth2 account's tokens never go into the file, whatever the keyring does with them.
    file.write(m_AccountID, u"Password"_s,
               PasswordInKeyring() || UsesOAuth() ? QString() : Scramble(m_Password));
    if (m_KeyringEntry.isEmpty())
        file.removeKey(m_AccountID, u"KeyringEntry"_s);
    else
        file.write(m_AccountID, u"KeyringEntry"_s, m_KeyringEntry);
    file.write(m_AccountID, u"CheckInterval"_s, NumberText(m_CheckInterval));
    file.write(m_AccountID, u"Port"_s, NumberText(m_Port));
    file.write(m_AccountID, u"Security"_s, m_Security);
    file.write(m_AccountID, u"TrustedCertificate"_s, m_TrustedCertificate);
    file.write(m_AccountID, u"UniqueID"_s, m_UniqueID);
    file.write(m_AccountID, u"SignIn"_s, signInText(m_SignIn));
    file.write(m_AccountID, u"Protocol"_s, protocolText(m_Protocol));
    if (m_Folders.isEmpty())
        file.removeKey(m_AccountID, u"Folders"_s);
    else
        file.write(m_AccountID, u"Folders"_s, m_Folders.join(u", "_s));
}

QString Account::protocolText(Protocol protocol)
{
    return protocol == Protocol::Imap ? u"IMAP"_s : u"POP3"_s;
}

Account::Protocol Account::protocolFromText(const QString& text)
{
    return text.trimmed().compare(u"IMAP"_s, Qt::CaseInsensitive) == 0 ? Protocol::Imap : Protocol::Pop3;
}

QStringList Account::foldersFromText(const QString& text)
{
    QStringList out;
    for (const QString& part : text.split(u',')) {
        const QString name = part.trimmed();
        if (name.isEmpty() || name.compare(u"INBOX"_s, Qt::CaseInsensitive) == 0 || out.contains(name))
            continue;
        out.append(name);
    }
    return out;
}

QStringList Account::WatchedFolders() const
{
    return QStringList{u"INBOX"_s} + foldersFromText(m_Folders.join(u','));
}

// --- folder state file -----------------------------------------------------
//
// One line a folder: "uidvalidity lastuid name", the name last because it may
// hold blanks. A file of its own rather than keys in the settings file: it is
// written after every message batch, often while the options dialog may be
// saving the settings, and folder names would need escaping as keys and could
// pass the settings file's value length. Replaced atomically (QSaveFile syncs
// it before the rename), so a crash leaves the state before or after a write.

QString Account::folderStateFilePath() const
{
    if (m_idFilePath.isEmpty()) return {};
    QString path = m_idFilePath;
    if (path.endsWith(u".DAT"_s)) path.chop(4);
    return path + u".UID"_s;
}

Account::FolderState Account::folderState(const QString& folder) const
{
    return m_folderStates.value(folder);
}

bool Account::SetFolderState(const QString& folder, quint32 uidValidity, quint32 lastUid, QString* error)
{
    const FolderState before = m_folderStates.value(folder);
    m_folderStates.insert(folder, FolderState{uidValidity, lastUid, true});
    if (saveFolderStates(error)) return true;
    if (before.known)
        m_folderStates.insert(folder, before);
    else
        m_folderStates.remove(folder);
    return false;
}

void Account::loadFolderStates()
{
    m_folderStates.clear();
    QFile f(folderStateFilePath());
    if (folderStateFilePath().isEmpty() || !f.open(QIODevice::ReadOnly)) return;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r')) line.chop(1);
        const qsizetype a = line.indexOf(' ');
        const qsizetype b = a < 0 ? -1 : line.indexOf(' ', a + 1);
        if (b < 0) continue;
        bool okValidity = false, okUid = false;
        const quint32 validity = line.left(a).toUInt(&okValidity);
        const quint32 uid = line.mid(a + 1, b - a - 1).toUInt(&okUid);
        const QString name = QString::fromUtf8(line.mid(b + 1));
        if (okValidity && okUid && !name.isEmpty())
            m_folderStates.insert(name, FolderState{validity, uid, true});
    }
}

bool Account::saveFolderStates(QString* error) const
{
    const QString path = folderStateFilePath();
    if (path.isEmpty()) return true;
    QByteArray text;
    QStringList names = m_folderStates.keys();
    names.sort();
    for (const QString& name : std::as_const(names)) {
        const FolderState& s = m_folderStates[name];
        text += QByteArray::number(s.uidValidity) + ' ' + QByteArray::number(s.lastUid) + ' ' +
                name.toUtf8() + "\r\n";
    }
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size() || !f.commit()) {
        if (error) *error = f.errorString();
        return false;
    }
    return true;
}

QString Account::signInText(SignIn kind)
{
    switch (kind) {
    case SignIn::Microsoft:
        return u"Microsoft"_s;
    case SignIn::Google:
        return u"Google"_s;
    case SignIn::Password:
        break;
    }
    return u"Password"_s;
}

Account::SignIn Account::signInFromText(const QString& text)
{
    for (const SignIn kind : {SignIn::Microsoft, SignIn::Google})
        if (text.trimmed().compare(signInText(kind), Qt::CaseInsensitive) == 0) return kind;
    return SignIn::Password;
}

void Account::Save()
{
    if (m_settingsPath.isEmpty()) return;
    platform::ProfileFile file(m_settingsPath);
    Save(file);
    file.save();
    claimSection();
}

QString Account::KeyringKey() const
{
    return m_AccountName + u'@' + m_PopServer + u':' + QString::number(m_Port) + u" #"_s + m_UniqueID;
}

bool Account::PasswordPending() const
{
    return !m_KeyringEntry.isEmpty() && !m_entryPassword && m_Password.isEmpty();
}

bool Account::PasswordInKeyring() const
{
    return !m_KeyringEntry.isEmpty() && (PasswordPending() || m_entryPassword == m_Password);
}

void Account::WriteCounters(platform::ProfileFile& file) const
{
    file.write(m_AccountID, u"NoOfMessages"_s, NumberText(m_NoOfMessages));
    file.write(m_AccountID, u"PrevMessageSize"_s, NumberText(m_PrevMessageSize));
}

void Account::WriteCounters()
{
    if (m_settingsPath.isEmpty()) return;
    platform::ProfileFile file(m_settingsPath);
    WriteCounters(file);
    file.save();
}

void Account::Discard()
{
    closeJournal();
    releaseSection();
}

void Account::SaveSecurity()
{
    if (m_settingsPath.isEmpty() || !ownsSection()) return;
    platform::ProfileFile file(m_settingsPath);
    file.write(m_AccountID, u"Security"_s, m_Security);
    file.save();
}

void Account::IncrementTime()
{
    ++m_MinuteCounter;
}

bool Account::AddMessageID(const QString& id)
{
    return m_ServerIDs.add(id);
}

bool Account::JournalStoredMessage(const QString& id, const QString& stamp, QString* error)
{
    if (m_idFilePath.isEmpty()) return true;
    if (!m_journal) {
        m_journal = std::make_unique<QFile>(journalFilePath());
        // Unbuffered: each line reaches the file before the message's file is begun.
        if (!m_journal->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            if (error) *error = m_journal->errorString();
            m_journal.reset();
            return false;
        }
    }
    // A part of a line left by a failed write would run into the next line
    // and hide it from the recovery after a crash: the file goes back to its
    // last whole line, or else the next line starts on a line of its own.
    QByteArray line = (fileField(stamp) + u',' + fileField(id) + u"\r\n"_s).toUtf8();
    if (m_journalCut) line.prepend("\r\n");
    const qint64 before = m_journal->size();
    if (m_journal->write(line) == line.size()) {
        m_journalCut = false;
        return true;
    }
    if (error) *error = m_journal->errorString();
    if (!m_journal->resize(before)) m_journalCut = true;
    return false;
}

void Account::closeJournal()
{
    m_journal.reset();
}

bool Account::SaveMessageIDs()
{
    if (m_idFilePath.isEmpty()) return true;
    const QString journal = journalFilePath();
    const bool journaled = m_journal || QFile::exists(journal);
    // The identifiers may say a message is stored only once its file is on
    // the disk; one sync covers every file the journal names.
    if (journaled) platform::syncFileSystemOf(MailMessage::MessageFolder());
    bool saved = false;
    if (m_ServerIDs.isEmpty()) {
        saved = !QFile::exists(m_idFilePath) || QFile::remove(m_idFilePath);
    } else {
        QString text;
        for (const QString& id : m_ServerIDs.values()) {
            text += fileField(id);
            text += u"\r\n"_s;
        }
        QSaveFile f(m_idFilePath);
        if (!f.open(QIODevice::WriteOnly) &&
            (!QDir().mkpath(QFileInfo(m_idFilePath).absolutePath()) || !f.open(QIODevice::WriteOnly)))
            return false;
        f.write(text.toUtf8());
        saved = f.commit();
    }
    // Kept when the file could not be written: the next start recovers from it.
    if (saved && journaled) {
        closeJournal();
        if (QFile::remove(journal) || !QFile::exists(journal)) m_journalCut = false;
    }
    return saved;
}

// What a crash during a check left: the journal names every message whose
// file was begun; those whose file is complete are stored and their
// identifiers known, the others (never begun, or cut short) are not stored
// and are fetched again.
void Account::recoverJournal()
{
    QFile f(journalFilePath());
    if (!f.open(QIODevice::ReadOnly)) return;
    const QList<QStringList> records = parseRecords(QString::fromUtf8(f.readAll()));
    f.close();
    const QString folder = MailMessage::MessageFolder();
    for (const QStringList& record : records) {
        // A line cut short by the crash: its file was never begun.
        if (record.size() != 2 || !isStamp(record[0])) continue;
        const QString file = folder + u'/' + record[0] + u".tem"_s;
        MailMessage message;
        if (message.Load(file)) {
            if (message.m_ID == MailMessage::ReplaceQuotes(record[1])) m_ServerIDs.add(record[1]);
        } else if (QFileInfo::exists(file)) {
            QFile::remove(file);
        }
    }
    SaveMessageIDs();
}

void Account::RebuildMessageIDs(const QStringList& ids)
{
    m_ServerIDs = MessageIDSet(ids);
    SaveMessageIDs();
}

void Account::RebuildMessageIDs(const MessageIDSet& ids)
{
    RebuildMessageIDs(ids.values());
}

void Account::LoadMessageIDs()
{
    m_ServerIDs.clear();
    closeJournal();
    if (m_idFilePath.isEmpty()) return;
    readIdentifierFile();
    if (QFile::exists(journalFilePath())) recoverJournal();
}

void Account::readIdentifierFile()
{
    QFile f(m_idFilePath);
    if (!f.open(QIODevice::ReadOnly)) return;
    const QStringList ids = parseIdentifierFile(platform::decodeLegacyText(f.readAll()));
    for (const QString& id : ids)
        m_ServerIDs.add(id);
}

QString Account::Scramble(const QString& password)
{
    QString out;
    qint64 position = 0;
    for (char32_t c : QStringView(password).toUcs4()) {
        ++position;
        out += QString::number(scrambleCode(c) * 7 * position);
        out += u'*';
    }
    return out;
}

QString Account::Unscramble(const QString& stored)
{
    QString out;
    qint64 position = 0;
    qsizetype from = 0;
    while (true) {
        const qsizetype star = stored.indexOf(u'*', from);
        // No "*" left, or one that stands first in the rest: the end.
        if (star <= from) break;
        ++position;
        const double value = leadingNumber(QStringView(stored).mid(from, star - from));
        from = star + 1;
        const double code = std::nearbyint(value / (7.0 * double(position)));
        if (!(code >= 0 && code < 2.0 * beyondUnicode)) continue;
        const qint64 c = codeToChar(qint64(code));
        if (c < 0) continue;
        const char32_t ch = char32_t(c);
        out += QString::fromUcs4(&ch, 1);
    }
    return out;
}

void Account::DetectAccount()
{
    DetectAccountFrom(AccountSources::fromEnvironment(), m_PopServer, m_AccountName);
}

void Account::MoveToSection(const QString& section)
{
    if (section.compare(m_AccountID, Qt::CaseInsensitive) == 0 && ownsSection()) {
        m_AccountID = section;
        return;
    }
    const QString oldFile = m_idFilePath;
    const QString oldJournal = journalFilePath();
    const bool hadJournal = m_journal || QFile::exists(oldJournal);
    const bool ownedOld = ownsSection();
    closeJournal();
    releaseSection();
    m_AccountID = section;
    claimSection();
    const QString oldStates = folderStateFilePath();
    m_idFilePath = identifierFileFor(section);
    if (!m_folderStates.isEmpty()) saveFolderStates(nullptr);
    if (ownedOld && !oldStates.isEmpty() && oldStates != folderStateFilePath()) QFile::remove(oldStates);
    // The set in memory holds what the journal names; written whole under the
    // new name (after a sync), it makes the old journal needless.
    if (hadJournal) platform::syncFileSystemOf(MailMessage::MessageFolder());
    SaveMessageIDs();
    if (hadJournal && !oldFile.isEmpty() && oldJournal != journalFilePath()) QFile::remove(oldJournal);
    // The old name now belongs to nobody (or to the account moving in next,
    // which writes its own file there).
    if (ownedOld && !oldFile.isEmpty() && oldFile != m_idFilePath) QFile::remove(oldFile);
}

} // namespace orvella
