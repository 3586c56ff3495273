#pragma once

#include "core/settings/IniValues.h"
#include "platform/ProfileFile.h"

#include <QList>
#include <QSet>
#include <QString>

namespace orvella {

// Rules and filters are kept alike: one section an entry, "<kind> 1",
// "<kind> 2", ..., each with a Name; the list ends at the first section
// without one.
inline QString NumberedSection(const QString& kind, int n)
{
    return kind + u' ' + QString::number(n);
}

// The entries of path; read(item, section, path) fills one from its section.
// A name met twice (in any letter case) keeps its first entry: the second
// could never be told apart in the list.
template <class Item, class Read>
QList<Item> LoadNumberedSections(const QString& kind, const QString& path, Read read)
{
    using namespace Qt::Literals::StringLiterals;
    QList<Item> list;
    QSet<QString> names;
    for (int n = 1;; ++n) {
        const QString section = NumberedSection(kind, n);
        if (ReadIni(section, u"Name"_s, QString(), path).isEmpty()) break;
        Item item;
        read(item, section, path);
        const QString name = item.m_Name.toLower();
        if (names.contains(name)) continue;
        names.insert(name);
        list.append(item);
    }
    return list;
}

// Rewrites the whole file, renumbered from 1 in list order, as one atomic
// replace; write(file, section, item) writes one entry. A fresh file:
// sections the list no longer holds disappear.
template <class Item, class Write>
bool SaveNumberedSections(const QString& kind, const QList<Item>& items, const QString& path, Write write)
{
    platform::ProfileFile f;
    f.setPath(path);
    for (qsizetype i = 0; i < items.size(); ++i)
        write(f, NumberedSection(kind, int(i + 1)), items[i]);
    return f.save();
}

} // namespace orvella
