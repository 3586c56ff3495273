#pragma once

#include <QList>
#include <QString>

namespace orvella {

// A filter trims the text of a message before it is read aloud: type 0 drops
// every line that starts with m_Name, type 1 cuts the text where m_Name first
// occurs. Lines are separated by CR LF; comparisons are exact.
class Filter
{
public:
    QString m_Name;
    int m_Type = 0;

    QString DisplayName() const;
    QString Apply(const QString& text) const;

private:
    QString CutAtFirst(const QString& text) const;
    QString RemoveLinesStartingWith(const QString& text) const;
};

using FilterList = QList<Filter>;

// "Filters.INI" in the program folder.
QString FiltersFilePath();
// Sections "Filter 1", "Filter 2", ... until one has no name; a name met twice
// (in any letter case) keeps its first filter.
FilterList LoadFilters(const QString& path = FiltersFilePath());
// Rewrites the whole file, renumbered from 1 in list order.
bool SaveFilters(const FilterList& filters, const QString& path = FiltersFilePath());
// Every filter in list order, each on the previous one's result.
QString ApplyFilters(const FilterList& filters, const QString& text);

} // namespace orvella
