#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace orvella {

// A set of message identifiers that keeps insertion order and compares
// without regard to letter case. An account holds thousands of them and the
// check cycle asks about every retrieved message, so membership is a hash
// lookup, not a walk along the list.
class MessageIDSet
{
public:
    MessageIDSet() = default;
    explicit MessageIDSet(const QStringList& ids);

    // True when id was not in the set before (it is then appended).
    bool add(const QString& id);
    bool contains(const QString& id) const { return m_keys.contains(id.toCaseFolded()); }
    void clear();

    qsizetype size() const { return m_order.size(); }
    bool isEmpty() const { return m_order.isEmpty(); }
    // The identifiers as first added, in insertion order.
    const QStringList& values() const { return m_order; }

private:
    QStringList m_order;
    QSet<QString> m_keys; // case-folded
};

} // namespace orvella
