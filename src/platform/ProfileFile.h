#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace orvella::platform {

// An initialisation file of [sections] and key=value lines with the semantics
// the program was designed around: sections and keys match without regard to
// letter case, an absent key gives the caller's default, a present key with an
// empty value gives empty text, values are cut at 1023 characters, and lines
// the program does not know survive every write untouched. Reading trims the
// blanks around a value and drops one pair of enclosing quotes; writing puts
// a value that would lose something that way (blanks at an end, a leading
// quote) in double quotes, so every value reads back as it was written.
//
// The whole file is held in memory; save() replaces it atomically, so a crash
// never leaves a half-written file and a batch of writes costs one replace.
class ProfileFile
{
public:
    static constexpr int MaxValueLength = 1023;

    // How a file reads as a profile file. A file that is missing, empty or
    // short of keys is no fault: it reads as defaults. One the program could
    // not have written is damaged: it cannot be opened, it holds bytes that
    // are no text (NUL bytes, control characters: a binary file, or blocks a
    // crash left zeroed), or it holds text without a single [section].
    enum class State { Missing, Empty, Fine, Unreadable, NotText, NoSections };
    struct Check
    {
        State state = State::Missing;
        QString why; // what is wrong, in the user's words; empty when not damaged
        bool damaged() const { return state >= State::Unreadable; }
    };
    static Check inspect(const QString& path);
    static Check inspect(const QByteArray& bytes);

    ProfileFile() = default;
    explicit ProfileFile(const QString& path);

    // Reads path (a missing or unreadable file is an empty profile).
    // Accepts CR LF or LF, UTF-8, and falls back to Windows-1252 for files
    // in that single-byte code page.
    bool load(const QString& path);
    // What the last load found.
    const Check& check() const { return m_check; }
    // Parses text as file contents (used by load and by tests).
    void parse(const QString& text);

    const QString& path() const { return m_path; }
    void setPath(const QString& path) { m_path = path; }

    bool hasKey(const QString& section, const QString& key) const;
    bool hasSection(const QString& section) const;
    QString read(const QString& section, const QString& key, const QString& defaultValue) const;
    void write(const QString& section, const QString& key, const QString& value);
    void removeKey(const QString& section, const QString& key);
    QStringList sections() const;
    QStringList keys(const QString& section) const;

    // The file contents as save() writes them: CR LF line ends.
    QString text() const;
    // Replaces the file at path() atomically. Creates missing folders.
    bool save() const;

private:
    struct Line
    {
        QString raw;     // as read or as last written, without line end
        QString section; // for section headers: the name; empty otherwise
        QString key;     // for key lines: the key as written
        QString value;   // for key lines: the value, trimmed, quotes removed
        bool isSection = false;
        bool isKey = false;
    };

    // Index of the header line of section, or -1.
    int findSection(const QString& section) const;
    // Index of the key line within the section starting at header index, or -1.
    int findKey(int header, const QString& key) const;
    // One past the last line that belongs to the section whose header is at index.
    int sectionEnd(int header) const;

    static Line parseLine(const QString& raw);

    QString m_path;
    std::vector<Line> m_lines;
    Check m_check;
};

// One-off reads and writes through a small cache of parsed files, so reading a
// few dozen keys from one file parses it once. Our own writes refresh the cache;
// a file changed by someone else is seen through its modification time.
QString readProfileString(const QString& path, const QString& section, const QString& key,
                          const QString& defaultValue);
bool writeProfileString(const QString& path, const QString& section, const QString& key,
                        const QString& value);
// Forgets cached contents (after a file was deleted or replaced behind our back).
void invalidateProfileCache(const QString& path = QString());

// Windows-1252 to Unicode, for text files in that code page.
QString decodeWindows1252(const QByteArray& bytes);
// UTF-8 when the bytes are valid UTF-8 (a BOM is dropped), else Windows-1252.
QString decodeLegacyText(const QByteArray& bytes);

} // namespace orvella::platform
