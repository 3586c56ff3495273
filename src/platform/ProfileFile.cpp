#include "platform/ProfileFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSaveFile>
#include <QStringDecoder>
#include <memory>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

QString trimBlanks(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b).toString();
}

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// A value must stay on its own line, or the next read would see a different file.
QString oneLine(const QString& value)
{
    if (!value.contains(u'\n') && !value.contains(u'\r'))
        return value;
    QString v = value;
    v.replace(u"\r\n"_s, u" "_s);
    v.replace(u'\r', u' ');
    v.replace(u'\n', u' ');
    return v;
}

// The reader trims blanks around a value and drops one pair of enclosing
// quotes, so a value with blanks at an end ("-- ", the usual signature cut)
// or one that begins with a quote would come back changed when written bare.
// Such a value goes between double quotes, which the reader takes off again;
// every other value is written as it is, so files stay as people write them.
QString valueText(const QString& value)
{
    if (value.isEmpty()) return value;
    const QChar first = value.front(), last = value.back();
    if (isBlank(first) || isBlank(last) || first == u'"' || first == u'\'') return u'"' + value + u'"';
    return value;
}

} // namespace

QString decodeWindows1252(const QByteArray& bytes)
{
    // 0x80..0x9F differ from Latin-1; unassigned positions map to themselves.
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        out.append(b >= 0x80 && b < 0xA0 ? QChar(high[b - 0x80]) : QChar(char16_t(b)));
    }
    return out;
}

QString decodeLegacyText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return decodeWindows1252(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

ProfileFile::ProfileFile(const QString& path) { load(path); }

ProfileFile::Check ProfileFile::inspect(const QByteArray& bytes)
{
    const Check notText{State::NotText, u"it holds bytes that are no text"_s};
    // One pass, nothing allocated: every reminder file goes through here at start-up.
    qsizetype controls = 0;
    bool section = false, text = false;
    bool lineStart = true; // no character but blanks seen on this line yet
    const qsizetype from = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    for (qsizetype i = from; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == 0) return notText;
        // Tab, line ends, form feed and the end-of-file mark of old editors are text.
        if ((b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != 0x1A) || b == 0x7F)
            ++controls;
        if (b == '\n') {
            lineStart = true;
        } else if (lineStart && b > ' ') {
            lineStart = false;
            // Comments alone are no settings, but no damage either.
            if (b == '[')
                section = true;
            else if (b != ';' && b != '#')
                text = true;
        }
    }
    // A stray control character is a typing slip; many are a binary file.
    if (controls > 0 && controls * 32 > bytes.size()) return notText;
    if (section) return {State::Fine, {}};
    if (!text) return {State::Empty, {}};
    return {State::NoSections, u"it holds no [section] of settings"_s};
}

ProfileFile::Check ProfileFile::inspect(const QString& path)
{
    QFile f(path);
    if (!f.exists()) return {};
    if (!f.open(QIODevice::ReadOnly))
        return {State::Unreadable, u"it cannot be opened (%1)"_s.arg(f.errorString())};
    return inspect(f.readAll());
}

bool ProfileFile::load(const QString& path)
{
    m_path = path;
    m_lines.clear();
    m_check = {};
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (f.exists()) m_check = {State::Unreadable, u"it cannot be opened (%1)"_s.arg(f.errorString())};
        return false;
    }
    const QByteArray bytes = f.readAll();
    m_check = inspect(bytes);
    parse(decodeLegacyText(bytes));
    return true;
}

ProfileFile::Line ProfileFile::parseLine(const QString& raw)
{
    Line line;
    line.raw = raw;
    const QString t = trimBlanks(raw);
    if (t.startsWith(u'[')) {
        const qsizetype close = t.indexOf(u']');
        line.isSection = true;
        line.section = trimBlanks(QStringView(t).mid(1, close < 0 ? -1 : close - 1));
        return line;
    }
    const qsizetype eq = t.indexOf(u'=');
    if (eq > 0) {
        line.isKey = true;
        line.key = trimBlanks(QStringView(t).left(eq));
        QString v = trimBlanks(QStringView(t).mid(eq + 1));
        // The profile reader drops one pair of enclosing quotes.
        if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
            v = v.mid(1, v.size() - 2);
        line.value = v;
    }
    return line;
}

void ProfileFile::parse(const QString& text)
{
    m_lines.clear();
    const QStringList rows = text.split(u'\n');
    m_lines.reserve(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        QString row = rows[i];
        if (row.endsWith(u'\r'))
            row.chop(1);
        // A final line end does not start another line.
        if (i == rows.size() - 1 && row.isEmpty())
            break;
        m_lines.push_back(parseLine(row));
    }
}

int ProfileFile::findSection(const QString& section) const
{
    for (size_t i = 0; i < m_lines.size(); ++i)
        if (m_lines[i].isSection && sameName(m_lines[i].section, section))
            return int(i);
    return -1;
}

