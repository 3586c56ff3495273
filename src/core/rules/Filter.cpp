#include "core/rules/Filter.h"

#include "core/settings/IniValues.h"
#include "core/settings/Program.h"
#include "platform/ProfileFile.h"

#include <QSet>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {
QString sectionName(int n)
{
    return u"Filter "_s + QString::number(n);
}
const QString CrLf = u"\r\n"_s;
} // namespace

void Filter::ReadFilter(int FilterNo, const QString& sFile)
{
    m_Type = ReadNumber(ReadIni(sectionName(FilterNo), u"Type"_s, u"0"_s, sFile));
    m_Name = ReadIni(sectionName(FilterNo), u"Name"_s, QString(), sFile);
}

void Filter::WriteFilter(int FilterNo, const QString& sFile) const
{
    platform::ProfileFile f(sFile);
    f.write(sectionName(FilterNo), u"Type"_s, QString::number(m_Type));
    f.write(sectionName(FilterNo), u"Name"_s, m_Name);
    f.save();
}

QString Filter::DisplayName() const
{
    switch (m_Type) {
    case 0:
        return u"Don't read lines that start with \""_s + m_Name + u"\"."_s;
    case 1:
        return u"Read message until you reach \""_s + m_Name + u"\"."_s;
    default:
        return {};
    }
}

QString Filter::Apply(const QString& text) const
{
    switch (m_Type) {
    case 0:
        return RemoveLinesStartingWith(text);
    case 1:
        return CutAtFirst(text);
    default:
        // A type this program does not know (a hand-edited file) filters
        // nothing; emptying the text would silence every message.
        return text;
    }
}

QString Filter::CutAtFirst(const QString& text) const
{
    const qsizetype p = text.indexOf(m_Name);
    return p < 0 ? text : text.left(p);
}

// A line goes when m_Name stands at its very first character (leading blanks
// are not skipped). Removing a line takes its CR LF with it; removing the last
// line, which has none, leaves the CR LF that ended the line before.
//
// One pass over the lines: the same result as searching occurrence after
// occurrence and cutting lines out one at a time, without its quadratic cost
// on long texts.
QString Filter::RemoveLinesStartingWith(const QString& text) const
{
    if (m_Name.contains(u'\r') || m_Name.contains(u'\n')) {
        // A filter text holding a line break can match across lines; the
        // occurrence-by-occurrence walk decides those cases.
        QString t = text;
        if (m_Name.isEmpty()) return QString();
        qsizetype p = t.indexOf(m_Name);
        while (p >= 0) {
            if (p == 0) {
                const qsizetype q = t.indexOf(CrLf);
                t = q < 0 ? QString() : t.mid(q + 2);
                p = t.indexOf(m_Name);
            } else if (t.size() <= 2) {
                break;
            } else if (p >= 2 && t[p - 2] == u'\r' && t[p - 1] == u'\n') {
                const qsizetype q = t.indexOf(CrLf, p);
                t = q < 0 ? t.left(p) : t.left(p) + t.mid(q + 2);
                if (p >= t.size()) break;
                p = t.indexOf(m_Name, p);
            } else {
                if (p + 1 >= t.size()) break;
                p = t.indexOf(m_Name, p + 1);
            }
        }
        return t;
    }

    QString out;
    out.reserve(text.size());
    const QStringView all(text);
    qsizetype start = 0;
    while (start <= text.size()) {
        const qsizetype end = text.indexOf(CrLf, start);
        const QStringView line = end < 0 ? all.mid(start) : all.mid(start, end - start);
        if (!line.startsWith(m_Name)) {
            out += line;
            if (end >= 0) out += CrLf;
        }
        if (end < 0) break;
        start = end + 2;
    }
    return out;
}

QString FiltersFilePath()
{
    return AppPath() + u"/Filters.INI"_s;
}

FilterList LoadFilters(const QString& path)
{
    FilterList list;
    QSet<QString> keys;
    for (int n = 1;; ++n) {
        if (ReadIni(sectionName(n), u"Name"_s, QString(), path).isEmpty()) break;
        Filter f;
        f.ReadFilter(n, path);
        const QString key = f.m_Name.toLower();
        if (keys.contains(key)) continue;
        keys.insert(key);
        list.append(f);
    }
    return list;
}

bool SaveFilters(const FilterList& filters, const QString& path)
{
    // A fresh file: sections the list no longer holds disappear.
    platform::ProfileFile f;
    f.setPath(path);
    for (qsizetype i = 0; i < filters.size(); ++i) {
        f.write(sectionName(int(i + 1)), u"Type"_s, QString::number(filters[i].m_Type));
        f.write(sectionName(int(i + 1)), u"Name"_s, filters[i].m_Name);
    }
    return f.save();
}

QString ApplyFilters(const FilterList& filters, const QString& text)
{
    QString t = text;
    for (const Filter& f : filters)
        t = f.Apply(t);
    return t;
}

} // namespace orvella
