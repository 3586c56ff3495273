#include "core/rules/Filter.h"

#include "core/rules/NumberedSections.h"
#include "core/settings/IniValues.h"
#include "core/settings/Program.h"
#include "platform/ProfileFile.h"

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

const QString Kind = u"Filter"_s;
const QString CrLf = u"\r\n"_s;

void readFilter(Filter& filter, const QString& s, const QString& path)
{
    filter.m_Type = ReadNumber(ReadIni(s, u"Type"_s, u"0"_s, path));
    filter.m_Name = ReadIni(s, u"Name"_s, QString(), path);
}

void writeFilter(platform::ProfileFile& f, const QString& s, const Filter& filter)
{
    f.write(s, u"Type"_s, QString::number(filter.m_Type));
    f.write(s, u"Name"_s, filter.m_Name);
}

} // namespace

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
    return LoadNumberedSections<Filter>(Kind, path, readFilter);
}

bool SaveFilters(const FilterList& filters, const QString& path)
{
    return SaveNumberedSections(Kind, filters, path, writeFilter);
}

QString ApplyFilters(const FilterList& filters, const QString& text)
{
    QString t = text;
    for (const Filter& f : filters)
        t = f.Apply(t);
    return t;
}

} // namespace orvella