int ProfileFile::sectionEnd(int header) const
{
    size_t i = size_t(header) + 1;
    while (i < m_lines.size() && !m_lines[i].isSection)
        ++i;
    return int(i);
}

int ProfileFile::findKey(int header, const QString& key) const
{
    const int end = sectionEnd(header);
    for (int i = header + 1; i < end; ++i)
        if (m_lines[size_t(i)].isKey && sameName(m_lines[size_t(i)].key, key))
            return i;
    return -1;
}

bool ProfileFile::hasSection(const QString& section) const { return findSection(section) >= 0; }

bool ProfileFile::hasKey(const QString& section, const QString& key) const
{
    const int h = findSection(section);
    return h >= 0 && findKey(h, key) >= 0;
}

QString ProfileFile::read(const QString& section, const QString& key, const QString& defaultValue) const
{
    const int h = findSection(section);
    const int k = h >= 0 ? findKey(h, key) : -1;
    const QString& v = k >= 0 ? m_lines[size_t(k)].value : defaultValue;
    return v.left(MaxValueLength);
}

void ProfileFile::write(const QString& section, const QString& key, const QString& value)
{
    Line line;
    line.isKey = true;
    line.key = key;
    line.value = oneLine(value);
    line.raw = key + u'=' + valueText(line.value);
    int h = findSection(section);
    if (h < 0) {
        Line header;
        header.isSection = true;
        header.section = section;
        header.raw = u'[' + section + u']';
        m_lines.push_back(header);
        m_lines.push_back(line);
        return;
    }
    const int k = findKey(h, key);
    if (k >= 0) {
        m_lines[size_t(k)] = line;
        return;
    }
    // After the section's last non-blank line, so blank separators stay between sections.
    int pos = sectionEnd(h);
    while (pos > h + 1 && trimBlanks(m_lines[size_t(pos - 1)].raw).isEmpty())
        --pos;
    m_lines.insert(m_lines.begin() + pos, line);
}

void ProfileFile::removeKey(const QString& section, const QString& key)
{
    const int h = findSection(section);
    const int k = h >= 0 ? findKey(h, key) : -1;
    if (k >= 0)
        m_lines.erase(m_lines.begin() + k);
}

QStringList ProfileFile::sections() const
{
    QStringList out;
    for (const Line& l : m_lines)
        if (l.isSection)
            out << l.section;
    return out;
}

QStringList ProfileFile::keys(const QString& section) const
{
    QStringList out;
    const int h = findSection(section);
    if (h < 0)
        return out;
    const int end = sectionEnd(h);
    for (int i = h + 1; i < end; ++i)
        if (m_lines[size_t(i)].isKey)
            out << m_lines[size_t(i)].key;
    return out;
}

QString ProfileFile::text() const
{
    QString out;
    for (const Line& l : m_lines) {
        out += l.raw;
        out += u"\r\n"_s;
    }
    return out;
}

bool ProfileFile::save() const
{
    if (m_path.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile f(m_path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(text().toUtf8());
    const bool ok = f.commit();
    invalidateProfileCache(m_path);
    return ok;
}

namespace {

// What tells a changed file apart: a replaced file has a new inode, a file
// rewritten in place a new nanosecond time stamp or size.
struct FileStamp
{
    quint64 inode = 0;
    qint64 size = -1;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

bool stampOf(const QString& path, FileStamp& stamp)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.ctimeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return true;
}

struct CacheEntry
{
    FileStamp stamp;
    std::shared_ptr<ProfileFile> file;
};

QMutex cacheMutex;
QHash<QString, CacheEntry>& cache()
{
    static QHash<QString, CacheEntry> c;
    return c;
}

std::shared_ptr<ProfileFile> cachedFile(const QString& path)
{
    FileStamp stamp;
    if (!stampOf(path, stamp))
        return nullptr;
    QMutexLocker lock(&cacheMutex);
    CacheEntry& e = cache()[path];
    if (!e.file || !(e.stamp == stamp)) {
        e.file = std::make_shared<ProfileFile>(path);
        e.stamp = stamp;
    }
    return e.file;
}

} // namespace

void invalidateProfileCache(const QString& path)
{
    QMutexLocker lock(&cacheMutex);
    if (path.isEmpty())
        cache().clear();
    else
        cache().remove(path);
}

QString readProfileString(const QString& path, const QString& section, const QString& key,
                          const QString& defaultValue)
{
    const auto file = cachedFile(path);
    if (!file)
        return defaultValue.left(ProfileFile::MaxValueLength);
    return file->read(section, key, defaultValue);
}

bool writeProfileString(const QString& path, const QString& section, const QString& key,
                        const QString& value)
{
    ProfileFile f(path);
    f.write(section, key, value);
    return f.save();
}

} // namespace orvella::platform
